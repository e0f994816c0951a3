// The per-user HTTP proxy (HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings),
// changed by one powershell.exe command per set or clear.
//
// Only the system folder's PowerShell is run, and it inherits no handle of the host. A command
// that outlives its 5-second wait is ended before the next one starts, so the last command
// issued is the last to write. A set leaves a record in the working folder as soon as its
// command runs, and a successful clear removes it, so that a run that crashed with the proxy
// set can be cleaned up by the next one; a set command ends with the host, so it cannot land
// after that.
//
// Not thread-safe; every call blocks for as long as PowerShell runs, at most 5 seconds.
#ifndef ORVANTA_PROXY_CORE_SYSTEM_PROXY_H_
#define ORVANTA_PROXY_CORE_SYSTEM_PROXY_H_

#include <functional>
#include <string>

#include "proxy_core/service_log.h"
#include "support/unique_handle.h"

// %SystemRoot%\System32\WindowsPowerShell\v1.0\powershell.exe; empty if the system folder is
// unknown.
std::wstring SystemPowerShellPath();

class SystemProxy {
 public:
  // `powerShell` is the program every command runs.
  explicit SystemProxy(ServiceLog log, std::wstring powerShell = SystemPowerShellPath());

  SystemProxy(const SystemProxy&) = delete;
  SystemProxy& operator=(const SystemProxy&) = delete;

  // Points the proxy at host:port. True when PowerShell ended with exit code 0 within the wait.
  bool Set(const std::string& host, int port);
  // Turns the proxy off. True when PowerShell ended with exit code 0 within the wait.
  bool Clear();
  // At start-up: when a record of an earlier run exists and the registry still holds that
  // run's values (ProxyEnable 1, ProxyServer `address`, ProxyOverride "<-loopback>"), clears
  // the proxy and logs so. Values changed since belong to the user or another program: they
  // stay, the record goes. Reads the registry only; without a record nothing is run.
  void ClearLeftByEarlierRun(const std::string& address);

 private:
  struct Outcome;
  enum class Lifetime { kEndsWithHost, kOutlivesHost };
  // Runs PowerShell with `command`; `onStarted` runs once it has started, before the wait.
  Outcome Run(const std::string& command, Lifetime lifetime,
              const std::function<void()>& onStarted = {});
  void Record(const std::string& address);

  ServiceLog log_;
  std::wstring powerShell_;
  // A command still running after its wait; ended before the next one starts. A clear left
  // running at destruction is the last word and is left to land.
  orvanta::UniqueHandle pendingCommand_;
  // Kill-on-close: holds the set commands, which must not outlive the host.
  orvanta::UniqueHandle commandJob_;
};

#endif  // ORVANTA_PROXY_CORE_SYSTEM_PROXY_H_
