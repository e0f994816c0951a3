// Helpers for tests of the proxy core service and its handler: the parts' log messages, the
// stand-in cores this process started, handle counts, and the service log split into messages.
#ifndef ORVANTA_TESTS_PROXY_CORE_PROXY_TEST_SUPPORT_H_
#define ORVANTA_TESTS_PROXY_CORE_PROXY_TEST_SUPPORT_H_

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "proxy_core/service_log.h"
#include "tests/support/test_environment.h"

namespace proxytest {

// The messages the parts of the service write, kept in order.
struct RecordedLog {
  std::vector<std::string> lines;
  ServiceLog Sink() {
    return [this](const std::string& message) { lines.push_back(message); };
  }
};

// Process ids of the live processes of that program name whose parent is this process.
std::vector<DWORD> ChildProcesses(const wchar_t* program);
inline std::vector<DWORD> CoreChildren() { return ChildProcesses(L"sing-box.exe"); }
// Terminates a process from outside and waits until it has ended.
bool KillProcess(DWORD pid);

using orvanta_test::PumpMessagesUntil;

// Writes `tail` so that the file ends with it and is `size` bytes long; the bytes before it
// are a hole, so a file of hundreds of megabytes costs no disk.
void WriteSparseFile(const std::string& path, long long size, const std::string& tail);

// Handles this process holds, counted by probing handle values: GetProcessHandleCount reports
// 0 under Wine, so it cannot be the measure there.
size_t CountOpenHandles();

// The messages of a service log: each "[<ms>] <message>\n" line without its time prefix, up to
// the core log header. A malformed line fails the calling test.
std::vector<std::string> Messages(const std::string& serviceLog);
// Messages from index `first` on.
std::vector<std::string> MessagesFrom(const std::string& serviceLog, size_t first);

// Grants everyone only `allowed` on the Internet Settings key: by default reading, as a policy
// that locks the proxy does, or (KEY_NOTIFY) not even that. Wine checks a key's DACL as Windows
// does, so what it does not grant fails with ERROR_ACCESS_DENIED; handles opened before keep
// their rights. The key's own security comes back at destruction through the handle opened
// before, since the DACL set here grants no WRITE_DAC.
class LockedInternetSettings {
 public:
  explicit LockedInternetSettings(REGSAM allowed = KEY_READ);
  ~LockedInternetSettings();
  LockedInternetSettings(const LockedInternetSettings&) = delete;
  LockedInternetSettings& operator=(const LockedInternetSettings&) = delete;

 private:
  HKEY key_ = nullptr;
  std::vector<BYTE> original_;
  alignas(DWORD) BYTE acl_[128];
};

// Base fixture for tests that drive the service against the stand-ins: the per-user proxy
// values are put back, the PowerShell stand-in's failure switches are off, and no stand-in core
// outlives the test, even when a faulty build launched one.
class StandInTest : public testing::Test {
 protected:
  void TearDown() override {
    for (DWORD pid : CoreChildren()) KillProcess(pid);
  }

  orvanta_test::InternetSettingsGuard settings_;
  orvanta_test::ScopedEnvironment noExitCode_{"ORVANTA_STANDIN_PS_EXIT_CODE", nullptr};
  orvanta_test::ScopedEnvironment noHang_{"ORVANTA_STANDIN_PS_HANG_MS", nullptr};
};

}  // namespace proxytest

#endif  // ORVANTA_TESTS_PROXY_CORE_PROXY_TEST_SUPPORT_H_
