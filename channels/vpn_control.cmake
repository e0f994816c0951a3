# HandleVpnControlCall, the "v2ray.windows.channel" handler over SingBoxService.
add_library(orvanta_vpn_channel STATIC ${CMAKE_CURRENT_LIST_DIR}/vpn_control_channel.cpp)
target_include_directories(orvanta_vpn_channel PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(orvanta_vpn_channel PUBLIC orvanta_proxy_core orvanta_values orvanta_utf8)
orvanta_warnings(orvanta_vpn_channel)
