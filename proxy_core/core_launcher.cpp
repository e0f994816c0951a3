#include "proxy_core/core_launcher.h"

#include <utility>
#include <vector>

#include "support/process_launch.h"
#include "support/wide_text.h"
#include "support/windows_error.h"

namespace {

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

void StripTrailingSeparators(std::wstring& folder) {
  while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
}

void LogStartFailure(DWORD error, const ServiceLog& log) {
  log("ERROR: Failed to start sing-box process. Error code: " + std::to_string(error));
  log("Error details: " + orvanta::SystemErrorText(error));
}

}  // namespace

std::wstring GetSingBoxPath() {
  // Grows past MAX_PATH so a deep install folder still yields its real path.
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length =
        GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return std::wstring();
    if (length < buffer.size()) {
      std::wstring folder(buffer.data(), length);
      const size_t lastSeparator = folder.find_last_of(L"\\/");
      folder.resize(lastSeparator == std::wstring::npos ? 0 : lastSeparator);
      StripTrailingSeparators(folder);
      return folder + L"\\resources\\sing-box.exe";
    }
    if (buffer.size() >= 32768) return std::wstring();
    buffer.resize(buffer.size() * 2);
  }
}

bool ResolveSingBoxPath(std::wstring& executable, const ServiceLog& log) {
  log("Checking sing-box executable path: " + Utf8(executable));
  DWORD error = 0;
  PathState state = ProbeFile(executable, error);
  if (state == PathState::kFile) return true;
  if (state == PathState::kUnknown) {
    log("ERROR: Cannot check sing-box executable path. Error code: " + std::to_string(error));
    return false;
  }
  log("ERROR: sing-box executable not found: " + Utf8(executable));

  std::vector<wchar_t> current(MAX_PATH);
  DWORD length = GetCurrentDirectoryW(static_cast<DWORD>(current.size()), current.data());
  if (length >= current.size()) {
    current.resize(length + 1);
    length = GetCurrentDirectoryW(static_cast<DWORD>(current.size()), current.data());
  }
  if (length == 0 || length >= current.size()) {
    log("ERROR: Cannot read the current folder. Error code: " + std::to_string(GetLastError()));
    return false;
  }
  std::wstring folder(current.data(), length);
  StripTrailingSeparators(folder);  // a drive root comes back as "C:\"
  const std::wstring fallback = folder + L"\\sing-box.exe";
  log("Trying alternative path: " + Utf8(fallback));
  state = ProbeFile(fallback, error);
  if (state == PathState::kUnknown) {
    log("ERROR: Cannot check sing-box executable path. Error code: " + std::to_string(error));
    return false;
  }
  if (state == PathState::kMissing) {
    log("ERROR: sing-box executable not found in any location");
    // Peers' users most often lose the core this way, and the message above gives no clue.
    log("sing-box.exe is missing: antivirus software may have removed it. Restore it from "
        "quarantine or reinstall Orvanta.");
    return false;
  }
  executable = fallback;
  log("Found sing-box at: " + Utf8(executable));
  return true;
}

bool LaunchCore(const std::wstring& executable, const WorkingFiles& files,
                orvanta::UniqueHandle& job, CoreProcess& core, const ServiceLog& log,
                DWORD livenessWaitMs) {
  orvanta::LaunchOptions options;
  // The real core reads its command line as UTF-16, so both paths reach it intact.
  options.commandLine = L"\"" + executable + L"\" run -c \"" + files.configPath + L"\"";
  log("Executing command: " + Utf8(options.commandLine));

  orvanta::UniqueHandle logFile;
  core.logStart = -1;
  if (!files.logPath.empty()) {
    MoveLargeCoreLogAside(files.logPath, log);
    SECURITY_ATTRIBUTES inheritable = {};
    inheritable.nLength = sizeof(inheritable);
    inheritable.bInheritHandle = TRUE;
    logFile.Reset(CreateFileW(files.logPath.c_str(), FILE_APPEND_DATA,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER end = {};
    if (!logFile) {
      log("WARNING: Failed to open sing-box log file for redirection");
    } else if (SetFilePointerEx(logFile.Get(), LARGE_INTEGER{}, &end, FILE_END)) {
      core.logStart = end.QuadPart;
    }
  }
  options.redirectStandardHandles = true;
  options.standardInput = GetStdHandle(STD_INPUT_HANDLE);
  options.standardOutput = logFile ? logFile.Get() : GetStdHandle(STD_OUTPUT_HANDLE);
  options.standardError = logFile ? logFile.Get() : GetStdHandle(STD_ERROR_HANDLE);
  // Without the job the core would run on after the host crashes, holding its port, and every
  // later start would fail until the user found and killed it by hand.
  options.killOnCloseJob = &job;

  log("Creating sing-box process...");
  orvanta::LaunchResult launched = orvanta::LaunchProcess(options);
  // The child holds its own inherited copy of the log handle.
  logFile.Reset();
  if (!launched.Started()) {
    LogStartFailure(launched.error, log);
    return false;
  }
  if (launched.jobError != ERROR_SUCCESS) {
    // The core still serves; it only loses the guarantee of ending with the host.
    log("WARNING: sing-box will not end together with the host. Error code: " +
        std::to_string(launched.jobError));
  }
  orvanta::ProcessHandles& child = launched.handles;
  child.thread.Reset();
  core.handle = std::move(child.process);
  core.id = child.processId;
  log("SUCCESS: sing-box process started with PID: " + std::to_string(core.id));

  // One wait, not a sleep: a core that ends at once is known at once. The outcome is the same.
  WaitForSingleObject(core.handle.Get(), livenessWaitMs);
  DWORD exitCode = 0;
  if (!GetExitCodeProcess(core.handle.Get(), &exitCode)) return true;
  if (exitCode == STILL_ACTIVE) {
    log("sing-box process is running successfully");
    return true;
  }
  log("ERROR: sing-box process exited immediately with code: " + std::to_string(exitCode));
  LogCoreLastWords(files.logPath, core.logStart, log);
  // Nothing else would ever close the ended core's handle: Stop skips a service that never
  // started, and the next launch overwrites it.
  core.handle.Reset();
  core.id = 0;
  return false;
}

void LogCoreLastWords(const std::wstring& logPath, long long logStart, const ServiceLog& log) {
  const std::string line = LastCoreLogLine(logPath, logStart);
  if (!line.empty()) log("sing-box said: " + line);
}
