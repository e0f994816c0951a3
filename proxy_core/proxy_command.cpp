#include "proxy_core/proxy_command.h"

#include <windows.h>

#include <functional>
#include <string>
#include <utility>

#include "support/process_launch.h"
#include "support/system_dll.h"

namespace {

constexpr char kPrefix[] = "powershell.exe -Command \"";
constexpr char kPropertyCommand[] =
    "Set-ItemProperty -Path 'HKCU:\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet "
    "Settings' ";

}  // namespace

std::wstring SystemPowerShellPath() {
  return orvanta::SystemFolderPath(L"WindowsPowerShell\\v1.0\\powershell.exe");
}

std::string ProxySetCommand(const std::string& address) {
  return std::string(kPrefix) + kPropertyCommand + "-Name ProxyEnable -Value 1; " +
         kPropertyCommand + "-Name ProxyServer -Value '" + address + "'; " + kPropertyCommand +
         "-Name ProxyOverride -Value '<-loopback>'\"";
}

std::string ProxyClearCommand() {
  return std::string(kPrefix) + kPropertyCommand + "-Name ProxyEnable -Value 0; " +
         kPropertyCommand + "-Name ProxyServer -Value ''; " + kPropertyCommand +
         "-Name ProxyOverride -Value ''\"";
}

ProxyCommandRunner::ProxyCommandRunner(ServiceLog log, std::wstring powerShell,
                                       ProxyCommandWaits waits)
    : log_(std::move(log)), powerShell_(std::move(powerShell)), waits_(waits) {}

void ProxyCommandRunner::EndPending() {
  if (!pending_) return;
  orvanta::EndProcess(pending_.Get(), 1, waits_.supersededMs);
  pending_.Reset();
}

ProxyCommandRunner::Outcome ProxyCommandRunner::Run(const std::string& command, Lifetime lifetime,
                                                    const std::function<void()>& onStarted) {
  EndPending();
  Outcome outcome;
  orvanta::LaunchOptions options;
  // Never the search CreateProcess would make: it tries the current folder first, and anyone
  // who can drop a file into a download folder would be run on every connect.
  options.application = powerShell_;
  options.commandLine.assign(command.begin(), command.end());  // ASCII: exact
  if (lifetime == Lifetime::kEndsWithHost) options.killOnCloseJob = &job_;
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
  if (WaitForSingleObject(process, waits_.commandMs) != WAIT_OBJECT_0) {
    pending_ = std::move(launched.handles.process);
    return outcome;
  }
  // An unreadable exit code counts as still running: the outcome is unknown, so no success.
  DWORD exitCode = STILL_ACTIVE;
  if (GetExitCodeProcess(process, &exitCode)) outcome.exitCode = exitCode;
  return outcome;
}
