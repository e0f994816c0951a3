// Starting a child process without a window, with its handles owned from the first moment.
//
// Both programs the host runs go through here: the proxy core (output redirected, handles
// inherited, started suspended) and PowerShell (by its full path, nothing inherited).
#ifndef ORVANTA_SUPPORT_PROCESS_LAUNCH_H_
#define ORVANTA_SUPPORT_PROCESS_LAUNCH_H_

#include <windows.h>

#include <string>

#include "support/unique_handle.h"

namespace orvanta {

struct LaunchOptions {
  // The program to run. Empty lets the system search for the first word of the command line,
  // which tries the current folder early: give a full path for anything that matters.
  std::wstring application;
  std::wstring commandLine;
  // When set, the child's standard input, output and error, and every inheritable handle of
  // this process, are handed to it.
  bool redirectStandardHandles = false;
  HANDLE standardInput = nullptr;
  HANDLE standardOutput = nullptr;
  HANDLE standardError = nullptr;
  // The main thread waits for ResumeThread.
  bool suspended = false;
};

struct LaunchResult {
  // Both handles set on success; empty on failure.
  ProcessHandles handles;
  // GetLastError of the failed creation; 0 on success.
  DWORD error = 0;

  bool Started() const { return static_cast<bool>(handles.process); }
};

// Creates the process with CREATE_NO_WINDOW, in this process's environment and current folder.
LaunchResult LaunchProcess(const LaunchOptions& options);

// Terminates `process` with `exitCode` and waits at most `waitMs` for it to have ended; true
// when it has. Termination only starts the end: until the wait, the process may still hold its
// files and ports.
bool EndProcess(HANDLE process, UINT exitCode, DWORD waitMs);

}  // namespace orvanta

#endif  // ORVANTA_SUPPORT_PROCESS_LAUNCH_H_
