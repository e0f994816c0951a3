# Self-timing benchmark of GetLogs with a 1 KB and a 300 MB sing-box.log; not a test. Run under
# Wine by hand:  wine64 build/win/bench/core_log_bench.exe
add_executable(core_log_bench ${CMAKE_CURRENT_LIST_DIR}/core_log_bench.cpp)
target_link_libraries(core_log_bench PRIVATE orvanta_proxy_core)
orvanta_warnings(core_log_bench)
orvanta_static_runtime(core_log_bench)
