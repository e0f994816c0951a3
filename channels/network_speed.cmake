# The handler of "network_speed_channel": links only the speed service and the value model.
add_library(orvanta_speed_channel STATIC ${CMAKE_CURRENT_LIST_DIR}/network_speed_channel.cpp)
target_include_directories(orvanta_speed_channel PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(orvanta_speed_channel PUBLIC orvanta_network_speed orvanta_values orvanta_utf8)
orvanta_warnings(orvanta_speed_channel)
