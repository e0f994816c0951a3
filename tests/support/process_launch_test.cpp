// A child's start and end: its handle list, and EndProcess returning only once the process has
// ended, whatever the timing of the system's termination (under Wine it is immediate, on
// Windows it is not). An event stands in for a process: both are waitable handles.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "support/process_launch.h"

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

// The handle list of a child: a duplicate or a handle that cannot be inherited would make
// CreateProcess refuse the whole launch on Windows (Wine accepts such a list).
TEST(InheritableHandlesTest, ListsEachValidInheritableHandleOnce) {
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  orvanta::UniqueHandle log(CreateEventW(&inheritable, TRUE, FALSE, nullptr));
  orvanta::UniqueHandle input(CreateEventW(&inheritable, TRUE, FALSE, nullptr));
  orvanta::UniqueHandle own(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  using List = std::vector<HANDLE>;
  struct Case {
    const char* description;
    List given;
    List listed;
  };
  const std::vector<Case> cases = {
      {"output and error share the log file",
       {input.Get(), log.Get(), log.Get()},
       {input.Get(), log.Get()}},
      {"no standard input, and the invalid value",
       {nullptr, log.Get(), INVALID_HANDLE_VALUE},
       {log.Get()}},
      {"a handle that is not inheritable", {own.Get(), log.Get(), own.Get()}, {log.Get()}},
      {"a handle value that names nothing",
       {reinterpret_cast<HANDLE>(0x7FF0), input.Get(), nullptr},
       {input.Get()}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(orvanta::InheritableHandles({c.given[0], c.given[1], c.given[2]}), c.listed)
        << c.description;
  }
}

}  // namespace
