// Many start/stop cycles leave no handle and no core behind. PowerShell is told to succeed
// without writing, so this test leaves the per-user proxy alone and can run beside others.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "proxy_core/sing_box_service.h"
#include "tests/proxy_core/proxy_test_support.h"
#include "tests/proxy_core/sing_box_service_test_peer.h"

namespace {

// Each cycle takes about two seconds under Wine (the core's one-second liveness wait plus three
// process starts); ORVANTA_HYGIENE_CYCLES can shorten a run by hand.
int Cycles() {
  char value[16];
  const DWORD length = GetEnvironmentVariableA("ORVANTA_HYGIENE_CYCLES", value, sizeof(value));
  const int cycles = length > 0 && length < sizeof(value) ? std::atoi(value) : 0;
  return cycles > 0 ? cycles : 100;
}

TEST(HandleHygieneTest, HundredStartStopCyclesLeaveHandleCountFlatAndNoCoreAlive) {
  proxytest::ScopedTempFolder temp("hygiene");
  proxytest::ScopedEnvironment exitCode("ORVANTA_STANDIN_PS_EXIT_CODE", "0");
  proxytest::ScopedEnvironment noHang("ORVANTA_STANDIN_PS_HANG_MS", nullptr);
  SingBoxService service;
  SingBoxServiceTestPeer peer(service);

  // One warm-up cycle lets lazily opened system handles (winsock, toolhelp, ...) settle.
  ASSERT_TRUE(service.Start("{}"));
  ASSERT_TRUE(service.Stop());
  const size_t before = proxytest::CountOpenHandles();
  const ULONGLONG started = GetTickCount64();
  const int cycles = Cycles();
  for (int cycle = 0; cycle < cycles; ++cycle) {
    ASSERT_TRUE(service.Start("{}")) << "cycle " << cycle;
    ASSERT_TRUE(service.IsRunning()) << "cycle " << cycle;
    ASSERT_TRUE(service.Stop()) << "cycle " << cycle;
    ASSERT_TRUE(proxytest::CoreChildren().empty()) << "cycle " << cycle;
  }
  const ULONGLONG elapsed = GetTickCount64() - started;
  const size_t after = proxytest::CountOpenHandles();
  std::printf("%d start/stop cycles took %llu ms (%llu ms per cycle); handles %zu -> %zu\n", cycles,
              elapsed, elapsed / static_cast<ULONGLONG>(cycles), before, after);
  EXPECT_EQ(after, before);

  // A failed launch (core rejects its configuration) leaves nothing either.
  for (int i = 0; i < 3; ++i) ASSERT_FALSE(service.Start("not json"));
  EXPECT_EQ(proxytest::CountOpenHandles(), before);
  EXPECT_TRUE(proxytest::CoreChildren().empty());

  // No copy of the core log handle is left in the host: the file can be opened exclusively.
  HANDLE exclusive = CreateFileA(peer.LogPath().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_NE(exclusive, INVALID_HANDLE_VALUE);
  if (exclusive != INVALID_HANDLE_VALUE) CloseHandle(exclusive);
}

}  // namespace
