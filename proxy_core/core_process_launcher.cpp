// Finding sing-box.exe, starting it with its output appended to sing-box.log, and the
// one-second liveness check.
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "proxy_core/sing_box_service.h"
#include "support/unique_handle.h"
#include "support/wide_text.h"
#include "support/windows_error.h"

namespace {

constexpr DWORD kLivenessWaitMs = 1000;

enum class PathState { kFile, kMissing, kUnknown };

PathState ProbeFile(const std::wstring& path, DWORD& error) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    error = GetLastError();
    switch (error) {
      case ERROR_FILE_NOT_FOUND:
      case ERROR_PATH_NOT_FOUND:
      case ERROR_INVALID_NAME:
      case ERROR_BAD_PATHNAME:
      case ERROR_INVALID_DRIVE:
      case ERROR_BAD_NETPATH:
      case ERROR_BAD_NET_NAME:
        return PathState::kMissing;
      default:
        return PathState::kUnknown;
    }
  }
  error = 0;
  // A folder that happens to carry the executable's name cannot be started.
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? PathState::kMissing : PathState::kFile;
}

std::string Utf8(const std::wstring& text) { return orvanta::Utf8FromWide(text); }

}  // namespace

std::wstring SingBoxService::GetSingBoxPath() {
  // Grows past MAX_PATH so a deep install folder still yields its real path; on failure the
  // empty folder yields a path that fails the existence test and leads to the fallback.
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length =
        GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return std::wstring();
    if (length < buffer.size()) {
      std::wstring exePath(buffer.data(), length);
      const size_t lastSeparator = exePath.find_last_of(L"\\/");
      std::wstring folder =
          lastSeparator == std::wstring::npos ? std::wstring() : exePath.substr(0, lastSeparator);
      while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) {
        folder.pop_back();
      }
      return folder + L"\\resources\\sing-box.exe";
    }
    if (buffer.size() >= 32768) return std::wstring();
    buffer.resize(buffer.size() * 2);
  }
}

// Confirms singBoxPath or replaces it with the current-folder fallback, which then sticks.
bool SingBoxService::ResolveExecutablePath() {
  Log("Checking sing-box executable path: " + Utf8(singBoxPath));
  DWORD error = 0;
  PathState state = ProbeFile(singBoxPath, error);
  if (state == PathState::kFile) return true;
  if (state == PathState::kUnknown) {
    Log("ERROR: Cannot check sing-box executable path. Error code: " + std::to_string(error));
    return false;
  }
  Log("ERROR: sing-box executable not found: " + Utf8(singBoxPath));

  std::vector<wchar_t> currentFolder(MAX_PATH);
  DWORD length =
      GetCurrentDirectoryW(static_cast<DWORD>(currentFolder.size()), currentFolder.data());
  if (length >= currentFolder.size()) {
    currentFolder.resize(length + 1);
    length = GetCurrentDirectoryW(static_cast<DWORD>(currentFolder.size()), currentFolder.data());
  }
  if (length == 0 || length >= currentFolder.size()) {
    Log("ERROR: Cannot read the current folder. Error code: " + std::to_string(GetLastError()));
    return false;
  }
  std::wstring folder(currentFolder.data(), length);
  // A drive root comes back with its backslash ("C:\").
  while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
  const std::wstring fallback = folder + L"\\sing-box.exe";
  Log("Trying alternative path: " + Utf8(fallback));
  state = ProbeFile(fallback, error);
  if (state == PathState::kUnknown) {
    Log("ERROR: Cannot check sing-box executable path. Error code: " + std::to_string(error));
    return false;
  }
  if (state == PathState::kMissing) {
    Log("ERROR: sing-box executable not found in any location");
    return false;
  }
  singBoxPath = fallback;
  Log("Found sing-box at: " + Utf8(singBoxPath));
  return true;
}

void SingBoxService::LogStartFailure(DWORD error) {
  Log("ERROR: Failed to start sing-box process. Error code: " + std::to_string(error));
  Log("Error details: " + orvanta::SystemErrorText(error));
}

// Without the job the core would run on after the host crashes, holding its port, and every
// later start would fail until the user found and killed it by hand.
void SingBoxService::TieToHostLifetime(HANDLE process) {
  DWORD error = ERROR_SUCCESS;
  if (!coreJob) {
    orvanta::UniqueHandle job(CreateJobObjectW(nullptr, nullptr));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!job || !SetInformationJobObject(job.Get(), JobObjectExtendedLimitInformation, &limits,
                                         sizeof(limits))) {
      error = GetLastError();
    } else {
      coreJob = std::move(job);
    }
  }
  if (coreJob && !AssignProcessToJobObject(coreJob.Get(), process)) error = GetLastError();
  if (error != ERROR_SUCCESS) {
    // The core still serves; it only loses the guarantee of ending with the host.
    Log("WARNING: sing-box will not end together with the host. Error code: " +
        std::to_string(error));
  }
}

bool SingBoxService::StartProcess() {
  if (!ResolveExecutablePath()) return false;

  // The real core reads its command line as UTF-16, so both paths reach it intact.
  const std::wstring commandLine = L"\"" + singBoxPath + L"\" run -c \"" + configPath + L"\"";
  Log("Executing command: " + Utf8(commandLine));

  orvanta::UniqueHandle logFile;
  if (!logPath.empty()) {
    MoveLargeCoreLogAside();
    SECURITY_ATTRIBUTES inheritable = {};
    inheritable.nLength = sizeof(inheritable);
    inheritable.bInheritHandle = TRUE;
    logFile.Reset(CreateFileW(logPath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              &inheritable, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!logFile) {
      Log("WARNING: Failed to open sing-box log file for redirection");
    } else {
      SetFilePointer(logFile.Get(), 0, nullptr, FILE_END);
    }
  }

  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = logFile ? logFile.Get() : GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = logFile ? logFile.Get() : GetStdHandle(STD_ERROR_HANDLE);

  Log("Creating sing-box process...");
  std::vector<wchar_t> writableCommand(commandLine.begin(), commandLine.end());
  writableCommand.push_back(L'\0');
  PROCESS_INFORMATION info = {};
  // Suspended until it belongs to the job, so not one instruction of the core runs outside it.
  if (!CreateProcessW(nullptr, writableCommand.data(), nullptr, nullptr, TRUE,
                      CREATE_NO_WINDOW | CREATE_SUSPENDED, nullptr, nullptr, &startup, &info)) {
    const DWORD error = GetLastError();
    logFile.Reset();
    LogStartFailure(error);
    return false;
  }
  orvanta::ProcessHandles child = orvanta::ProcessHandles::Adopt(info);
  // The child holds its own inherited copy of the log handle.
  logFile.Reset();
  TieToHostLifetime(child.process.Get());
  if (ResumeThread(child.thread.Get()) == static_cast<DWORD>(-1)) {
    // A core that never runs would pass the liveness check as "still active".
    const DWORD error = GetLastError();
    TerminateProcess(child.process.Get(), 1);
    LogStartFailure(error);
    return false;
  }
  child.thread.Reset();
  processHandle = std::move(child.process);
  processId = child.processId;
  Log("SUCCESS: sing-box process started with PID: " + std::to_string(processId));

  Sleep(kLivenessWaitMs);
  DWORD exitCode = 0;
  if (!GetExitCodeProcess(processHandle.Get(), &exitCode)) return true;
  if (exitCode == STILL_ACTIVE) {
    Log("sing-box process is running successfully");
    return true;
  }
  Log("ERROR: sing-box process exited immediately with code: " + std::to_string(exitCode));
  // Nothing else would ever close the ended core's handle: Stop skips a service that never
  // started, and the next launch overwrites the fields.
  processHandle.Reset();
  processId = 0;
  return false;
}
