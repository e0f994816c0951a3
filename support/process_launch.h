// Starting a child process without a window, with its handles owned from the first moment.
//
// Both programs the host runs go through here: the proxy core (output redirected, in a job
// that ends it with the host) and PowerShell (by its full path). A child inherits only the
// standard handles it is given, never the other inheritable handles this process holds at the
// time (sockets of the UI runtime, files of a plug-in): an inherited copy would keep them open
// for as long as the child runs.
#ifndef ORVANTA_SUPPORT_PROCESS_LAUNCH_H_
#define ORVANTA_SUPPORT_PROCESS_LAUNCH_H_

#include <windows.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "support/unique_handle.h"

namespace orvanta {

struct LaunchOptions {
  // The program to run. Empty lets the system search for the first word of the command line,
  // which tries the current folder early: give a full path for anything that matters.
  std::wstring application;
  std::wstring commandLine;
  // When set, the child's standard input, output and error are these; those of them that are
  // inheritable are the only handles it inherits. Otherwise it inherits none.
  bool redirectStandardHandles = false;
  HANDLE standardInput = nullptr;
  HANDLE standardOutput = nullptr;
  HANDLE standardError = nullptr;
  // When set, the child runs its first instruction only once it belongs to this job, which is
  // created kill-on-close when empty: it then ends at the latest when the job's last handle
  // closes, also when this process crashes.
  UniqueHandle* killOnCloseJob = nullptr;
};

struct LaunchResult {
  // Both handles set on success (the thread already running); empty on failure.
  ProcessHandles handles;
  // GetLastError of the failed creation (or of the failed resume); 0 on success.
  DWORD error = 0;
  // Why the child is not in the job it was meant for; 0 when it is, or none was asked for.
  // The child runs all the same.
  DWORD jobError = 0;

  bool Started() const { return static_cast<bool>(handles.process); }
};

// The handles a child may be given in its handle list: each of `handles` that is valid and
// inheritable, once, in order. The system refuses a list that names a handle twice (the log
// file is both standard output and standard error) or one that cannot be inherited.
std::vector<HANDLE> InheritableHandles(std::initializer_list<HANDLE> handles);

// Creates the process with CREATE_NO_WINDOW, in this process's environment and current folder.
LaunchResult LaunchProcess(const LaunchOptions& options);

// Terminates `process` with `exitCode` and waits at most `waitMs` for it to have ended; true
// when it has. Termination only starts the end: until the wait, the process may still hold its
// files and ports.
bool EndProcess(HANDLE process, UINT exitCode, DWORD waitMs);

}  // namespace orvanta

#endif  // ORVANTA_SUPPORT_PROCESS_LAUNCH_H_
