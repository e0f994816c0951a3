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
// While a set is in effect, a change by anyone else that leaves the plain values, the LAN or an
// entry the set reached no longer ours is reported (ProxyChangeWatch).
//
// The commands run as ProxyCommandRunner says. A set leaves a record in the working folder as
// soon as its command runs, so a run that crashed with the proxy set is cleaned up by the next
// one; a set command ends with the host, so it cannot land after that. Every change is
// announced to running programs (WinINet), which otherwise keep the old setting; nothing is
// announced when nothing changed. Where a policy makes the proxy per machine, a set does nothing
// and fails.
//
// Not thread-safe; every call blocks for as long as PowerShell runs, at most its wait. Create
// it on the thread that runs the message loop: a change is reported from that loop.
#ifndef ORVANTA_PROXY_CORE_SYSTEM_PROXY_H_
#define ORVANTA_PROXY_CORE_SYSTEM_PROXY_H_

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "proxy_core/proxy_change_watch.h"
#include "proxy_core/proxy_command.h"
#include "proxy_core/proxy_record.h"
#include "proxy_core/proxy_settings.h"
#include "proxy_core/saved_proxy_settings.h"
#include "proxy_core/service_log.h"

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
  struct Judgement;
  // Writes the record of the set (ProxyRecordState), with a warning when that fails.
  void Record(ProxyRecordState state);
  // Every view now, and how each stands against the saved settings and the record.
  DWORD Judge(Judgement& judgement) const;
  // Before a set: saves what each view is owed (what was saved for it while it still holds ours,
  // else what it holds now), and makes ProxyEnable a DWORD. The result is the ProxyEnable found
  // when that had to be done, to be put back should the set fail; absent otherwise.
  std::optional<RegistryValue> PrepareForSet(const std::vector<std::wstring>& connections);
  // The settings this connection's set replaced; false when there are none to put back.
  bool SavedUserSettings(ProxySnapshot& saved) const;
  // Gives each connection ours; the result names those that took it (the LAN as "").
  std::vector<std::wstring> SetConnections(const std::vector<std::wstring>& connections);
  // The views judged ours get their saved settings back, else are turned off.
  bool PutBack(const Judgement& judgement);
  // Runs the clear command; true when it ended with exit code 0 within the wait.
  bool RunClearCommand();
  bool IsOurs(const ProxySettings& settings) const;
  void TellRunningPrograms();

  ServiceLog log_;
  std::string address_;
  ProxyCommandRunner commands_;
  bool restorePending_ = false;
  ProxyChangeWatch changeWatch_;
};

#endif  // ORVANTA_PROXY_CORE_SYSTEM_PROXY_H_
