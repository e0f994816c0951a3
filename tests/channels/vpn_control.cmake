# HandleVpnControlCall against the real service and the stand-ins copied beside the test.
# PowerShell is told to succeed without writing, so no lock on the per-user proxy is needed.
orvanta_add_gtest(vpn_control_channel_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/vpn_control_channel_test.cpp
  LIBS orvanta_vpn_channel orvanta_proxy_test_support)
orvanta_beside_proxy_standins(vpn_control_channel_test)
