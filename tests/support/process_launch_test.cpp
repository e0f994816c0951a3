// A child's end: EndProcess returns only once the process has ended, whatever the timing of
// the system's termination (under Wine it is immediate, on Windows it is not), and an exit
// watch reports the end of the process it watches now, and only that. Events stand in for
// processes: both are waitable handles that become signalled once.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "support/signal_watch.h"
#include "support/process_launch.h"

namespace {

// Handles this thread's queued messages until `done` holds or 10 s have passed.
bool PumpUntil(const std::function<bool()>& done) {
  const ULONGLONG deadline = GetTickCount64() + 10000;
  while (!done() && GetTickCount64() < deadline) {
    MSG message{};
    if (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      DispatchMessageW(&message);
    } else {
      Sleep(5);
    }
  }
  return done();
}

// Waits, without handling it, until a notice has been posted to this thread.
bool NoticeQueued() {
  const ULONGLONG deadline = GetTickCount64() + 10000;
  while ((HIWORD(GetQueueStatus(QS_POSTMESSAGE)) & QS_POSTMESSAGE) == 0) {
    if (GetTickCount64() >= deadline) return false;
    Sleep(5);
  }
  return true;
}

// Handles what is queued now, and nothing that arrives later.
void HandleQueued() {
  MSG message{};
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
}

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

// The end of a process watched earlier can still be queued when the next watch begins, or
// when the watch is cancelled; handled then, it must not count for what is watched now.
TEST(SignalWatchTest, ReportsOnlyTheEndOfWhatItWatchesNow) {
  int ends = 0;
  orvanta::SignalWatch watch([&] { ++ends; });
  orvanta::UniqueHandle ended(CreateEventW(nullptr, TRUE, TRUE, nullptr));
  orvanta::UniqueHandle running(CreateEventW(nullptr, TRUE, FALSE, nullptr));

  ASSERT_EQ(watch.Watch(ended.Get()), static_cast<DWORD>(ERROR_SUCCESS));
  ASSERT_TRUE(NoticeQueued());
  ASSERT_EQ(watch.Watch(running.Get()), static_cast<DWORD>(ERROR_SUCCESS));
  HandleQueued();
  EXPECT_EQ(ends, 0) << "the earlier process's end counted for the one watched now";

  SetEvent(running.Get());
  EXPECT_TRUE(PumpUntil([&] { return ends == 1; })) << "the end of the watched one was missed";

  ASSERT_EQ(watch.Watch(ended.Get()), static_cast<DWORD>(ERROR_SUCCESS));
  ASSERT_TRUE(NoticeQueued());
  watch.Cancel();
  HandleQueued();
  EXPECT_EQ(ends, 1) << "an end noticed before Cancel was reported after it";
}

}  // namespace
