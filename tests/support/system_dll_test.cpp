// The system DLLs the host calls without importing them: found in the system folder, and what
// cannot be had reported as the call's failure.
#include "support/system_dll.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace {

using orvanta::SystemDll;

TEST(SystemDll, FindsTheHostsFunctionsAndGivesTheReasonForWhatItCannot) {
  // Only presence is looked at here, so the functions' types do not matter.
  EXPECT_NE(SystemDll::Dwmapi().Find<void()>("DwmSetWindowAttribute"), nullptr);
  EXPECT_NE(SystemDll::Iphlpapi().Find<void()>("GetIfTable2"), nullptr);
  EXPECT_NE(SystemDll::Iphlpapi().Find<void()>("FreeMibTable"), nullptr);
  EXPECT_NE(SystemDll::Wininet().Find<void()>("InternetSetOptionW"), nullptr);

  ::SetLastError(ERROR_SUCCESS);
  EXPECT_EQ(SystemDll::Wininet().Find<void()>("OrvantaNoSuchExport"), nullptr);
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));

  const SystemDll absent(L"orvanta-absent.dll");
  // The load's error, not whatever the thread did since.
  ::SetLastError(ERROR_ACCESS_DENIED);
  EXPECT_EQ(absent.Find<void()>("Anything"), nullptr);
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

}  // namespace
