// The one owner of Windows handles: what counts as a handle, and that each is closed once.
#include "support/unique_handle.h"

#include <gtest/gtest.h>

#include <utility>

namespace {

bool IsOpen(HANDLE handle) {
  DWORD flags = 0;
  return GetHandleInformation(handle, &flags) != FALSE;
}

TEST(UniqueHandleTest, HoldsOnlyRealHandlesAndClosesEachExactlyOnce) {
  // Win32 reports failure as null or as INVALID_HANDLE_VALUE, depending on the function.
  for (HANDLE failure : {static_cast<HANDLE>(nullptr), INVALID_HANDLE_VALUE}) {
    const orvanta::UniqueHandle empty(failure);
    EXPECT_FALSE(empty) << failure;
    EXPECT_EQ(empty.Get(), nullptr);
  }

  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ASSERT_TRUE(IsOpen(event));
  {
    orvanta::UniqueHandle owner(event);
    orvanta::UniqueHandle moved(std::move(owner));
    EXPECT_FALSE(owner);
    EXPECT_EQ(moved.Get(), event);
    owner = std::move(moved);
    EXPECT_EQ(owner.Get(), event);
    EXPECT_TRUE(IsOpen(event));
  }
  EXPECT_FALSE(IsOpen(event)) << "closed when its owner went";

  event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  orvanta::UniqueHandle owner(event);
  HANDLE released = owner.Release();
  EXPECT_FALSE(owner);
  owner.Reset();
  EXPECT_TRUE(IsOpen(released)) << "a released handle is the caller's";
  owner.Reset(released);
  owner.Reset(INVALID_HANDLE_VALUE);
  EXPECT_FALSE(IsOpen(released)) << "Reset closes what it held";
  EXPECT_FALSE(owner);
}

}  // namespace
