#include "proxy_core/proxy_settings.h"

#include <wininet.h>

#include <cstring>

#include "support/registry_key.h"
#include "support/system_dll.h"

namespace {

using orvanta::RegistryKey;

constexpr wchar_t kInternetSettingsKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
constexpr wchar_t kBypassList[] = L"<-loopback>";
constexpr wchar_t kPolicyKey[] =
    L"SOFTWARE\\Policies\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

DWORD ReadValue(HKEY key, const wchar_t* name, RegistryValue& value) {
  value = RegistryValue();
  for (;;) {
    DWORD size = static_cast<DWORD>(value.data.size());
    const LSTATUS status = RegQueryValueExW(
        key, name, nullptr, &value.type, value.data.empty() ? nullptr : value.data.data(), &size);
    if (status == ERROR_FILE_NOT_FOUND) {
      value = RegistryValue();
      return ERROR_SUCCESS;
    }
    // The value may grow between the size query and the read; ask again.
    if (status == ERROR_MORE_DATA || (status == ERROR_SUCCESS && value.data.size() < size)) {
      value.data.resize(size);
      continue;
    }
    if (status != ERROR_SUCCESS) return static_cast<DWORD>(status);
    value.data.resize(size);
    value.present = true;
    return ERROR_SUCCESS;
  }
}

// The text a string value holds, up to its first NUL; empty for other types.
std::wstring Text(const RegistryValue& value) {
  if (!value.present || (value.type != REG_SZ && value.type != REG_EXPAND_SZ)) {
    return std::wstring();
  }
  std::wstring text(value.data.size() / sizeof(wchar_t), L'\0');
  std::memcpy(&text[0], value.data.data(), text.size() * sizeof(wchar_t));
  return text.substr(0, text.find(L'\0'));
}

bool IsText(const RegistryValue& value, const std::wstring& expected) {
  return value.present && (value.type == REG_SZ || value.type == REG_EXPAND_SZ) &&
         Text(value) == expected;
}

bool IsEnabled(const RegistryValue& value) {
  if (value.present && value.type == REG_DWORD && value.data.size() == sizeof(DWORD)) {
    DWORD enable = 0;
    std::memcpy(&enable, value.data.data(), sizeof(enable));
    return enable == 1;
  }
  return IsText(value, L"1");
}

DWORD WriteValue(HKEY key, const wchar_t* name, const RegistryValue& value) {
  LSTATUS status = ERROR_SUCCESS;
  if (value.present) {
    status = RegSetValueExW(key, name, 0, value.type, value.data.data(),
                            static_cast<DWORD>(value.data.size()));
  } else {
    status = RegDeleteValueW(key, name);
    if (status == ERROR_FILE_NOT_FOUND) status = ERROR_SUCCESS;
  }
  return static_cast<DWORD>(status);
}

DWORD OpenForWriting(RegistryKey& key) {
  return static_cast<DWORD>(RegCreateKeyExW(HKEY_CURRENT_USER, kInternetSettingsKey, 0, nullptr, 0,
                                            KEY_SET_VALUE | KEY_QUERY_VALUE, nullptr, key.Receive(),
                                            nullptr));
}

}  // namespace

const ProxyValueName kProxyValueNames[3] = {
    {L"ProxyEnable", &ProxySettings::enable},
    {L"ProxyServer", &ProxySettings::server},
    {L"ProxyOverride", &ProxySettings::bypass},
};

DWORD ReadProxySettings(ProxySettings& settings) {
  settings = ProxySettings();
  RegistryKey key;
  const LSTATUS opened =
      RegOpenKeyExW(HKEY_CURRENT_USER, kInternetSettingsKey, 0, KEY_QUERY_VALUE, key.Receive());
  if (opened == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
  if (opened != ERROR_SUCCESS) return static_cast<DWORD>(opened);
  for (const ProxyValueName& value : kProxyValueNames) {
    const DWORD error = ReadValue(key.Get(), value.name, settings.*value.field);
    if (error != ERROR_SUCCESS) return error;
  }
  return ERROR_SUCCESS;
}

DWORD WriteProxySettings(const ProxySettings& settings) {
  RegistryKey key;
  if (const DWORD opened = OpenForWriting(key)) return opened;
  for (const ProxyValueName& named : kProxyValueNames) {
    if (const DWORD error = WriteValue(key.Get(), named.name, settings.*named.field)) return error;
  }
  return ERROR_SUCCESS;
}

DWORD WriteProxyEnable(const RegistryValue& value) {
  RegistryKey key;
  if (const DWORD opened = OpenForWriting(key)) return opened;
  return WriteValue(key.Get(), kProxyValueNames[0].name, value);
}

RegistryValue DwordValue(DWORD number) {
  RegistryValue value;
  value.present = true;
  value.type = REG_DWORD;
  value.data.resize(sizeof(number));
  std::memcpy(value.data.data(), &number, sizeof(number));
  return value;
}

bool IsProxyEnabled(const ProxySettings& settings) { return IsEnabled(settings.enable); }

std::wstring ProxyServerText(const ProxySettings& settings) { return Text(settings.server); }

DWORD ArmProxySettingsChangeNotice(RegistryKey& key, HANDLE event) {
  if (!key) {
    const LSTATUS opened =
        RegOpenKeyExW(HKEY_CURRENT_USER, kInternetSettingsKey, 0, KEY_NOTIFY, key.Receive());
    if (opened != ERROR_SUCCESS) return static_cast<DWORD>(opened);
  }
  // The subtree: WinINet keeps each connection's settings in the Connections key, and the
  // settings page and other programs change them there. (The zones below change now and then
  // too; such a notice costs one read.) Names too, as a connection's value can be created or
  // deleted. The notice ends with the thread that asked for it; the UI thread lives as long as
  // the process.
  return static_cast<DWORD>(RegNotifyChangeKeyValue(
      key.Get(), TRUE, REG_NOTIFY_CHANGE_LAST_SET | REG_NOTIFY_CHANGE_NAME, event, TRUE));
}

bool IsOurProxyValue(RegistryValue ProxySettings::*field, const RegistryValue& value,
                     const std::wstring& address) {
  if (field == &ProxySettings::enable) return IsEnabled(value);
  return IsText(value, field == &ProxySettings::server ? address : std::wstring(kBypassList));
}

bool IsClearedProxyValue(RegistryValue ProxySettings::*field, const RegistryValue& value) {
  if (field == &ProxySettings::enable) return !IsEnabled(value);
  return IsText(value, std::wstring());
}

bool IsOurProxy(const ProxySettings& settings, const std::wstring& address) {
  for (const ProxyValueName& named : kProxyValueNames) {
    if (!IsOurProxyValue(named.field, settings.*named.field, address)) return false;
  }
  return true;
}

bool ProxyIsSetPerMachineByPolicy() {
  DWORD perUser = 1;
  DWORD size = sizeof(perUser);
  // Missing (the usual case) means per user.
  return RegGetValueW(HKEY_LOCAL_MACHINE, kPolicyKey, L"ProxySettingsPerUser", RRF_RT_REG_DWORD,
                      nullptr, &perUser, &size) == ERROR_SUCCESS &&
         perUser == 0;
}

DWORD NotifyProxySettingsChanged() {
  auto* setOption =
      orvanta::SystemDll::Wininet().Find<decltype(::InternetSetOptionW)>("InternetSetOptionW");
  if (setOption == nullptr) return GetLastError();
  // Both are sent even when the first is refused: the refresh alone still reaches some.
  DWORD error = ERROR_SUCCESS;
  if (!setOption(nullptr, INTERNET_OPTION_SETTINGS_CHANGED, nullptr, 0)) {
    error = GetLastError();
  }
  if (!setOption(nullptr, INTERNET_OPTION_REFRESH, nullptr, 0) && error == ERROR_SUCCESS) {
    error = GetLastError();
  }
  return error;
}
