// The PowerShell commands that write the three plain proxy values: the text of each, and the one
// runner that starts them. Only the system folder's PowerShell is run, and it inherits no handle
// of the host. A command that outlives its wait is kept and ended before the next one starts, so
// the last command issued is the last to write. A command that must end with the host runs in
// a kill-on-close job, so it can never land after the host has gone.
//
// Not thread-safe; Run blocks for as long as PowerShell runs, at most the wait.
#ifndef ORVANTA_PROXY_CORE_PROXY_COMMAND_H_
#define ORVANTA_PROXY_CORE_PROXY_COMMAND_H_

#include <windows.h>

#include <functional>
#include <string>

#include "proxy_core/service_log.h"
#include "support/unique_handle.h"

// %SystemRoot%\System32\WindowsPowerShell\v1.0\powershell.exe; empty if the system folder is
// unknown.
std::wstring SystemPowerShellPath();

// The command that points the plain values at `address` ("host:port"), and the one that turns
// them off.
std::string ProxySetCommand(const std::string& address);
std::string ProxyClearCommand();

// How long a proxy command may run before the next step goes on without it, and how long a
// command ended for a newer one may take to go.
struct ProxyCommandWaits {
  DWORD commandMs = 5000;
  DWORD supersededMs = 5000;
};

class ProxyCommandRunner {
 public:
  enum class Lifetime { kEndsWithHost, kOutlivesHost };

  struct Outcome {
    bool started = false;
    DWORD startError = 0;
    // STILL_ACTIVE when PowerShell outlived the wait, or its exit code could not be read.
    DWORD exitCode = STILL_ACTIVE;
  };

  // `powerShell` is the program every command runs; warnings go to `log`.
  ProxyCommandRunner(ServiceLog log, std::wstring powerShell, ProxyCommandWaits waits);

  ProxyCommandRunner(const ProxyCommandRunner&) = delete;
  ProxyCommandRunner& operator=(const ProxyCommandRunner&) = delete;

  // Ends a command still running from before, then runs `command`; `onStarted` runs once it has
  // started, before the wait.
  Outcome Run(const std::string& command, Lifetime lifetime,
              const std::function<void()>& onStarted = {});
  // Ends a command that outlived its wait, so that it cannot write after what follows.
  void EndPending();

 private:
  ServiceLog log_;
  std::wstring powerShell_;
  ProxyCommandWaits waits_;
  // A command still running after its wait. A clear left running at destruction is the last
  // word and is left to land.
  orvanta::UniqueHandle pending_;
  // Kill-on-close: holds the commands that must not outlive the host.
  orvanta::UniqueHandle job_;
};

#endif  // ORVANTA_PROXY_CORE_PROXY_COMMAND_H_
