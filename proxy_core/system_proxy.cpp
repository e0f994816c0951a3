// The per-user HTTP proxy (HKCU\...\Internet Settings), changed by one powershell.exe command,
// and the record that lets the next run clear a proxy this program left set.
#include <windows.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "proxy_core/sing_box_service.h"
#include "support/unique_handle.h"

namespace {

constexpr DWORD kProxyCommandWaitMs = 5000;
constexpr DWORD kSupersededCommandWaitMs = 5000;

constexpr char kPrefix[] = "powershell.exe -Command \"";
constexpr char kPropertyCommand[] =
    "Set-ItemProperty -Path 'HKCU:\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet "
    "Settings' ";
constexpr wchar_t kInternetSettingsKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
constexpr wchar_t kProxyRecordName[] = L"system-proxy-set";

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

// Only the system's own copy: the search CreateProcess would make tries the current folder
// first, where anyone who can drop a file into a download folder would be run on every
// connect. Empty, with the error code in `error`, when the system folder is unknown.
std::wstring PowerShellPath(DWORD& error) {
  wchar_t system[MAX_PATH];
  const UINT length = GetSystemDirectoryW(system, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) {
    error = length == 0 ? GetLastError() : ERROR_BUFFER_OVERFLOW;
    return std::wstring();
  }
  return std::wstring(system, length) + L"\\WindowsPowerShell\\v1.0\\powershell.exe";
}

struct CommandOutcome {
  bool started = false;
  DWORD startError = 0;
  // STILL_ACTIVE when PowerShell outlived the wait; it is left to finish on its own.
  DWORD exitCode = STILL_ACTIVE;
};

void EndCommand(orvanta::UniqueHandle& command) {
  if (!command) return;
  TerminateProcess(command.Get(), 1);
  WaitForSingleObject(command.Get(), kSupersededCommandWaitMs);
  command.Reset();
}

// A command that outlives its wait is kept in `pending` and ended before the next one starts,
// so a slow set can never land after the clear that followed it.
CommandOutcome RunProxyCommand(const std::string& command, orvanta::UniqueHandle& pending) {
  EndCommand(pending);
  CommandOutcome outcome;
  const std::wstring application = PowerShellPath(outcome.startError);
  if (application.empty()) return outcome;
  // The command text is ASCII: widening it byte by byte is exact.
  std::vector<wchar_t> writable(command.begin(), command.end());
  writable.push_back(L'\0');
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  if (!CreateProcessW(application.c_str(), writable.data(), nullptr, nullptr, FALSE,
                      CREATE_NO_WINDOW, nullptr, nullptr, &startup, &info)) {
    outcome.startError = GetLastError();
    return outcome;
  }
  orvanta::ProcessHandles child = orvanta::ProcessHandles::Adopt(info);
  outcome.started = true;
  const DWORD wait = WaitForSingleObject(child.process.Get(), kProxyCommandWaitMs);
  DWORD exitCode = STILL_ACTIVE;
  if (wait == WAIT_OBJECT_0) {
    // An unreadable exit code counts as still running: the outcome is unknown, so not a
    // success.
    if (GetExitCodeProcess(child.process.Get(), &exitCode)) outcome.exitCode = exitCode;
  } else {
    pending = std::move(child.process);
  }
  return outcome;
}

// ProxyEnable may be a DWORD or, when PowerShell created it, the text "1".
bool ReadsAsOne(DWORD type, const std::vector<BYTE>& data, DWORD size) {
  if (type == REG_DWORD && size == sizeof(DWORD)) {
    DWORD value = 0;
    std::memcpy(&value, data.data(), sizeof(value));
    return value == 1;
  }
  return type == REG_SZ && std::wstring(reinterpret_cast<const wchar_t*>(data.data())) == L"1";
}

bool ReadValue(const wchar_t* name, DWORD& type, std::vector<BYTE>& data, DWORD& size) {
  data.assign(512, 0);
  size = static_cast<DWORD>(data.size() - sizeof(wchar_t));  // room for a terminator
  return RegGetValueW(HKEY_CURRENT_USER, kInternetSettingsKey, name, RRF_RT_ANY, &type, data.data(),
                      &size) == ERROR_SUCCESS;
}

// True while the registry still holds what a set of ours wrote.
bool ProxyStillOurs(const std::string& server) {
  DWORD type = 0;
  DWORD size = 0;
  std::vector<BYTE> data;
  if (!ReadValue(L"ProxyEnable", type, data, size) || !ReadsAsOne(type, data, size)) return false;
  if (!ReadValue(L"ProxyServer", type, data, size) || type != REG_SZ) return false;
  const std::wstring expected(server.begin(), server.end());
  return std::wstring(reinterpret_cast<const wchar_t*>(data.data())) == expected;
}

}  // namespace

std::wstring SingBoxService::ProxyRecordPath() {
  const std::wstring folder = WorkingFolder();
  return folder.empty() ? folder : folder + L"\\" + kProxyRecordName;
}

bool SingBoxService::SetSystemProxy(const std::string& host, int port) {
  const std::string address = host + ":" + std::to_string(port);
  Log("Setting system HTTP proxy: " + address);
  const std::string command = SetCommand(host, port);
  Log("Executing proxy command: " + command);
  // Recorded before the command runs: a set that lands late, after a crash, is still ours to
  // clear at the next start.
  RecordProxySet(address);
  const CommandOutcome outcome = RunProxyCommand(command, pendingProxyCommand);
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
  const CommandOutcome outcome = RunProxyCommand(ClearCommand(), pendingProxyCommand);
  if (!outcome.started) {
    Log("Failed to clear system proxy");
    return false;
  }
  // A failed or hung clear leaves the proxy pointing at the core; report it like a failed set.
  if (outcome.exitCode != 0) {
    Log("ERROR: Proxy command failed with exit code: " + std::to_string(outcome.exitCode));
    return false;
  }
  DeleteFileW(ProxyRecordPath().c_str());
  Log("System proxy cleared successfully");
  return true;
}

void SingBoxService::RecordProxySet(const std::string& address) {
  const std::wstring path = ProxyRecordPath();
  // A set normally follows a launch that made the folder; the record must not depend on it.
  CreateDirectoryW(WorkingFolder().c_str(), nullptr);
  orvanta::UniqueHandle record(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                           FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  if (!record || !WriteFile(record.Get(), address.data(), static_cast<DWORD>(address.size()),
                            &written, nullptr)) {
    Log("WARNING: Cannot record the system proxy setting. Error code: " +
        std::to_string(GetLastError()));
  }
}

void SingBoxService::ClearProxyLeftByEarlierRun(const std::string& address) {
  const std::wstring path = ProxyRecordPath();
  if (path.empty() || GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return;
  // The user or another program may have changed the setting since: then it is theirs.
  if (!ProxyStillOurs(address)) {
    DeleteFileW(path.c_str());
    return;
  }
  if (ClearSystemProxy()) {
    Log("Cleared the system proxy that an earlier run left set");
  } else {
    Log("WARNING: Cannot clear the system proxy that an earlier run left set");
  }
}
