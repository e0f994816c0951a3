// The system DLLs the host calls without importing them: found in the system folder, and what
// cannot be had reported as the call's failure.
#include "support/system_dll.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cwctype>
#include <string>

#include "tests/support/test_environment.h"

namespace {

using orvanta::SystemDll;

// The file of the module that holds `function`, lower-cased.
std::wstring ModuleFileOf(void* function) {
  HMODULE module = nullptr;
  if (!::GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          static_cast<LPCWSTR>(function), &module)) {
    return L"(none)";
  }
  wchar_t path[MAX_PATH] = {};
  const DWORD length = ::GetModuleFileNameW(module, path, MAX_PATH);
  std::wstring file(path, length);
  for (wchar_t& c : file) c = static_cast<wchar_t>(::towlower(c));
  return file;
}

std::wstring Lower(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(::towlower(c));
  return text;
}

// A copy of wininet.dll that something else loaded first (a plug-in, from the application's
// folder) is never the one the host calls: its own load is by the system folder's full path.
TEST(SystemDll, IgnoresACopyLoadedFirstUnderTheSameName) {
  const std::string planted = orvanta_test::ExecutableFolder() + "\\planted\\wininet.dll";
  HMODULE copy = ::LoadLibraryA(planted.c_str());
  ASSERT_NE(copy, nullptr) << "the planted copy did not load";
  ASSERT_NE(::GetProcAddress(copy, "InternetSetOptionW"), nullptr);
  {
    const SystemDll wininet(L"wininet.dll");
    void* setOption = reinterpret_cast<void*>(wininet.Find<void()>("InternetSetOptionW"));
    ASSERT_NE(setOption, nullptr);
    EXPECT_EQ(ModuleFileOf(setOption), Lower(orvanta::SystemFolderPath(L"wininet.dll")));
  }
  ::FreeLibrary(copy);
}

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
