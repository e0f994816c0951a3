#include "proxy_core/system_proxy.h"

#include <windows.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "proxy_core/connection_settings.h"
#include "proxy_core/proxy_record.h"
#include "proxy_core/proxy_settings.h"
#include "proxy_core/saved_proxy_settings.h"
#include "proxy_core/working_files.h"
#include "support/wide_text.h"

namespace {

const Connection* Find(const std::vector<Connection>& connections, const std::wstring& name) {
  for (const Connection& connection : connections) {
    if (connection.name == name) return &connection;
  }
  return nullptr;
}

// A command writes ProxyEnable, ProxyServer and ProxyOverride in that order, so one cut short
// leaves the first few values as it writes them and the rest as they were: a set's ours, or
// the clear's that stood in for a refused restore. Before the set's command, ProxyEnable may
// have been made a number (0).
bool CutShort(const ProxySettings& now, const ProxySettings& saved, bool cleared,
              const std::wstring& address) {
  const auto written = [&](size_t index) {
    const ProxyValueName& named = kProxyValueNames[index];
    return cleared ? IsClearedProxyValue(named.field, now.*named.field)
                   : IsOurProxyValue(named.field, now.*named.field, address);
  };
  const auto asBefore = [&](size_t index) {
    const ProxyValueName& named = kProxyValueNames[index];
    const RegistryValue& value = now.*named.field;
    const RegistryValue& before = saved.*named.field;
    return value == before || (!cleared && named.field == &ProxySettings::enable &&
                               before.type != REG_DWORD && value == DwordValue(0));
  };
  for (size_t cut = 0; cut <= 3; ++cut) {
    bool fits = true;
    for (size_t index = 0; index < 3 && fits; ++index) {
      fits = index < cut ? written(index) : asBefore(index);
    }
    if (fits) return true;
  }
  return false;
}

}  // namespace

// How each view stands: holding ours (to be put back), the saved settings (nothing to do), or
// anything else (the user's or another program's, to be left alone).
enum class Holds { kOurs, kSaved, kOther };

struct SystemProxy::Judgement {
  ProxySnapshot now;
  bool hasSaved = false;
  ProxySnapshot saved;
  Holds plain = Holds::kOther;
  std::vector<Holds> connections;  // one for each of now.connections

  // The saved settings of the connection `name` while it holds ours; null otherwise.
  const Connection* SavedIfOurs(const std::wstring& name) const {
    for (size_t i = 0; i < now.connections.size(); ++i) {
      if (now.connections[i].name == name && connections[i] == Holds::kOurs) {
        return Find(saved.connections, name);
      }
    }
    return nullptr;
  }

  bool AnyOurs() const {
    if (plain == Holds::kOurs) return true;
    for (Holds holds : connections) {
      if (holds == Holds::kOurs) return true;
    }
    return false;
  }
};

SystemProxy::SystemProxy(ServiceLog log, std::string address, std::wstring powerShell,
                         ProxyCommandWaits waits)
    : log_(std::move(log)),
      address_(std::move(address)),
      commands_(log_, std::move(powerShell), waits),
      changeWatch_(log_, address_) {}

bool SystemProxy::IsOurs(const ProxySettings& settings) const {
  return IsOurProxy(settings, orvanta::WideFromUtf8(address_));
}

void SystemProxy::Record(ProxyRecordState state) {
  const DWORD error = WriteProxyRecord(address_, state);
  if (error != ERROR_SUCCESS) {
    log_("WARNING: Cannot record the system proxy setting. Error code: " + std::to_string(error));
  }
}

bool SystemProxy::SavedUserSettings(ProxySnapshot& saved) const {
  // Saved values that are ours themselves are a leftover: nothing of the user's to put back.
  return ReadProxyRecord() != ProxyRecordState::kNone &&
         LoadProxySnapshot(SavedProxySettingsPath(), saved) && !IsOurs(saved.plain);
}

DWORD SystemProxy::Judge(Judgement& judgement) const {
  judgement = Judgement();
  if (const DWORD error = ReadProxySettings(judgement.now.plain)) return error;
  const ProxyRecordState record = ReadProxyRecord();
  // Without the record of a set, a connection can hold ours only beside plain values that are
  // ours too (a leftover). Not asking WinINet then matters under Wine, whose query writes a
  // missing ProxyEnable: the UI's clear after a disconnect must change nothing.
  const bool connectionsMayBeOurs =
      record != ProxyRecordState::kNone || IsOurs(judgement.now.plain);
  DWORD listError = ERROR_SUCCESS;
  const std::vector<std::wstring> names =
      connectionsMayBeOurs ? ListConnections(listError) : std::vector<std::wstring>();
  for (const std::wstring& name : names) {
    Connection connection{name, ConnectionSettings(), HasStoredConnection(name)};
    // One that cannot be read is not judged, and so never changed.
    if (ReadConnection(name, connection.settings) == ERROR_SUCCESS) {
      judgement.now.connections.push_back(std::move(connection));
    }
  }
  judgement.hasSaved = SavedUserSettings(judgement.saved);
  const std::wstring address = orvanta::WideFromUtf8(address_);

  const ProxySettings& plain = judgement.now.plain;
  if (IsOurs(plain)) {
    judgement.plain = Holds::kOurs;
  } else if (judgement.hasSaved && plain == judgement.saved.plain) {
    judgement.plain = Holds::kSaved;
  } else if (judgement.hasSaved) {
    judgement.plain =
        CutShort(plain, judgement.saved.plain, record == ProxyRecordState::kCleared, address)
            ? Holds::kOurs
            : Holds::kOther;
  }

  for (const Connection& connection : judgement.now.connections) {
    const Connection* saved =
        judgement.hasSaved ? Find(judgement.saved.connections, connection.name) : nullptr;
    Holds holds = Holds::kOther;
    if (saved != nullptr && connection.settings == saved->settings) {
      holds = Holds::kSaved;
    } else if (IsOurConnection(connection.settings, address) ||
               (saved != nullptr && record == ProxyRecordState::kCleared &&
                IsDirectConnection(connection.settings))) {
      holds = Holds::kOurs;
    }
    judgement.connections.push_back(holds);
  }
  return ERROR_SUCCESS;
}

std::optional<RegistryValue> SystemProxy::PrepareForSet(
    const std::vector<std::wstring>& connections) {
  ProxySettings current;
  DWORD error = ReadProxySettings(current);
  if (error != ERROR_SUCCESS) {
    log_("WARNING: Cannot save the proxy settings from before the connection. Error code: " +
         std::to_string(error));
    return std::nullopt;
  }
  const std::wstring path = SavedProxySettingsPath();
  if (!path.empty()) {
    // View by view: one that still holds ours (a second set before the clear, or one after a
    // restore that was refused) keeps what was saved then, which is the user's. Any other holds
    // the user's or another program's choice since, and that choice is what comes back.
    Judgement judgement;
    const bool judged = Judge(judgement) == ERROR_SUCCESS && judgement.hasSaved;
    ProxySnapshot owed;
    owed.plain = judged && judgement.plain == Holds::kOurs ? judgement.saved.plain : current;
    const std::wstring address = orvanta::WideFromUtf8(address_);
    for (const std::wstring& name : connections) {
      if (const Connection* saved = judged ? judgement.SavedIfOurs(name) : nullptr) {
        owed.connections.push_back(*saved);
        continue;
      }
      Connection connection{name, ConnectionSettings(), HasStoredConnection(name)};
      const DWORD readError = ReadConnection(name, connection.settings);
      if (readError == ERROR_SUCCESS) {
        // Ours left from an earlier set (another program changed only the plain values since)
        // is nothing of the user's: without saved settings it is turned off at the end.
        if (!IsOurConnection(connection.settings, address)) {
          owed.connections.push_back(std::move(connection));
        }
      } else {
        log_("WARNING: Cannot save the proxy settings of " + ConnectionLabel(name) +
             ". Error code: " + std::to_string(readError));
      }
    }
    CreateDirectoryW(WorkingFolder().c_str(), nullptr);
    error = SaveProxySnapshot(path, owed);
    if (error != ERROR_SUCCESS) {
      log_("WARNING: Cannot save the proxy settings from before the connection. Error code: " +
           std::to_string(error));
    }
  }
  if (current.enable.present && current.enable.type == REG_DWORD) return std::nullopt;
  // Set-ItemProperty would create the value as the text "1", which WinINet takes as off (and
  // overwrites with a DWORD 0): the proxy would be set but never used.
  const DWORD written = WriteProxyEnable(DwordValue(0));
  if (written != ERROR_SUCCESS) {
    log_(
        "WARNING: Cannot make ProxyEnable a number; programs may not use the proxy. Error "
        "code: " +
        std::to_string(written));
    return std::nullopt;
  }
  return current.enable;
}

void SystemProxy::TellRunningPrograms() {
  const DWORD error = NotifyProxySettingsChanged();
  if (error != ERROR_SUCCESS) {
    log_("WARNING: Running programs were not told of the new proxy setting. Error code: " +
         std::to_string(error));
  }
}

std::vector<std::wstring> SystemProxy::SetConnections(
    const std::vector<std::wstring>& connections) {
  const ConnectionSettings ours = OurConnectionSettings(orvanta::WideFromUtf8(address_));
  std::vector<std::wstring> taken;
  for (const std::wstring& name : connections) {
    // The script's address stays: our flags keep it from winning, and it is the user's.
    const DWORD error = WriteConnection(name, ours, false);
    if (error != ERROR_SUCCESS) {
      log_("WARNING: Cannot set the proxy for " + ConnectionLabel(name) +
           ". Error code: " + std::to_string(error));
    } else {
      taken.push_back(name);
    }
  }
  return taken;
}

bool SystemProxy::Set(const std::string& host, int port) {
  const std::string address = host + ":" + std::to_string(port);
  log_("Setting system HTTP proxy: " + address);
  if (ProxyIsSetPerMachineByPolicy()) {
    log_(
        "ERROR: A policy makes the proxy settings per machine (ProxySettingsPerUser is 0 under "
        "HKLM\\SOFTWARE\\Policies\\Microsoft\\Windows\\CurrentVersion\\Internet Settings); a "
        "per-user proxy would have no effect, so none is set");
    return false;
  }
  const std::string command = ProxySetCommand(address);
  log_("Executing proxy command: " + command);
  // A second set while one is in effect: its own write is not another program's change.
  changeWatch_.Stop();
  DWORD listError = ERROR_SUCCESS;
  const std::vector<std::wstring> connections = ListConnections(listError);
  if (listError != ERROR_SUCCESS) {
    log_(
        "WARNING: The dial-up and VPN connections cannot be listed; only the LAN gets the "
        "proxy. Error code: " +
        std::to_string(listError));
  }
  const std::optional<RegistryValue> enableFound = PrepareForSet(connections);
  // Recorded as soon as the command runs, before it can have written anything: a set cut short
  // by a crash is still ours to clear at the next start. It ends with the host, so it can never
  // land after that start has looked.
  const ProxyCommandRunner::Outcome outcome =
      commands_.Run(command, ProxyCommandRunner::Lifetime::kEndsWithHost,
                    [&] { Record(ProxyRecordState::kSet); });
  if (!outcome.started || (outcome.exitCode != 0 && outcome.exitCode != STILL_ACTIVE)) {
    // Nothing of ours was written but the ProxyEnable made a DWORD: that goes back too. (A
    // set still running may yet land; its clear puts everything back.)
    if (enableFound) WriteProxyEnable(*enableFound);
  }
  if (!outcome.started) {
    log_("ERROR: Failed to execute proxy command. Error code: " +
         std::to_string(outcome.startError));
    return false;
  }
  if (outcome.exitCode != 0) {
    log_("ERROR: Proxy command failed with exit code: " + std::to_string(outcome.exitCode));
    return false;
  }
  const std::vector<std::wstring> taken = SetConnections(connections);
  // Read back, and the watch armed, before the notices: a program that reacts to them may change
  // the proxy at once. That is a change for the watch to report, not a set that failed.
  ConnectionSettings lan;
  const DWORD readError = ReadConnection(std::wstring(), lan);
  changeWatch_.Start(taken);
  TellRunningPrograms();
  if (readError != ERROR_SUCCESS) {
    log_("ERROR: Cannot read the proxy of the LAN connection back. Error code: " +
         std::to_string(readError));
    return false;
  }
  if (!IsOurConnection(lan, orvanta::WideFromUtf8(address))) {
    log_("ERROR: The LAN connection does not use " + address +
         " after the set; browsers and other programs that follow it bypass sing-box");
    return false;
  }
  log_("SUCCESS: System proxy set successfully to " + address);
  return true;
}

bool SystemProxy::RunClearCommand() {
  // A clear left running when the host exits is the last word, and still lands.
  const ProxyCommandRunner::Outcome outcome =
      commands_.Run(ProxyClearCommand(), ProxyCommandRunner::Lifetime::kOutlivesHost);
  if (!outcome.started) {
    log_("Failed to clear system proxy");
    return false;
  }
  // A failed or hung clear leaves the proxy pointing at the core; report it like a failed set.
  if (outcome.exitCode != 0) {
    log_("ERROR: Proxy command failed with exit code: " + std::to_string(outcome.exitCode));
    return false;
  }
  return true;
}

bool SystemProxy::PutBack(const Judgement& judgement) {
  const ProxySnapshot* saved = judgement.hasSaved ? &judgement.saved : nullptr;
  const bool plainOurs = judgement.plain == Holds::kOurs;
  DWORD refusal = ERROR_SUCCESS;
  std::vector<const Connection*> refused;
  bool anyWritten = false;
  for (size_t i = 0; i < judgement.now.connections.size(); ++i) {
    if (judgement.connections[i] != Holds::kOurs) continue;
    const Connection& connection = judgement.now.connections[i];
    const Connection* before =
        saved != nullptr ? Find(saved->connections, connection.name) : nullptr;
    DWORD error = before != nullptr
                      ? WriteConnection(connection.name, before->settings, true)
                      : WriteConnection(connection.name, DirectConnectionSettings(), false);
    // A profile that had no value of its own gets none again, so that WinHTTP goes back to
    // detecting the proxy as it did.
    if (error == ERROR_SUCCESS && before != nullptr && !before->stored) {
      error = DeleteStoredConnection(connection.name);
    }
    anyWritten = anyWritten || error == ERROR_SUCCESS;
    if (error == ERROR_SUCCESS) continue;
    if (before == nullptr) {
      log_("WARNING: Cannot turn the proxy off for " + ConnectionLabel(connection.name) +
           ". Error code: " + std::to_string(error));
      continue;
    }
    if (refusal == ERROR_SUCCESS) refusal = error;
    refused.push_back(&connection);
  }
  // Then the plain values byte for byte, which WinINet cannot give back (an absent value, a
  // value's type), and which its writes of the LAN settings overwrite: the saved ones where they
  // were ours, else what someone else made of them, which stands.
  const auto writePlainValues = [&]() -> DWORD {
    if (plainOurs && saved != nullptr) return WriteProxySettings(saved->plain);
    if (!plainOurs && anyWritten) WriteProxySettings(judgement.now.plain);
    return ERROR_SUCCESS;
  };
  const DWORD plainError = writePlainValues();
  if (refusal == ERROR_SUCCESS) refusal = plainError;
  // Our own leftover, with nothing saved: the clear command has the last word on the plain
  // values, as WinINet's writes of the connections overwrite them. Its outcome is the result,
  // but the connections are turned off whatever it is, as pointing them at a core that is
  // about to end would leave WinHTTP's programs without one.
  if (plainOurs && saved == nullptr && !RunClearCommand()) return false;
  if (refusal == ERROR_SUCCESS) {
    TellRunningPrograms();
    ForgetProxySet();
    restorePending_ = false;
    log_(saved != nullptr ? "Restored the proxy settings from before the connection"
                          : "System proxy cleared successfully");
    return true;
  }

  // The core is about to end: pointing at it would leave the user without a connection. Turning
  // the proxy off is the way out that is left; the saved settings stay until they are back.
  log_("ERROR: Failed to restore the proxy settings from before the connection. Error code: " +
       std::to_string(refusal));
  restorePending_ = true;
  bool turnedOff = true;
  for (const Connection* connection : refused) {
    const DWORD error = WriteConnection(connection->name, DirectConnectionSettings(), false);
    anyWritten = anyWritten || error == ERROR_SUCCESS;
    if (error != ERROR_SUCCESS) {
      log_("WARNING: Cannot turn the proxy off for " + ConnectionLabel(connection->name) +
           ". Error code: " + std::to_string(error));
      turnedOff = false;
    }
  }
  if (plainError != ERROR_SUCCESS) {
    turnedOff = RunClearCommand() && turnedOff;
  } else {
    writePlainValues();
  }
  if (!turnedOff) return false;
  Record(ProxyRecordState::kCleared);
  TellRunningPrograms();
  log_("System proxy cleared successfully");
  return true;
}

bool SystemProxy::Clear() {
  log_("Clearing system proxy");
  // What follows is our own doing, never another program's change.
  changeWatch_.Stop();
  // A set still running could otherwise land over what is put back, or make ours again what
  // is judged not ours below.
  commands_.EndPending();
  Judgement judgement;
  const DWORD readError = Judge(judgement);
  if (readError != ERROR_SUCCESS) {
    log_("ERROR: Cannot read the proxy settings. Error code: " + std::to_string(readError));
    return false;
  }
  if (!judgement.AnyOurs()) {
    // The user's or another program's choice, made before or during the connection: it stands.
    ForgetProxySet();
    restorePending_ = false;
    log_("System proxy not set by Orvanta; left unchanged");
    return true;
  }
  return PutBack(judgement);
}

void SystemProxy::ClearLeftByEarlierRun() {
  if (ProxyRecordPath().empty()) return;
  if (ReadProxyRecord() == ProxyRecordState::kNone) {
    // Saved by a set that never started: nothing of it reached the registry.
    DeleteFileW(SavedProxySettingsPath().c_str());
    return;
  }
  Judgement judgement;
  if (Judge(judgement) != ERROR_SUCCESS || !judgement.AnyOurs()) {
    ForgetProxySet();
    return;
  }
  if (Clear()) {
    log_("Cleared the system proxy that an earlier run left set");
  } else {
    log_("WARNING: Cannot clear the system proxy that an earlier run left set");
  }
}
