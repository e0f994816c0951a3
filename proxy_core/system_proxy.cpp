#include "proxy_core/system_proxy.h"

#include <windows.h>

#include <functional>
#include <optional>
#include <utility>

#include "proxy_core/proxy_settings.h"
#include "proxy_core/saved_proxy_settings.h"
#include "proxy_core/working_files.h"
#include "support/process_launch.h"
#include "support/system_dll.h"
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

// A record of a set whose values may still be in the registry (one of ours holds no more than
// an address).
bool HasRecord() {
  std::string address;
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
  return orvanta::SystemFolderPath(L"WindowsPowerShell\\v1.0\\powershell.exe");
}

SystemProxy::SystemProxy(ServiceLog log, std::string address, std::wstring powerShell)
    : log_(std::move(log)),
      address_(std::move(address)),
      powerShell_(std::move(powerShell)),
      changeWatch_([this] { OnSettingsChanged(); }) {}

bool SystemProxy::IsOurs(const ProxySettings& settings) const {
  return IsOurProxy(settings, orvanta::WideFromUtf8(address_));
}

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

std::optional<RegistryValue> SystemProxy::PrepareForSet() {
  ProxySettings current;
  const DWORD error = ReadProxySettings(current);
  if (error != ERROR_SUCCESS) {
    log_("WARNING: Cannot save the proxy settings from before the connection. Error code: " +
         std::to_string(error));
    return std::nullopt;
  }
  SaveUserSettings(current);
  if (current.enable.present && current.enable.type == REG_DWORD) return std::nullopt;
  // Set-ItemProperty would create the value as the text "1", which WinINet takes as off (and
  // overwrites with a DWORD 0): the proxy would be set but never used.
  const DWORD written = WriteProxyEnable(DwordValue(0));
  if (written != ERROR_SUCCESS) {
    log_(
        "WARNING: Cannot make ProxyEnable a number; programs may not use the proxy. Error "
        "code: " +
        std::to_string(written));
    return std::nullopt;
  }
  return current.enable;
}

void SystemProxy::SaveUserSettings(const ProxySettings& current) {
  const std::wstring path = SavedProxySettingsPath();
  if (path.empty()) return;
  ProxySettings kept;
  // Our values with this connection's record: a second set before the clear. What was saved
  // then is the user's; what is there now is ours. In any other state the file is stale: the
  // user or another program has chosen since, and that choice is what comes back.
  if (IsOurs(current) && SavedUserSettings(kept)) return;
  CreateDirectoryW(WorkingFolder().c_str(), nullptr);
  const DWORD error = SaveProxySettings(path, current);
  if (error != ERROR_SUCCESS) {
    log_("WARNING: Cannot save the proxy settings from before the connection. Error code: " +
         std::to_string(error));
  }
}

bool SystemProxy::SavedUserSettings(ProxySettings& saved) const {
  // Saved values that are ours themselves are a leftover: nothing of the user's to put back.
  return HasRecord() && LoadProxySettings(SavedProxySettingsPath(), saved) && !IsOurs(saved);
}

void SystemProxy::TellRunningPrograms() {
  const DWORD error = NotifyProxySettingsChanged();
  if (error != ERROR_SUCCESS) {
    log_("WARNING: Running programs were not told of the new proxy setting. Error code: " +
         std::to_string(error));
  }
}

bool SystemProxy::Set(const std::string& host, int port) {
  const std::string address = host + ":" + std::to_string(port);
  log_("Setting system HTTP proxy: " + address);
  const std::string command = SetCommand(address);
  log_("Executing proxy command: " + command);
  // A second set while one is in effect: its own write is not another program's change.
  StopWatching();
  const std::optional<RegistryValue> enableFound = PrepareForSet();
  // Recorded as soon as the command runs, before it can have written anything: a set cut short
  // by a crash is still ours to clear at the next start. It ends with the host, so it can never
  // land after that start has looked.
  const Outcome outcome = Run(command, Lifetime::kEndsWithHost, [&] { Record(address); });
  if (!outcome.started || (outcome.exitCode != 0 && outcome.exitCode != STILL_ACTIVE)) {
    // Nothing of ours was written but the ProxyEnable made a DWORD: that goes back too. (A
    // set still running may yet land; its clear puts everything back.)
    if (enableFound) WriteProxyEnable(*enableFound);
  }
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
  WatchForChanges();
  if (!AutoConfigUrl().empty()) {
    log_(
        "WARNING: An automatic proxy configuration script is set (AutoConfigURL); programs that "
        "use it may bypass sing-box");
  }
  return true;
}

bool SystemProxy::RunClearCommand() {
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
  return true;
}

void SystemProxy::WatchForChanges() {
  changeReported_ = false;
  if (!changeEvent_) changeEvent_.Reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  if (!changeEvent_) {
    log_(
        "WARNING: A change of the system proxy by another program will not be noticed. Error "
        "code: " +
        std::to_string(GetLastError()));
    return;
  }
  // A notice left from an earlier watch (closing its key sets the event) is not a change.
  ResetEvent(changeEvent_.Get());
  ArmChangeNotice();
}

bool SystemProxy::ArmChangeNotice() {
  DWORD error = ArmProxySettingsChangeNotice(watchedKey_, changeEvent_.Get());
  if (error == ERROR_SUCCESS) error = changeWatch_.Watch(changeEvent_.Get());
  if (error == ERROR_SUCCESS) return true;
  log_(
      "WARNING: A change of the system proxy by another program will not be noticed. Error "
      "code: " +
      std::to_string(error));
  StopWatching();
  return false;
}

void SystemProxy::StopWatching() {
  // The wait first: closing the key sets the event.
  changeWatch_.Cancel();
  watchedKey_.Reset();
}

void SystemProxy::OnSettingsChanged() {
  // Armed again before the values are read, so a change made meanwhile fires once more.
  if (!ArmChangeNotice()) return;
  ProxySettings current;
  if (ReadProxySettings(current) != ERROR_SUCCESS) return;
  if (IsOurs(current)) {
    changeReported_ = false;
    return;
  }
  if (changeReported_) return;
  changeReported_ = true;
  if (IsProxyEnabled(current)) {
    log_("WARNING: Another program changed the system proxy to " +
         orvanta::Utf8FromWide(ProxyServerText(current)) + "; traffic may bypass sing-box");
  } else {
    log_("WARNING: Another program turned the system proxy off; traffic may bypass sing-box");
  }
}

bool SystemProxy::Clear() {
  log_("Clearing system proxy");
  // What follows is our own doing, never another program's change.
  StopWatching();
  // A set still running could otherwise land over what is put back, or make ours again what
  // is judged not ours below.
  EndPendingCommand();
  ProxySettings current;
  const DWORD readError = ReadProxySettings(current);
  if (readError != ERROR_SUCCESS) {
    log_("ERROR: Cannot read the proxy settings. Error code: " + std::to_string(readError));
    return false;
  }
  if (!IsOurs(current)) {
    // The user's or another program's choice, made before or during the connection: it stands.
    ForgetSet();
    log_("System proxy not set by Orvanta; left unchanged");
    return true;
  }
  ProxySettings saved;
  if (SavedUserSettings(saved)) {
    const DWORD error = WriteProxySettings(saved);
    if (error == ERROR_SUCCESS) {
      TellRunningPrograms();
      ForgetSet();
      log_("Restored the proxy settings from before the connection");
      return true;
    }
    // The core is about to end: pointing at it would leave the user without a connection.
    // Turning the proxy off is the way out that is left; should that fail too, record and saved
    // values stay for the next clear.
    log_("ERROR: Failed to restore the proxy settings from before the connection. Error code: " +
         std::to_string(error));
  }
  if (!RunClearCommand()) return false;
  TellRunningPrograms();
  ForgetSet();
  log_("System proxy cleared successfully");
  return true;
}

void SystemProxy::ClearLeftByEarlierRun() {
  const std::wstring record = ProxyRecordPath();
  if (record.empty()) return;
  if (GetFileAttributesW(record.c_str()) == INVALID_FILE_ATTRIBUTES) {
    // Saved by a set that never started: nothing of it reached the registry.
    DeleteFileW(SavedProxySettingsPath().c_str());
    return;
  }
  ProxySettings current;
  if (ReadProxySettings(current) != ERROR_SUCCESS || !IsOurs(current)) {
    ForgetSet();
    return;
  }
  if (Clear()) {
    log_("Cleared the system proxy that an earlier run left set");
  } else {
    log_("WARNING: Cannot clear the system proxy that an earlier run left set");
  }
}
