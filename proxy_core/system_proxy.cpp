#include "proxy_core/system_proxy.h"

#include <windows.h>

#include <functional>
#include <utility>

#include "proxy_core/proxy_settings.h"
#include "proxy_core/saved_proxy_settings.h"
#include "proxy_core/working_files.h"
#include "support/process_launch.h"
#include "support/wide_text.h"

namespace {

constexpr DWORD kProxyCommandWaitMs = 5000;
constexpr DWORD kSupersededCommandWaitMs = 5000;
constexpr DWORD kMaxRecordBytes = 64;

constexpr char kPrefix[] = "powershell.exe -Command \"";
constexpr char kPropertyCommand[] =
    "Set-ItemProperty -Path 'HKCU:\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet "
    "Settings' ";

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

// The address a set recorded, or false when there is no record (or not one of ours: it holds
// no more than an address).
bool ReadRecord(std::string& address) {
  return ReadSmallFile(ProxyRecordPath(), kMaxRecordBytes, address);
}

// The record and the saved settings go together once the proxy is no longer ours.
void ForgetSet() {
  DeleteFileW(SavedProxySettingsPath().c_str());
  DeleteFileW(ProxyRecordPath().c_str());
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

void SystemProxy::EndPendingCommand() {
  if (!pendingCommand_) return;
  orvanta::EndProcess(pendingCommand_.Get(), 1, kSupersededCommandWaitMs);
  pendingCommand_.Reset();
}

SystemProxy::Outcome SystemProxy::Run(const std::string& command, Lifetime lifetime,
                                      const std::function<void()>& onStarted) {
  EndPendingCommand();
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

void SystemProxy::SaveUserSettings() {
  const std::wstring path = SavedProxySettingsPath();
  ProxySettings settings;
  // Saved by an earlier set that was never undone: those are the user's, not what is there now.
  if (path.empty() || LoadProxySettings(path, settings)) return;
  DWORD error = ReadProxySettings(settings);
  if (error == ERROR_SUCCESS) {
    CreateDirectoryW(WorkingFolder().c_str(), nullptr);
    error = SaveProxySettings(path, settings);
  }
  if (error != ERROR_SUCCESS) {
    log_("WARNING: Cannot save the proxy settings from before the connection. Error code: " +
         std::to_string(error));
  }
}

void SystemProxy::TellRunningPrograms() {
  const DWORD error = NotifyProxySettingsChanged();
  if (error != ERROR_SUCCESS) {
    log_("WARNING: Running programs were not told of the new proxy setting. Error code: " +
         std::to_string(error));
  }
}

SystemProxy::Restore SystemProxy::RestoreUserSettings() {
  std::string recorded;
  ProxySettings saved;
  ProxySettings current;
  if (!ReadRecord(recorded)) return Restore::kNotApplicable;
  const std::wstring address = orvanta::WideFromUtf8(recorded);
  // Only what our own set replaced is put back, and only over our own values: anything else
  // there was written since by the user or another program.
  if (!LoadProxySettings(SavedProxySettingsPath(), saved) || IsOurProxy(saved, address) ||
      ReadProxySettings(current) != ERROR_SUCCESS || !IsOurProxy(current, address)) {
    return Restore::kNotApplicable;
  }
  const DWORD error = WriteProxySettings(saved);
  if (error != ERROR_SUCCESS) {
    log_("ERROR: Failed to restore the proxy settings from before the connection. Error code: " +
         std::to_string(error));
    return Restore::kFailed;
  }
  return Restore::kRestored;
}

bool SystemProxy::Set(const std::string& host, int port) {
  const std::string address = host + ":" + std::to_string(port);
  log_("Setting system HTTP proxy: " + address);
  const std::string command = SetCommand(address);
  log_("Executing proxy command: " + command);
  SaveUserSettings();
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
  TellRunningPrograms();
  log_("SUCCESS: System proxy set successfully to " + address);
  if (!AutoConfigUrl().empty()) {
    log_(
        "WARNING: An automatic proxy configuration script is set (AutoConfigURL); programs that "
        "use it may bypass sing-box");
  }
  return true;
}

bool SystemProxy::Clear() {
  log_("Clearing system proxy");
  // A set still running could otherwise land over what is put back.
  EndPendingCommand();
  switch (RestoreUserSettings()) {
    case Restore::kRestored:
      TellRunningPrograms();
      ForgetSet();
      log_("Restored the proxy settings from before the connection");
      return true;
    case Restore::kFailed:
      // The record and the saved settings stay for the next try.
      return false;
    case Restore::kNotApplicable:
      break;
  }
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
  TellRunningPrograms();
  ForgetSet();
  log_("System proxy cleared successfully");
  return true;
}

void SystemProxy::ClearLeftByEarlierRun(const std::string& address) {
  const std::wstring record = ProxyRecordPath();
  if (record.empty()) return;
  if (GetFileAttributesW(record.c_str()) == INVALID_FILE_ATTRIBUTES) {
    // Saved by a set that never started: nothing of it reached the registry.
    DeleteFileW(SavedProxySettingsPath().c_str());
    return;
  }
  ProxySettings current;
  if (ReadProxySettings(current) != ERROR_SUCCESS ||
      !IsOurProxy(current, orvanta::WideFromUtf8(address))) {
    ForgetSet();
    return;
  }
  if (Clear()) {
    log_("Cleared the system proxy that an earlier run left set");
  } else {
    log_("WARNING: Cannot clear the system proxy that an earlier run left set");
  }
}
