// Finding sing-box.exe and starting it: its command line, its output appended to
// sing-box.log, a job that ends it with the host, and the one-second liveness check.
//
// Nothing here throws: failures are false results and lines in the service log.
#ifndef ORVANTA_PROXY_CORE_CORE_LAUNCHER_H_
#define ORVANTA_PROXY_CORE_CORE_LAUNCHER_H_

#include <windows.h>

#include <string>

#include "proxy_core/service_log.h"
#include "proxy_core/working_files.h"
#include "support/unique_handle.h"

// The folder of the host's executable + "\resources\sing-box.exe"; a path that does not exist
// when the host's own path cannot be read.
std::wstring GetSingBoxPath();

// Logs the check of `executable` and, when it is not there, replaces it with the current
// folder's sing-box.exe, which later launches then look at first. False, after the lines that
// say where it was looked for, when neither exists or a check fails; when neither exists, a
// last line tells the user what most likely removed it and what to do.
bool ResolveSingBoxPath(std::wstring& executable, const ServiceLog& log);

struct CoreProcess {
  orvanta::UniqueHandle handle;
  DWORD id = 0;
  // Where this launch's output begins in sing-box.log; -1 when it does not go there.
  long long logStart = -1;
};

// How long a core must have run to count as started: one second.
constexpr DWORD kCoreLivenessWaitMs = 1000;

// Starts `executable` with `run -c "<configPath>"`, its output appended to `files.logPath`
// (moved aside first when large), inside `job`, which is created kill-on-close when empty.
// Before it runs any code the core is in the job; a job that cannot be made or refuses the
// core costs one warning line, not the launch. True when the core still runs `livenessWaitMs`
// later; `core` then holds it. A core that ends within that time is known as soon as it ends,
// and released, after its last words.
bool LaunchCore(const std::wstring& executable, const WorkingFiles& files,
                orvanta::UniqueHandle& job, CoreProcess& core, const ServiceLog& log,
                DWORD livenessWaitMs = kCoreLivenessWaitMs);

// Logs "sing-box said: " and the last line a launch appended to sing-box.log from `logStart`
// on (see LastCoreLogLine); nothing when it wrote none.
void LogCoreLastWords(const std::wstring& logPath, long long logStart, const ServiceLog& log);

#endif  // ORVANTA_PROXY_CORE_CORE_LAUNCHER_H_
