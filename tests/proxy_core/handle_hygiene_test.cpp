// Start/stop cycles leave no handle and no core behind. PowerShell is told to succeed without
// writing. CTest runs a few cycles, which already show a handle leaked per cycle; a hand run
// does 100.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "proxy_core/sing_box_service.h"
#include "tests/proxy_core/proxy_test_support.h"

namespace {

// Each cycle takes about a second under Wine (the core's liveness wait plus three process
// starts); ORVANTA_HYGIENE_CYCLES sets the count, 100 without it.
int Cycles() {
  char value[16];
  const DWORD length = GetEnvironmentVariableA("ORVANTA_HYGIENE_CYCLES", value, sizeof(value));
  const int cycles = length > 0 && length < sizeof(value) ? std::atoi(value) : 0;
  return cycles > 0 ? cycles : 100;
}

TEST(HandleHygieneTest, StartStopCyclesLeaveHandleCountFlatAndNoCoreAlive) {
  orvanta_test::ScopedTempFolder temp("hygiene");
  orvanta_test::ScopedEnvironment exitCode("ORVANTA_STANDIN_PS_EXIT_CODE", "0");
  orvanta_test::ScopedEnvironment noHang("ORVANTA_STANDIN_PS_HANG_MS", nullptr);
  SingBoxService service;

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

  // No copy of the core log handle is left in the host: the file can be opened exclusively.
  HANDLE exclusive =
      CreateFileA((temp.WorkFolder() + "\\sing-box.log").c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_NE(exclusive, INVALID_HANDLE_VALUE);
  if (exclusive != INVALID_HANDLE_VALUE) CloseHandle(exclusive);
}

}  // namespace
