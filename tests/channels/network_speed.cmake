# The "network_speed_channel" handler over a speed service with a scripted table and clock.
orvanta_add_gtest(network_speed_channel_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/network_speed_channel_test.cpp
  LIBS orvanta_speed_channel)
