# Self-timing benchmark of one GetSpeed call (scripted table of 64 and 1,024 interfaces, and the
# real table) and of the row pairing; not a test. Run under Wine by hand:
#   wine64 build/win/bench/network_speed_bench.exe
add_executable(network_speed_bench ${CMAKE_CURRENT_LIST_DIR}/network_speed_bench.cpp)
target_link_libraries(network_speed_bench PRIVATE orvanta_network_speed)
orvanta_warnings(network_speed_bench)
orvanta_static_runtime(network_speed_bench)
