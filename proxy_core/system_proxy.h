// The per-user HTTP proxy (HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings),
// changed by one powershell.exe command per set or clear, and put back as the user had it.
//
// Only the system folder's PowerShell is run, and it inherits no handle of the host. A command
// that outlives its 5-second wait is ended before the next one starts, so the last command
// issued is the last to write. Before the first set the user's three values are saved in the
// working folder; a set leaves a record there as soon as its command runs. A clear that finds
// our values puts the saved ones back exactly (through the registry, so any text and type
// survives), else it runs the clear command; either way a success removes record and saved
// values. So a run that crashed with the proxy set is cleaned up by the next one; a set
// command ends with the host, so it cannot land after that. Every successful change is
// announced to running programs (WinINet), which otherwise keep the old setting.
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
  // Warns when an automatic configuration script lets programs bypass that proxy.
  bool Set(const std::string& host, int port);
  // Puts back the user's own values, or turns the proxy off. True when that worked (for the
  // command: PowerShell ended with exit code 0 within the wait).
  bool Clear();
  // At start-up: when a record of an earlier run exists and the registry still holds that
  // run's values (ProxyEnable 1, ProxyServer `address`, ProxyOverride "<-loopback>"), clears
  // the proxy as Clear does and logs so. Values changed since belong to the user or another
  // program: they stay, record and saved values go. Reads the registry only; without a record
  // nothing is run.
  void ClearLeftByEarlierRun(const std::string& address);

 private:
  struct Outcome;
  enum class Lifetime { kEndsWithHost, kOutlivesHost };
  enum class Restore { kNotApplicable, kRestored, kFailed };
  void EndPendingCommand();
  // Runs PowerShell with `command`; `onStarted` runs once it has started, before the wait.
  Outcome Run(const std::string& command, Lifetime lifetime,
              const std::function<void()>& onStarted = {});
  void Record(const std::string& address);
  // Before a set: the user's values, unless an earlier set's are still kept.
  void SaveUserSettings();
  // Puts the user's values back when our set replaced them and they are still ours.
  Restore RestoreUserSettings();
  void TellRunningPrograms();

  ServiceLog log_;
  std::wstring powerShell_;
  // A command still running after its wait; ended before the next one starts. A clear left
  // running at destruction is the last word and is left to land.
  orvanta::UniqueHandle pendingCommand_;
  // Kill-on-close: holds the set commands, which must not outlive the host.
  orvanta::UniqueHandle commandJob_;
};

#endif  // ORVANTA_PROXY_CORE_SYSTEM_PROXY_H_
