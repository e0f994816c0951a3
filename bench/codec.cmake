# Codec benchmarks (native only, run by hand): calls and envelopes of the two channels,
# bulk payloads against memcpy, and a tree of small maps against MessagePack.
find_package(benchmark REQUIRED)
add_executable(codec_bench ${CMAKE_CURRENT_LIST_DIR}/codec_bench.cpp)
target_link_libraries(codec_bench PRIVATE orvanta_values benchmark::benchmark)
# MessagePack's headers alone, without its optional Boost parts.
target_compile_definitions(codec_bench PRIVATE MSGPACK_NO_BOOST)
orvanta_warnings(codec_bench)
