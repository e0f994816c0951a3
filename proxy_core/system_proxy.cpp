// The per-user HTTP proxy (HKCU\...\Internet Settings), changed by one powershell.exe command.
// PowerShell is found by the normal CreateProcess search, application folder first.
#include <windows.h>

#include <string>
#include <vector>

#include "proxy_core/sing_box_service.h"
#include "support/unique_handle.h"

namespace {

constexpr DWORD kProxyCommandWaitMs = 5000;

constexpr char kPrefix[] = "powershell.exe -Command \"";
constexpr char kPropertyCommand[] =
    "Set-ItemProperty -Path 'HKCU:\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet "
    "Settings' ";

std::string SetCommand(const std::string& host, int port) {
  return std::string(kPrefix) + kPropertyCommand + "-Name ProxyEnable -Value 1; " +
         kPropertyCommand + "-Name ProxyServer -Value '" + host + ":" + std::to_string(port) +
         "'; " + kPropertyCommand + "-Name ProxyOverride -Value '<-loopback>'\"";
}

std::string ClearCommand() {
  return std::string(kPrefix) + kPropertyCommand + "-Name ProxyEnable -Value 0; " +
         kPropertyCommand + "-Name ProxyServer -Value ''; " + kPropertyCommand +
         "-Name ProxyOverride -Value ''\"";
}

struct CommandOutcome {
  bool started = false;
  DWORD startError = 0;
  // STILL_ACTIVE when PowerShell outlived the wait; it is left to finish on its own.
  DWORD exitCode = STILL_ACTIVE;
};

CommandOutcome RunProxyCommand(const std::string& command) {
  CommandOutcome outcome;
  // The command text is ASCII: widening it byte by byte is exact.
  std::vector<wchar_t> writable(command.begin(), command.end());
  writable.push_back(L'\0');
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  if (!CreateProcessW(nullptr, writable.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                      nullptr, &startup, &info)) {
    outcome.startError = GetLastError();
    return outcome;
  }
  orvanta::ProcessHandles child = orvanta::ProcessHandles::Adopt(info);
  outcome.started = true;
  const DWORD wait = WaitForSingleObject(child.process.Get(), kProxyCommandWaitMs);
  DWORD exitCode = STILL_ACTIVE;
  // An unreadable exit code counts as still running: the outcome is unknown, so not a success.
  if (wait == WAIT_OBJECT_0 && GetExitCodeProcess(child.process.Get(), &exitCode)) {
    outcome.exitCode = exitCode;
  }
  return outcome;
}

}  // namespace

bool SingBoxService::SetSystemProxy(const std::string& host, int port) {
  const std::string address = host + ":" + std::to_string(port);
  Log("Setting system HTTP proxy: " + address);
  const std::string command = SetCommand(host, port);
  Log("Executing proxy command: " + command);
  const CommandOutcome outcome = RunProxyCommand(command);
  if (!outcome.started) {
    Log("ERROR: Failed to execute proxy command. Error code: " +
        std::to_string(outcome.startError));
    return false;
  }
  if (outcome.exitCode != 0) {
    Log("ERROR: Proxy command failed with exit code: " + std::to_string(outcome.exitCode));
    return false;
  }
  Log("SUCCESS: System proxy set successfully to " + address);
  return true;
}

bool SingBoxService::ClearSystemProxy() {
  Log("Clearing system proxy");
  const CommandOutcome outcome = RunProxyCommand(ClearCommand());
  if (!outcome.started) {
    Log("Failed to clear system proxy");
    return false;
  }
  // A failed or hung clear leaves the proxy pointing at the core; report it like a failed set.
  if (outcome.exitCode != 0) {
    Log("ERROR: Proxy command failed with exit code: " + std::to_string(outcome.exitCode));
    return false;
  }
  Log("System proxy cleared successfully");
  return true;
}
