#include "support/process_launch.h"

#include <vector>

namespace orvanta {

LaunchResult LaunchProcess(const LaunchOptions& options) {
  // CreateProcessW may write into the command line, so it gets a copy of its own.
  std::vector<wchar_t> commandLine(options.commandLine.begin(), options.commandLine.end());
  commandLine.push_back(L'\0');
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  if (options.redirectStandardHandles) {
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = options.standardInput;
    startup.hStdOutput = options.standardOutput;
    startup.hStdError = options.standardError;
  }
  const DWORD flags = CREATE_NO_WINDOW | (options.suspended ? CREATE_SUSPENDED : 0);
  PROCESS_INFORMATION info = {};
  LaunchResult result;
  if (!CreateProcessW(options.application.empty() ? nullptr : options.application.c_str(),
                      commandLine.data(), nullptr, nullptr,
                      options.redirectStandardHandles ? TRUE : FALSE, flags, nullptr, nullptr,
                      &startup, &info)) {
    result.error = GetLastError();
    return result;
  }
  result.handles = ProcessHandles::Adopt(info);
  return result;
}

bool EndProcess(HANDLE process, UINT exitCode, DWORD waitMs) {
  TerminateProcess(process, exitCode);
  return WaitForSingleObject(process, waitMs) == WAIT_OBJECT_0;
}

}  // namespace orvanta
