// Ending a child: EndProcess returns only once the process has ended, whatever the timing of
// the system's termination (under Wine it is immediate, on Windows it is not).
#include "support/process_launch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

TEST(EndProcessTest, WaitsUntilTheProcessHasEnded) {
  // An event stands in for a process that takes its time to end: TerminateProcess refuses it,
  // so only the wait can see it signalled.
  orvanta::UniqueHandle slow(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  std::atomic<bool> ended{false};
  std::thread ender([&] {
    Sleep(200);
    ended = true;
    SetEvent(slow.Get());
  });
  EXPECT_TRUE(orvanta::EndProcess(slow.Get(), 0, 10000));
  EXPECT_TRUE(ended) << "returned before the end";
  ender.join();

  orvanta::UniqueHandle never(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  EXPECT_FALSE(orvanta::EndProcess(never.Get(), 0, 50));
}

}  // namespace
