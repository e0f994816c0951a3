// The per-user HTTP proxy (HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings),
// changed by one powershell.exe command per set or clear, and put back as the user had it.
//
// Only our own values are ever changed. "Ours" is what the registry holds now: ProxyEnable 1,
// ProxyServer our address and ProxyOverride "<-loopback>". A clear that finds anything else
// (the user's or another program's choice, made before or during the connection) leaves it as
// it is and runs nothing. A clear that finds our values puts back the values saved before this
// connection's set (through the registry, so any text and type survives), else it runs the
// clear command. The saved values belong to one connection: they are kept only while the
// record of the set exists and the registry still holds our values, and are replaced at the
// next set otherwise.
//
// PowerShell keeps the type of a value it finds and makes a text of one it creates, and WinINet
// reads ProxyEnable only as a DWORD: so before a set, a ProxyEnable that is missing or not a
// DWORD is written as DWORD 0, and the proxy the set turns on is in effect for every client.
//
// While a set is in effect, a change of the key by anyone else that leaves it no longer
// holding our values is reported once, when it happens, as a warning in the log: such traffic
// bypasses the core. Nothing is re-applied; the other program's or the user's choice stands.
// The watch costs nothing while nothing changes (a registry notice and a registered wait).
//
// Only the system folder's PowerShell is run, and it inherits no handle of the host. A command
// that outlives its 5-second wait is ended before the next one starts, so the last command
// issued is the last to write. A set leaves a record in the working folder as soon as its
// command runs, so a run that crashed with the proxy set is cleaned up by the next one; a set
// command ends with the host, so it cannot land after that. Every change is announced to
// running programs (WinINet), which otherwise keep the old setting; nothing is announced when
// nothing changed.
//
// Not thread-safe; every call blocks for as long as PowerShell runs, at most 5 seconds. Create
// it on the thread that runs the message loop: a change is reported from that loop.
#ifndef ORVANTA_PROXY_CORE_SYSTEM_PROXY_H_
#define ORVANTA_PROXY_CORE_SYSTEM_PROXY_H_

#include <functional>
#include <optional>
#include <string>

#include "proxy_core/proxy_settings.h"
#include "proxy_core/service_log.h"
#include "support/registry_key.h"
#include "support/signal_watch.h"
#include "support/unique_handle.h"

// %SystemRoot%\System32\WindowsPowerShell\v1.0\powershell.exe; empty if the system folder is
// unknown.
std::wstring SystemPowerShellPath();

class SystemProxy {
 public:
  // `address` ("host:port") is the proxy this object sets and recognises as its own;
  // `powerShell` is the program every command runs.
  SystemProxy(ServiceLog log, std::string address,
              std::wstring powerShell = SystemPowerShellPath());

  SystemProxy(const SystemProxy&) = delete;
  SystemProxy& operator=(const SystemProxy&) = delete;

  // Points the proxy at host:port, the address given at construction. True when PowerShell
  // ended with exit code 0 within the wait. Warns when an automatic configuration script lets
  // programs bypass that proxy.
  bool Set(const std::string& host, int port);
  // True when the proxy no longer points at us: our values were replaced by the saved ones or
  // turned off (the command ended with exit code 0 within the wait), or the values found were
  // not ours and were left alone. A restore the registry refuses falls back to the clear
  // command, so the user is not left pointing at a core that is about to end. False keeps the
  // record and the saved values for a later clear.
  bool Clear();
  // At start-up: when a record of an earlier run exists and the registry still holds our
  // values, clears the proxy as Clear does and logs so. Values changed since belong to the
  // user or another program: they stay, record and saved values go. Reads the registry only;
  // without a record nothing is run.
  void ClearLeftByEarlierRun();

 private:
  struct Outcome;
  enum class Lifetime { kEndsWithHost, kOutlivesHost };
  void EndPendingCommand();
  // Runs PowerShell with `command`; `onStarted` runs once it has started, before the wait.
  Outcome Run(const std::string& command, Lifetime lifetime,
              const std::function<void()>& onStarted = {});
  void Record(const std::string& address);
  // Before a set: saves the values the registry holds now, unless this connection's are still
  // kept, and makes ProxyEnable a DWORD. The result is the ProxyEnable found when that had to
  // be done, to be put back should the set fail; absent otherwise.
  std::optional<RegistryValue> PrepareForSet();
  void SaveUserSettings(const ProxySettings& current);
  // The values this connection's set replaced; false when there are none to put back.
  bool SavedUserSettings(ProxySettings& saved) const;
  // Runs the clear command; true when it ended with exit code 0 within the wait.
  bool RunClearCommand();
  bool IsOurs(const ProxySettings& settings) const;
  void TellRunningPrograms();
  void WatchForChanges();
  void StopWatching();
  // Arms the next notice of a change; false, after a warning, when it cannot be had.
  bool ArmChangeNotice();
  void OnSettingsChanged();

  ServiceLog log_;
  std::string address_;
  std::wstring powerShell_;
  // A command still running after its wait; ended before the next one starts. A clear left
  // running at destruction is the last word and is left to land.
  orvanta::UniqueHandle pendingCommand_;
  // Kill-on-close: holds the set commands, which must not outlive the host.
  orvanta::UniqueHandle commandJob_;
  // The watch of the key while a set is in effect: the key it is opened for, the event the
  // registry sets, and whether the values have been reported as no longer ours since they last
  // were. The watch is declared last, so it has ended before the key and the event close.
  orvanta::RegistryKey watchedKey_;
  orvanta::UniqueHandle changeEvent_;
  bool changeReported_ = false;
  orvanta::SignalWatch changeWatch_;
};

#endif  // ORVANTA_PROXY_CORE_SYSTEM_PROXY_H_
