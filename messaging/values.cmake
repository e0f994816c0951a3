# The value model and the standard codecs. Plain C++17 without windows.h: built in the native
# trees (with sanitizers, fuzzing and benchmarks) as well as in the cross build.
orvanta_library(orvanta_values
  SOURCES byte_streams.cpp standard_codec_serializer.cpp standard_method_codec.cpp)
