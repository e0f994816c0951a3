// Stand-in for wininet.dll, for tests: records every InternetSetOptionW call, so a test can see
// what the host told running programs and what it set, with which arguments and in which
// order, and keeps each connection's proxy settings the way Windows does, so a test can see
// each connection get ours and then its own settings back.
//
// Each InternetSetOptionW call appends one line "InternetSetOptionW <handle> <option> <buffer>
// <length>" (the handle and buffer as 0 or 1 for null or not, the option and length in decimal)
// to the file named by ORVANTA_STANDIN_WININET_LOG, read at every call; without it nothing is
// recorded. A per-connection set (INTERNET_OPTION_PER_CONNECTION_OPTION) adds, on the same
// line, " connection=<name in UTF-8, or LAN>" and " <option>=<value>" for each option given,
// flags in decimal and texts as UTF-8 (empty for none).
//
// Connections: the settings set for a connection are kept in the registry where Windows keeps
// them, HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings\Connections, one value
// per connection (DefaultConnectionSettings for the LAN, the entry's name for an entry), as a
// text "flags<US>server<US>bypass<US>url" (US = 0x1F) instead of Windows' binary form, and
// reported by InternetQueryOptionW, INTERNET_PER_CONN_FLAGS_UI included. A set of the LAN also
// writes the three plain values as Windows keeps them in step (ProxyEnable a DWORD, ProxyServer,
// ProxyOverride). The LAN settings, until one is set, follow the plain values and AutoConfigURL, as
// on a profile that never had any; an entry with none set is direct.
//
// Switches, read at every call:
//   ORVANTA_STANDIN_WININET_FAIL=1          every call fails with ERROR_INTERNET_INTERNAL_ERROR
//                                           (12004), as a system whose WinINet refuses would
//   ORVANTA_STANDIN_WININET_FAIL_NOTICES=1  the two notices (INTERNET_OPTION_SETTINGS_CHANGED and
//                                           INTERNET_OPTION_REFRESH) fail the same way
//   ORVANTA_STANDIN_WININET_FAIL_SET=<name> a per-connection set of that connection (LAN for
//                                           the LAN) fails the same way, unless it makes the
//                                           connection direct (PROXY_TYPE_DIRECT alone)
//   ORVANTA_STANDIN_WININET_REACT=<option>:<server>
//                                           after a call with that option (39, the notice, or
//                                           75, a per-connection set) ProxyServer is written
//                                           as <server>, as a program reacting to it would;
//                                           with <server> "script=<url>", the LAN is set to
//                                           that configuration script instead, as the
//                                           settings page would
#include <windows.h>
// This library is WinINet: the functions its header declares are defined here, not imported.
#undef DECLSPEC_IMPORT
#define DECLSPEC_IMPORT
#include <wininet.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

namespace {

constexpr DWORD kInternalError = 12004;
constexpr DWORD kPerConnFlagsUi = 10;
// Where Windows keeps them, under the names it uses, so that their presence means what it means
// there (a profile that never had one has none) and a watch of the Internet Settings tree sees
// a change of them. The stand-in's own text form stands in for Windows' binary one.
constexpr wchar_t kStoreKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";

const wchar_t* StoredName(const std::wstring& connection) {
  return connection.empty() ? L"DefaultConnectionSettings" : connection.c_str();
}
constexpr wchar_t kInternetSettings[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
constexpr wchar_t kSeparator = L'\x1F';

struct Settings {
  DWORD flags = PROXY_TYPE_DIRECT;
  std::wstring server;
  std::wstring bypass;
  std::wstring url;
};

bool Environment(const wchar_t* name, std::wstring& value) {
  wchar_t buffer[MAX_PATH];
  const DWORD length = GetEnvironmentVariableW(name, buffer, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return false;
  value.assign(buffer, length);
  return true;
}

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], size,
                      nullptr, nullptr);
  return out;
}

void Append(const std::string& line) {
  std::wstring path;
  if (!Environment(L"ORVANTA_STANDIN_WININET_LOG", path)) return;
  if (FILE* log = _wfopen(path.c_str(), L"ab")) {
    std::fputs((line + "\n").c_str(), log);
    std::fclose(log);
  }
}

std::wstring ReadText(HKEY key, const wchar_t* name) {
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ) || size < sizeof(wchar_t)) {
    return std::wstring();
  }
  std::wstring text(size / sizeof(wchar_t), L'\0');
  RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&text[0]), &size);
  return text.substr(0, text.find(L'\0'));
}

// The LAN settings of a profile that never had any: what the plain values say.
Settings FromPlainValues() {
  Settings settings;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kInternetSettings, 0, KEY_QUERY_VALUE, &key) !=
      ERROR_SUCCESS) {
    return settings;
  }
  DWORD enable = 0;
  DWORD size = sizeof(enable);
  DWORD type = 0;
  if (RegQueryValueExW(key, L"ProxyEnable", nullptr, &type, reinterpret_cast<BYTE*>(&enable),
                       &size) == ERROR_SUCCESS &&
      type == REG_DWORD && enable == 1) {
    settings.flags |= PROXY_TYPE_PROXY;
  }
  settings.server = ReadText(key, L"ProxyServer");
  settings.bypass = ReadText(key, L"ProxyOverride");
  settings.url = ReadText(key, L"AutoConfigURL");
  if (!settings.url.empty()) settings.flags |= PROXY_TYPE_AUTO_PROXY_URL;
  RegCloseKey(key);
  return settings;
}

Settings Load(const std::wstring& connection) {
  HKEY key = nullptr;
  std::wstring stored;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kStoreKey, 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
    stored = ReadText(key, StoredName(connection));
    RegCloseKey(key);
  }
  if (stored.empty()) return connection.empty() ? FromPlainValues() : Settings();
  Settings settings;
  std::vector<std::wstring> fields(1);
  for (wchar_t c : stored) {
    if (c == kSeparator) {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  fields.resize(4);
  settings.flags = static_cast<DWORD>(std::wcstoul(fields[0].c_str(), nullptr, 10));
  settings.server = fields[1];
  settings.bypass = fields[2];
  settings.url = fields[3];
  return settings;
}

void WriteText(HKEY key, const wchar_t* name, const std::wstring& text) {
  RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                 static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

void Store(const std::wstring& connection, const Settings& settings, bool urlGiven) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kStoreKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                      nullptr) == ERROR_SUCCESS) {
    WriteText(key, StoredName(connection),
              std::to_wstring(settings.flags) + kSeparator + settings.server + kSeparator +
                  settings.bypass + kSeparator + settings.url);
    RegCloseKey(key);
  }
  if (!connection.empty()) return;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kInternetSettings, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                      &key, nullptr) != ERROR_SUCCESS) {
    return;
  }
  const DWORD enable = (settings.flags & PROXY_TYPE_PROXY) != 0 ? 1 : 0;
  RegSetValueExW(key, L"ProxyEnable", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&enable),
                 sizeof(enable));
  WriteText(key, L"ProxyServer", settings.server);
  WriteText(key, L"ProxyOverride", settings.bypass);
  if (urlGiven) {
    if (settings.url.empty()) {
      RegDeleteValueW(key, L"AutoConfigURL");
    } else {
      WriteText(key, L"AutoConfigURL", settings.url);
    }
  }
  RegCloseKey(key);
}

std::wstring Name(const INTERNET_PER_CONN_OPTION_LISTW* list) {
  return list->pszConnection == nullptr ? std::wstring() : std::wstring(list->pszConnection);
}

BOOL Fail() {
  SetLastError(kInternalError);
  return FALSE;
}

bool Failing() {
  std::wstring fail;
  return Environment(L"ORVANTA_STANDIN_WININET_FAIL", fail);
}

void ReactTo(DWORD option) {
  std::wstring react;
  if (!Environment(L"ORVANTA_STANDIN_WININET_REACT", react)) return;
  const size_t colon = react.find(L':');
  if (colon == std::wstring::npos ||
      std::wcstoul(react.substr(0, colon).c_str(), nullptr, 10) != option) {
    return;
  }
  const std::wstring server = react.substr(colon + 1);
  const std::wstring scriptPrefix = L"script=";
  if (server.rfind(scriptPrefix, 0) == 0) {
    Settings script;
    script.flags = PROXY_TYPE_DIRECT | PROXY_TYPE_AUTO_PROXY_URL;
    script.url = server.substr(scriptPrefix.size());
    Store(std::wstring(), script, true);
    return;
  }
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kInternetSettings, 0, KEY_SET_VALUE, &key) ==
      ERROR_SUCCESS) {
    WriteText(key, L"ProxyServer", server);
    RegCloseKey(key);
  }
}

BOOL SetPerConnection(const INTERNET_PER_CONN_OPTION_LISTW* list, std::string& line) {
  const std::wstring connection = Name(list);
  line += " connection=" + (connection.empty() ? std::string("LAN") : Utf8(connection));
  Settings settings = Load(connection);
  bool urlGiven = false;
  for (DWORD i = 0; i < list->dwOptionCount; ++i) {
    const INTERNET_PER_CONN_OPTIONW& option = list->pOptions[i];
    const wchar_t* text = option.Value.pszValue;
    const std::wstring value = option.dwOption == INTERNET_PER_CONN_FLAGS || text == nullptr
                                   ? std::wstring()
                                   : std::wstring(text);
    switch (option.dwOption) {
      case INTERNET_PER_CONN_FLAGS:
        settings.flags = option.Value.dwValue;
        line += " flags=" + std::to_string(settings.flags);
        break;
      case INTERNET_PER_CONN_PROXY_SERVER:
        settings.server = value;
        line += " server=" + Utf8(value);
        break;
      case INTERNET_PER_CONN_PROXY_BYPASS:
        settings.bypass = value;
        line += " bypass=" + Utf8(value);
        break;
      case INTERNET_PER_CONN_AUTOCONFIG_URL:
        settings.url = value;
        urlGiven = true;
        line += " url=" + Utf8(value);
        break;
      default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
  }
  std::wstring refused;
  if (Environment(L"ORVANTA_STANDIN_WININET_FAIL_SET", refused) &&
      refused == (connection.empty() ? std::wstring(L"LAN") : connection) &&
      settings.flags != PROXY_TYPE_DIRECT) {
    return Fail();
  }
  Store(connection, settings, urlGiven);
  return TRUE;
}

wchar_t* Allocated(const std::wstring& text) {
  if (text.empty()) return nullptr;
  auto* copy = static_cast<wchar_t*>(GlobalAlloc(GMEM_FIXED, (text.size() + 1) * sizeof(wchar_t)));
  if (copy != nullptr) std::wmemcpy(copy, text.c_str(), text.size() + 1);
  return copy;
}

}  // namespace

BOOL WINAPI InternetSetOptionW(HINTERNET handle, DWORD option, LPVOID buffer, DWORD length) {
  std::string line = "InternetSetOptionW " + std::to_string(handle != nullptr ? 1 : 0) + " " +
                     std::to_string(option) + " " + std::to_string(buffer != nullptr ? 1 : 0) +
                     " " + std::to_string(length);
  BOOL result = TRUE;
  if (option == INTERNET_OPTION_PER_CONNECTION_OPTION && buffer != nullptr && !Failing()) {
    result = SetPerConnection(static_cast<const INTERNET_PER_CONN_OPTION_LISTW*>(buffer), line);
  }
  // Recording must not change the caller's last error.
  const DWORD error = GetLastError();
  Append(line);
  std::wstring noticesFail;
  if (Failing() ||
      ((option == INTERNET_OPTION_SETTINGS_CHANGED || option == INTERNET_OPTION_REFRESH) &&
       Environment(L"ORVANTA_STANDIN_WININET_FAIL_NOTICES", noticesFail))) {
    return Fail();
  }
  if (!result) {
    SetLastError(error);
    return FALSE;
  }
  ReactTo(option);
  return TRUE;
}

BOOL WINAPI InternetQueryOptionW(HINTERNET handle, DWORD option, LPVOID buffer, LPDWORD length) {
  if (Failing()) return Fail();
  if (handle != nullptr || option != INTERNET_OPTION_PER_CONNECTION_OPTION || buffer == nullptr ||
      length == nullptr || *length < sizeof(INTERNET_PER_CONN_OPTION_LISTW)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  auto* list = static_cast<INTERNET_PER_CONN_OPTION_LISTW*>(buffer);
  const Settings settings = Load(Name(list));
  for (DWORD i = 0; i < list->dwOptionCount; ++i) {
    INTERNET_PER_CONN_OPTIONW& option_ = list->pOptions[i];
    switch (option_.dwOption) {
      case INTERNET_PER_CONN_FLAGS:
      case kPerConnFlagsUi:
        option_.Value.dwValue = settings.flags;
        break;
      case INTERNET_PER_CONN_PROXY_SERVER:
        option_.Value.pszValue = Allocated(settings.server);
        break;
      case INTERNET_PER_CONN_PROXY_BYPASS:
        option_.Value.pszValue = Allocated(settings.bypass);
        break;
      case INTERNET_PER_CONN_AUTOCONFIG_URL:
        option_.Value.pszValue = Allocated(settings.url);
        break;
      default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
  }
  return TRUE;
}
