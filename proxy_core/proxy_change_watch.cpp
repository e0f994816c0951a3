#include "proxy_core/proxy_change_watch.h"

#include <windows.h>

#include <string>
#include <utility>

#include "proxy_core/connection_settings.h"
#include "proxy_core/proxy_settings.h"
#include "support/wide_text.h"

namespace {

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

void ProxyChangeWatch::Start(bool lanIsOurs) {
  lanIsOurs_ = lanIsOurs;
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

void ProxyChangeWatch::Check() {
  // The LAN's settings first, when the set made them ours: they are what WinHTTP and Windows
  // follow, and the plain values are only their shadow there (a script chosen on the settings
  // page shows in them as the proxy turned off).
  std::wstring inEffect;
  bool ours = true;
  if (lanIsOurs_) {
    ConnectionSettings lan;
    if (ReadConnection(std::wstring(), lan) == ERROR_SUCCESS && !IsOurConnection(lan, address_)) {
      ours = false;
      inEffect = DescribeConnection(lan);
    }
  }
  if (ours) {
    ProxySettings current;
    if (ReadProxySettings(current) != ERROR_SUCCESS) return;
    if (!IsOurProxy(current, address_)) {
      ours = false;
      inEffect = IsProxyEnabled(current) ? ProxyServerText(current) : std::wstring();
    }
  }
  if (ours) {
    reported_ = false;
    return;
  }
  if (reported_) return;
  reported_ = true;
  if (!inEffect.empty()) {
    log_("WARNING: Another program changed the system proxy to " + orvanta::Utf8FromWide(inEffect) +
         "; traffic may bypass sing-box");
  } else {
    log_("WARNING: Another program turned the system proxy off; traffic may bypass sing-box");
  }
}
