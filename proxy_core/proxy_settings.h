// The per-user proxy values (HKCU\Software\Microsoft\Windows\CurrentVersion\Internet
// Settings) as they are: type and bytes of ProxyEnable, ProxyServer and ProxyOverride, or their
// absence. Read before this program changes them and written back exactly afterwards, so a
// user's own set-up (a company proxy, its bypass list) survives a connection.
//
// Nothing here throws; failures are Windows error codes.
#ifndef ORVANTA_PROXY_CORE_PROXY_SETTINGS_H_
#define ORVANTA_PROXY_CORE_PROXY_SETTINGS_H_

#include <windows.h>

#include <string>
#include <vector>

#include "support/registry_key.h"

struct RegistryValue {
  bool present = false;
  DWORD type = REG_NONE;
  std::vector<BYTE> data;  // as stored, a text's terminating NUL included

  bool operator==(const RegistryValue& other) const {
    return present == other.present && type == other.type && data == other.data;
  }
};

struct ProxySettings {
  RegistryValue enable;  // ProxyEnable
  RegistryValue server;  // ProxyServer
  RegistryValue bypass;  // ProxyOverride

  bool operator==(const ProxySettings& other) const {
    return enable == other.enable && server == other.server && bypass == other.bypass;
  }
};

// The three values by their registry names, in the order they are read, written and saved.
struct ProxyValueName {
  const wchar_t* name;
  RegistryValue ProxySettings::*field;
};
extern const ProxyValueName kProxyValueNames[3];

// The three values now. ERROR_SUCCESS also when the key or a value is missing (it reads as
// absent).
DWORD ReadProxySettings(ProxySettings& settings);

// Puts the three values back exactly: a value absent in `settings` is deleted.
DWORD WriteProxySettings(const ProxySettings& settings);
// ProxyEnable alone, as WriteProxySettings writes it.
DWORD WriteProxyEnable(const RegistryValue& value);
RegistryValue DwordValue(DWORD number);

// Whether ProxyEnable turns the proxy on, and the text of ProxyServer (empty when it is not
// text), as the values are judged by IsOurProxy.
bool IsProxyEnabled(const ProxySettings& settings);
std::wstring ProxyServerText(const ProxySettings& settings);

// Sets `event` at the next change of a value of the Internet Settings key or of a key below it
// (the per-connection settings live in its Connections key), which `key` keeps open (opened by
// the first call, for notification only). Each notice is armed once: arm again after it fired.
// It also fires when the key is closed. ERROR_SUCCESS or why not.
DWORD ArmProxySettingsChangeNotice(orvanta::RegistryKey& key, HANDLE event);

// True when the values are what this program's set writes: ProxyEnable 1 (a DWORD, or the
// text "1", which PowerShell writes when it has to create the value), ProxyServer `address`
// and ProxyOverride "<-loopback>".
bool IsOurProxy(const ProxySettings& settings, const std::wstring& address);
// The same for the one value `field`.
bool IsOurProxyValue(RegistryValue ProxySettings::*field, const RegistryValue& value,
                     const std::wstring& address);
// True when the value `field` is what the clear command writes: ProxyEnable not on, ProxyServer
// and ProxyOverride an empty text.
bool IsClearedProxyValue(RegistryValue ProxySettings::*field, const RegistryValue& value);

// True when a policy makes Windows use the machine's proxy settings only, so that the per-user
// ones have no effect: ProxySettingsPerUser 0 under
// HKLM\SOFTWARE\Policies\Microsoft\Windows\CurrentVersion\Internet Settings.
bool ProxyIsSetPerMachineByPolicy();

// Tells running programs that read the proxy through WinINet (and cache it) to read it again.
// ERROR_SUCCESS when the system took both notices; the load error when the system folder's
// WinINet cannot be had.
DWORD NotifyProxySettingsChanged();

#endif  // ORVANTA_PROXY_CORE_PROXY_SETTINGS_H_
