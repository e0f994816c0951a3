// OS isolation and inspection helpers for tests of the proxy core service and its handler:
// a private temporary folder, scoped environment variables and current folder, the per-user
// Internet Settings values saved and restored, the stand-in cores this process started, and
// the service log split into its messages.
#ifndef ORVANTA_TESTS_PROXY_CORE_PROXY_TEST_SUPPORT_H_
#define ORVANTA_TESTS_PROXY_CORE_PROXY_TEST_SUPPORT_H_

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "proxy_core/service_log.h"

namespace proxytest {

// The messages the parts of the service write, kept in order.
struct RecordedLog {
  std::vector<std::string> lines;
  ServiceLog Sink() {
    return [this](const std::string& message) { lines.push_back(message); };
  }
};

// Folder of this test executable, without a trailing separator.
std::string ExecutableFolder();

std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);
void RemoveTree(const std::string& path);

// A fresh folder that TMP points at (so GetTempPathA returns it, with its trailing
// backslash) until destruction; the folder is then removed and TMP restored.
class ScopedTempFolder {
 public:
  // `name` becomes part of the folder name; it may contain blanks.
  explicit ScopedTempFolder(const std::string& name);
  ~ScopedTempFolder();
  ScopedTempFolder(const ScopedTempFolder&) = delete;
  ScopedTempFolder& operator=(const ScopedTempFolder&) = delete;

  // With its trailing backslash, as GetTempPathA returns it.
  const std::string& Path() const { return path_; }
  std::string WorkFolder() const { return path_ + "Orvanta"; }

 private:
  std::string path_;
  bool hadTmp_ = false;
  std::string oldTmp_;
};

// Sets (or, with `value` null, removes) an environment variable until destruction.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const char* value);
  ~ScopedEnvironment();
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  std::string name_;
  bool had_ = false;
  std::string old_;
};

class ScopedCurrentFolder {
 public:
  explicit ScopedCurrentFolder(const std::string& path);
  ~ScopedCurrentFolder();
  ScopedCurrentFolder(const ScopedCurrentFolder&) = delete;
  ScopedCurrentFolder& operator=(const ScopedCurrentFolder&) = delete;

 private:
  std::string old_;
};

// The three per-user proxy values. A missing value reads as enable = -1 or server/override
// "<absent>".
struct ProxySettings {
  long long enable = -1;
  std::string server = "<absent>";
  std::string override_list = "<absent>";
};
ProxySettings ReadProxySettings();
void WriteProxySettings(const ProxySettings& settings);

// Saves the three values at construction and puts them back (or deletes them) at destruction.
class InternetSettingsGuard {
 public:
  InternetSettingsGuard();
  ~InternetSettingsGuard();
  InternetSettingsGuard(const InternetSettingsGuard&) = delete;
  InternetSettingsGuard& operator=(const InternetSettingsGuard&) = delete;

 private:
  struct Saved {
    bool present = false;
    DWORD type = 0;
    std::vector<BYTE> data;
  };
  Saved saved_[3];
};

// Process ids of the sing-box.exe processes whose parent is this process.
std::vector<DWORD> CoreChildren();
// Terminates a process from outside and waits until it has ended.
bool KillProcess(DWORD pid);

// Handles this process holds, counted by probing handle values: GetProcessHandleCount reports
// 0 under Wine, so it cannot be the measure there.
size_t CountOpenHandles();

// The messages of a service log: each "[<ms>] <message>\n" line without its time prefix, up to
// the core log header. A malformed line fails the calling test.
std::vector<std::string> Messages(const std::string& serviceLog);
// Messages from index `first` on.
std::vector<std::string> MessagesFrom(const std::string& serviceLog, size_t first);

// Base fixture for tests that drive the service against the stand-ins: the per-user proxy
// values are put back, the PowerShell stand-in's failure switches are off, and no stand-in core
// outlives the test, even when a faulty build launched one.
class StandInTest : public testing::Test {
 protected:
  void TearDown() override {
    for (DWORD pid : CoreChildren()) KillProcess(pid);
  }

  InternetSettingsGuard settings_;
  ScopedEnvironment noExitCode_{"ORVANTA_STANDIN_PS_EXIT_CODE", nullptr};
  ScopedEnvironment noHang_{"ORVANTA_STANDIN_PS_HANG_MS", nullptr};
};

}  // namespace proxytest

#endif  // ORVANTA_TESTS_PROXY_CORE_PROXY_TEST_SUPPORT_H_
