#include "proxy_core/proxy_change_watch.h"

#include <windows.h>

#include <algorithm>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "proxy_core/connection_settings.h"
#include "proxy_core/proxy_settings.h"
#include "support/wide_text.h"

namespace {

// The warning that `what` now holds `inEffect` (empty: nothing, the proxy turned off), so that
// `traffic` may bypass the core.
std::string Warning(const std::string& what, const std::wstring& inEffect, const char* traffic) {
  const std::string change = inEffect.empty()
                                 ? "turned " + what + " off"
                                 : "changed " + what + " to " + orvanta::Utf8FromWide(inEffect);
  return "WARNING: Another program " + change + "; " + traffic + " may bypass sing-box";
}

void WarnUnnoticed(const ServiceLog& log, DWORD error) {
  log("WARNING: A change of the system proxy by another program will not be noticed. Error "
      "code: " +
      std::to_string(error));
}

}  // namespace

ProxyChangeWatch::ProxyChangeWatch(ServiceLog log, const std::string& address)
    : log_(std::move(log)),
      address_(orvanta::WideFromUtf8(address)),
      wait_([this] { OnChanged(); }) {}

void ProxyChangeWatch::Start(std::vector<std::wstring> connections) {
  connections_ = std::move(connections);
  reported_ = false;
  if (!event_) event_.Reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  if (!event_) {
    WarnUnnoticed(log_, GetLastError());
    return;
  }
  // A notice left from an earlier watch (closing its key sets the event) is not a change.
  ResetEvent(event_.Get());
  if (Arm()) Check();
}

bool ProxyChangeWatch::Arm() {
  DWORD error = ArmProxySettingsChangeNotice(key_, event_.Get());
  if (error == ERROR_SUCCESS) error = wait_.Watch(event_.Get());
  if (error == ERROR_SUCCESS) return true;
  WarnUnnoticed(log_, error);
  Stop();
  return false;
}

void ProxyChangeWatch::Stop() {
  // The wait first: closing the key sets the event.
  wait_.Cancel();
  key_.Reset();
}

void ProxyChangeWatch::OnChanged() {
  // Armed again before the values are read, so a change made meanwhile fires once more.
  if (Arm()) Check();
}

std::optional<std::string> ProxyChangeWatch::Departure() const {
  // The LAN's settings first: they are what WinHTTP and Windows follow, and the plain values are
  // only their shadow there (a script chosen on the settings page shows in them as "off").
  const bool lanIsOurs =
      std::find(connections_.begin(), connections_.end(), std::wstring()) != connections_.end();
  ConnectionSettings settings;
  if (lanIsOurs && ReadConnection(std::wstring(), settings) == ERROR_SUCCESS &&
      !IsOurConnection(settings, address_)) {
    return Warning("the system proxy", DescribeConnection(settings), "traffic");
  }
  ProxySettings plain;
  if (ReadProxySettings(plain) != ERROR_SUCCESS) return std::nullopt;
  if (!IsOurProxy(plain, address_)) {
    return Warning("the system proxy", IsProxyEnabled(plain) ? ProxyServerText(plain) : L"",
                   "traffic");
  }
  for (const std::wstring& name : connections_) {
    if (!name.empty() && ReadConnection(name, settings) == ERROR_SUCCESS &&
        !IsOurConnection(settings, address_)) {
      return Warning("the proxy of " + ConnectionLabel(name), DescribeConnection(settings),
                     "traffic over it");
    }
  }
  return std::string();
}

void ProxyChangeWatch::Check() {
  const std::optional<std::string> departure = Departure();
  if (!departure) return;
  if (departure->empty()) {
    reported_ = false;
    return;
  }
  if (reported_) return;
  reported_ = true;
  log_(*departure);
}
