// A watch reports the signal of what it watches now, and only that. Events stand in for
// processes and registry notices: all are waitable handles that become signalled.
#include "support/signal_watch.h"

#include <gtest/gtest.h>

#include "support/unique_handle.h"
#include "tests/support/test_environment.h"

namespace {

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
  EXPECT_TRUE(orvanta_test::PumpMessagesUntil([&] { return ends == 1; }, 10000))
      << "the end of the watched one was missed";

  ASSERT_EQ(watch.Watch(ended.Get()), static_cast<DWORD>(ERROR_SUCCESS));
  ASSERT_TRUE(NoticeQueued());
  watch.Cancel();
  HandleQueued();
  EXPECT_EQ(ends, 1) << "an end noticed before Cancel was reported after it";
}

}  // namespace
