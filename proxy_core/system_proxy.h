// The per-user proxy, in every view Windows keeps of it: the three plain values under
// HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings (changed by one
// powershell.exe command per set or clear, and read by some WinINet programs), and the settings
// of each connection, the LAN and every dial-up or VPN phonebook entry (WinHTTP, so Chromium,
// Edge and .NET, reads only those). A set points all of them at the core; a clear puts back
// what the user had.
//
// Only our own values are ever changed. A view is ours when it holds what our set writes: the
// plain values ProxyEnable 1, ProxyServer our address and ProxyOverride "<-loopback>"; a
// connection our address and bypass list as its manual proxy. A clear puts back, in each view
// that is ours, the settings saved before this connection's set (through the registry and
// WinINet, so any text, type and flag survives), else turns it off (the clear command for the
// plain values, "direct" for a connection). A view that holds anything else (the user's or
// another program's choice, made before or during the connection) stays as it is. The saved
// settings belong to one connection: they are kept only while the record of the set exists and
// the plain values are still ours, and are replaced at the next set otherwise. A set cut short
// between its writes leaves some plain values ours and the rest as saved; that is still ours to
// put back. A restore the registry refuses turns the proxy off instead and keeps the saved
// settings, for the next clear (the host's end, the UI's, or the next start's) to try again.
//
// PowerShell keeps the type of a value it finds and makes a text of one it creates, and WinINet
// reads ProxyEnable only as a DWORD: so before a set, a ProxyEnable that is missing or not a
// DWORD is written as DWORD 0, and the proxy the set turns on is in effect for every client.
//
// While a set is in effect, a change by anyone else that leaves the plain values or the LAN
// settings no longer ours is reported once, when it happens, as a warning in the log: such
// traffic bypasses the core. Nothing is re-applied; the other program's or the user's choice
// stands. The watch costs nothing while nothing changes (a registry notice and a registered
// wait).
//
// Only the system folder's PowerShell is run, and it inherits no handle of the host. A command
// that outlives its wait (5 seconds) is ended before the next one starts, so the last command
// issued is the last to write. A set leaves a record in the working folder as soon as its
// command runs, so a run that crashed with the proxy set is cleaned up by the next one; a set
// command ends with the host, so it cannot land after that. Every change is announced to
// running programs (WinINet), which otherwise keep the old setting; nothing is announced when
// nothing changed. Where a policy makes the proxy per machine, a set does nothing and fails.
//
// Not thread-safe; every call blocks for as long as PowerShell runs, at most its wait. Create
// it on the thread that runs the message loop: a change is reported from that loop.
#ifndef ORVANTA_PROXY_CORE_SYSTEM_PROXY_H_
#define ORVANTA_PROXY_CORE_SYSTEM_PROXY_H_

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "proxy_core/proxy_settings.h"
#include "proxy_core/saved_proxy_settings.h"
#include "proxy_core/service_log.h"
#include "support/registry_key.h"
#include "support/signal_watch.h"
#include "support/unique_handle.h"

// %SystemRoot%\System32\WindowsPowerShell\v1.0\powershell.exe; empty if the system folder is
// unknown.
std::wstring SystemPowerShellPath();

// How long a proxy command may run before the next step goes on without it, and how long a
// command ended for a newer one may take to go.
struct ProxyCommandWaits {
  DWORD commandMs = 5000;
  DWORD supersededMs = 5000;
};

class SystemProxy {
 public:
  // `address` ("host:port") is the proxy this object sets and recognises as its own;
  // `powerShell` is the program every command runs.
  SystemProxy(ServiceLog log, std::string address, std::wstring powerShell = SystemPowerShellPath(),
              ProxyCommandWaits waits = ProxyCommandWaits());

  SystemProxy(const SystemProxy&) = delete;
  SystemProxy& operator=(const SystemProxy&) = delete;

  // Points every view at host:port, the address given at construction. True when PowerShell
  // ended with exit code 0 within the wait and WinINet then reports that proxy for the LAN.
  bool Set(const std::string& host, int port);
  // True when no view points at us any more: the views that were ours hold the saved settings
  // again or are turned off, or none was ours and all were left alone. False keeps the record
  // and the saved settings for a later clear.
  bool Clear();
  // At start-up: when a record of an earlier run exists and some view is still ours, clears the
  // proxy as Clear does and logs so. Views changed since belong to the user or another program:
  // they stay, record and saved settings go. Reads only; without a record nothing is run.
  void ClearLeftByEarlierRun();
  // True when a clear of this run could not put the saved settings back: the registry refused
  // them. They are still kept; a clear at the host's end tries once more.
  bool RestorePending() const { return restorePending_; }

 private:
  struct Outcome;
  struct Judgement;
  enum class Lifetime { kEndsWithHost, kOutlivesHost };
  enum class RecordState { kNone, kSet, kCleared };

  void EndPendingCommand();
  // Runs PowerShell with `command`; `onStarted` runs once it has started, before the wait.
  Outcome Run(const std::string& command, Lifetime lifetime,
              const std::function<void()>& onStarted = {});
  void Record(RecordState state);
  RecordState ReadRecord() const;
  // Every view now, and how each stands against the saved settings and the record.
  DWORD Judge(Judgement& judgement) const;
  // Before a set: saves every view as it is now, unless this connection's are still kept, and
  // makes ProxyEnable a DWORD. The result is the ProxyEnable found when that had to be done, to
  // be put back should the set fail; absent otherwise.
  std::optional<RegistryValue> PrepareForSet(const std::vector<std::wstring>& connections);
  // The settings this connection's set replaced; false when there are none to put back.
  bool SavedUserSettings(ProxySnapshot& saved) const;
  // Gives each connection ours; false when the LAN refused.
  bool SetConnections(const std::vector<std::wstring>& connections);
  // The views judged ours get their saved settings back, else are turned off.
  bool PutBack(const Judgement& judgement);
  // Runs the clear command; true when it ended with exit code 0 within the wait.
  bool RunClearCommand();
  bool IsOurs(const ProxySettings& settings) const;
  void TellRunningPrograms();
  void WatchForChanges();
  void StopWatching();
  // Arms the next notice of a change; false, after a warning, when it cannot be had.
  bool ArmChangeNotice();
  void OnSettingsChanged();
  // Reports, once, views that are no longer ours since they last were.
  void CheckStillOurs();

  ServiceLog log_;
  std::string address_;
  std::wstring powerShell_;
  ProxyCommandWaits waits_;
  // A command still running after its wait; ended before the next one starts. A clear left
  // running at destruction is the last word and is left to land.
  orvanta::UniqueHandle pendingCommand_;
  // Kill-on-close: holds the set commands, which must not outlive the host.
  orvanta::UniqueHandle commandJob_;
  bool restorePending_ = false;
  // Whether the set in effect made the LAN settings ours, so that the watch judges them too.
  bool lanSet_ = false;
  // The watch of the key while a set is in effect: the key it is opened for, the event the
  // registry sets, and whether the values have been reported as no longer ours since they last
  // were. The watch is declared last, so it has ended before the key and the event close.
  orvanta::RegistryKey watchedKey_;
  orvanta::UniqueHandle changeEvent_;
  bool changeReported_ = false;
  orvanta::SignalWatch changeWatch_;
};

#endif  // ORVANTA_PROXY_CORE_SYSTEM_PROXY_H_
