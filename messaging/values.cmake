# The value model and the standard codecs. Plain C++17 without windows.h: built in the native
# trees (with sanitizers, fuzzing and benchmarks) as well as in the cross build.
add_library(orvanta_values STATIC
  ${CMAKE_CURRENT_LIST_DIR}/byte_streams.cpp
  ${CMAKE_CURRENT_LIST_DIR}/standard_codec_serializer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/standard_method_codec.cpp)
target_include_directories(orvanta_values PUBLIC ${PROJECT_SOURCE_DIR})
orvanta_warnings(orvanta_values)
