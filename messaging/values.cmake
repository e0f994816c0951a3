add_library(orvanta_values INTERFACE)
target_include_directories(orvanta_values INTERFACE ${PROJECT_SOURCE_DIR})
