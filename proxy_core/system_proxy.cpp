#include "proxy_core/system_proxy.h"

#include <windows.h>

#include <cstring>
#include <functional>
#include <utility>
#include <vector>

#include "proxy_core/working_files.h"
#include "support/process_launch.h"

namespace {

constexpr DWORD kProxyCommandWaitMs = 5000;
constexpr DWORD kSupersededCommandWaitMs = 5000;

constexpr char kPrefix[] = "powershell.exe -Command \"";
constexpr char kPropertyCommand[] =
    "Set-ItemProperty -Path 'HKCU:\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet "
    "Settings' ";
constexpr wchar_t kBypassList[] = L"<-loopback>";
constexpr wchar_t kInternetSettingsKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

std::string SetCommand(const std::string& address) {
  return std::string(kPrefix) + kPropertyCommand + "-Name ProxyEnable -Value 1; " +
         kPropertyCommand + "-Name ProxyServer -Value '" + address + "'; " + kPropertyCommand +
         "-Name ProxyOverride -Value '<-loopback>'\"";
}

std::string ClearCommand() {
  return std::string(kPrefix) + kPropertyCommand + "-Name ProxyEnable -Value 0; " +
         kPropertyCommand + "-Name ProxyServer -Value ''; " + kPropertyCommand +
         "-Name ProxyOverride -Value ''\"";
}

bool ReadValue(const wchar_t* name, DWORD& type, std::vector<BYTE>& data) {
  data.assign(512, 0);
  DWORD size = static_cast<DWORD>(data.size() - sizeof(wchar_t));  // room for a terminator
  return RegGetValueW(HKEY_CURRENT_USER, kInternetSettingsKey, name, RRF_RT_ANY, &type, data.data(),
                      &size) == ERROR_SUCCESS;
}

std::wstring AsText(const std::vector<BYTE>& data) {
  return std::wstring(reinterpret_cast<const wchar_t*>(data.data()));
}

bool IsText(DWORD type, const std::vector<BYTE>& data, const std::wstring& expected) {
  return (type == REG_SZ || type == REG_EXPAND_SZ) && AsText(data) == expected;
}

// True while the registry still holds all that a set of ours wrote. Another program may well
// point the proxy at the same common port, but not with our bypass list as well. PowerShell
// keeps ProxyEnable a DWORD, but writes the text "1" when it has to create the value.
bool ProxyStillSetTo(const std::string& address) {
  DWORD type = 0;
  std::vector<BYTE> data;
  if (!ReadValue(L"ProxyEnable", type, data)) return false;
  DWORD enable = 0;
  std::memcpy(&enable, data.data(), sizeof(enable));
  const bool enabled = (type == REG_DWORD && enable == 1) || IsText(type, data, L"1");
  return enabled && ReadValue(L"ProxyServer", type, data) &&
         IsText(type, data, std::wstring(address.begin(), address.end())) &&
         ReadValue(L"ProxyOverride", type, data) && IsText(type, data, kBypassList);
}

}  // namespace

struct SystemProxy::Outcome {
  bool started = false;
  DWORD startError = 0;
  // STILL_ACTIVE when PowerShell outlived the wait.
  DWORD exitCode = STILL_ACTIVE;
};

std::wstring SystemPowerShellPath() {
  wchar_t system[MAX_PATH];
  const UINT length = GetSystemDirectoryW(system, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return std::wstring();
  return std::wstring(system, length) + L"\\WindowsPowerShell\\v1.0\\powershell.exe";
}

SystemProxy::SystemProxy(ServiceLog log, std::wstring powerShell)
    : log_(std::move(log)), powerShell_(std::move(powerShell)) {}

SystemProxy::Outcome SystemProxy::Run(const std::string& command, Lifetime lifetime,
                                      const std::function<void()>& onStarted) {
  if (pendingCommand_) {
    orvanta::EndProcess(pendingCommand_.Get(), 1, kSupersededCommandWaitMs);
    pendingCommand_.Reset();
  }
  Outcome outcome;
  orvanta::LaunchOptions options;
  // Never the search CreateProcess would make: it tries the current folder first, and anyone
  // who can drop a file into a download folder would be run on every connect.
  options.application = powerShell_;
  options.commandLine.assign(command.begin(), command.end());  // ASCII: exact
  if (lifetime == Lifetime::kEndsWithHost) options.killOnCloseJob = &commandJob_;
  if (options.application.empty()) {
    outcome.startError = ERROR_FILE_NOT_FOUND;
    return outcome;
  }
  orvanta::LaunchResult launched = orvanta::LaunchProcess(options);
  if (!launched.Started()) {
    outcome.startError = launched.error;
    return outcome;
  }
  if (launched.jobError != ERROR_SUCCESS) {
    log_("WARNING: The proxy command will not end together with the host. Error code: " +
         std::to_string(launched.jobError));
  }
  outcome.started = true;
  if (onStarted) onStarted();
  HANDLE process = launched.handles.process.Get();
  if (WaitForSingleObject(process, kProxyCommandWaitMs) != WAIT_OBJECT_0) {
    pendingCommand_ = std::move(launched.handles.process);
    return outcome;
  }
  // An unreadable exit code counts as still running: the outcome is unknown, so no success.
  DWORD exitCode = STILL_ACTIVE;
  if (GetExitCodeProcess(process, &exitCode)) outcome.exitCode = exitCode;
  return outcome;
}

void SystemProxy::Record(const std::string& address) {
  // A set normally follows a launch that made the folder; the record must not depend on it.
  CreateDirectoryW(WorkingFolder().c_str(), nullptr);
  orvanta::UniqueHandle record(CreateFileW(ProxyRecordPath().c_str(), GENERIC_WRITE, 0, nullptr,
                                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  if (!record || !WriteFile(record.Get(), address.data(), static_cast<DWORD>(address.size()),
                            &written, nullptr)) {
    log_("WARNING: Cannot record the system proxy setting. Error code: " +
         std::to_string(GetLastError()));
  }
}

bool SystemProxy::Set(const std::string& host, int port) {
  const std::string address = host + ":" + std::to_string(port);
  log_("Setting system HTTP proxy: " + address);
  const std::string command = SetCommand(address);
  log_("Executing proxy command: " + command);
  // Recorded as soon as the command runs, before it can have written anything: a set cut short
  // by a crash is still ours to clear at the next start. It ends with the host, so it can never
  // land after that start has looked.
  const Outcome outcome = Run(command, Lifetime::kEndsWithHost, [&] { Record(address); });
  if (!outcome.started) {
    log_("ERROR: Failed to execute proxy command. Error code: " +
         std::to_string(outcome.startError));
    return false;
  }
  if (outcome.exitCode != 0) {
    log_("ERROR: Proxy command failed with exit code: " + std::to_string(outcome.exitCode));
    return false;
  }
  log_("SUCCESS: System proxy set successfully to " + address);
  return true;
}

bool SystemProxy::Clear() {
  log_("Clearing system proxy");
  // A clear left running when the host exits is the last word, and still lands.
  const Outcome outcome = Run(ClearCommand(), Lifetime::kOutlivesHost);
  if (!outcome.started) {
    log_("Failed to clear system proxy");
    return false;
  }
  // A failed or hung clear leaves the proxy pointing at the core; report it like a failed set.
  if (outcome.exitCode != 0) {
    log_("ERROR: Proxy command failed with exit code: " + std::to_string(outcome.exitCode));
    return false;
  }
  DeleteFileW(ProxyRecordPath().c_str());
  log_("System proxy cleared successfully");
  return true;
}

void SystemProxy::ClearLeftByEarlierRun(const std::string& address) {
  const std::wstring record = ProxyRecordPath();
  if (record.empty() || GetFileAttributesW(record.c_str()) == INVALID_FILE_ATTRIBUTES) return;
  if (!ProxyStillSetTo(address)) {
    DeleteFileW(record.c_str());
    return;
  }
  if (Clear()) {
    log_("Cleared the system proxy that an earlier run left set");
  } else {
    log_("WARNING: Cannot clear the system proxy that an earlier run left set");
  }
}
