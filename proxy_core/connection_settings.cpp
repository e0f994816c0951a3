#include "proxy_core/connection_settings.h"

#include <wininet.h>
#include <ras.h>
#include <raserror.h>

#include <cstring>

#include "proxy_core/hex_bytes.h"
#include "support/system_dll.h"
#include "support/wide_text.h"

namespace {

constexpr wchar_t kBypassList[] = L"<-loopback>";
// Windows 7 and later: the flags as the user chose them. WinINet drops PROXY_TYPE_AUTO_DETECT
// from INTERNET_PER_CONN_FLAGS once detection has found nothing, and writing that back would
// turn detection off for good.
constexpr DWORD kPerConnFlagsUi = 10;
constexpr DWORD kProxyKinds = PROXY_TYPE_PROXY | PROXY_TYPE_AUTO_PROXY_URL | PROXY_TYPE_AUTO_DETECT;
// Entries come and go while they are listed; a list that keeps growing is taken as it is.
constexpr int kListAttempts = 3;
constexpr char kConnectionTag[] = "Connection";
constexpr wchar_t kConnectionsKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";

const wchar_t* StoredValueName(const std::wstring& name) {
  return name.empty() ? L"DefaultConnectionSettings" : name.c_str();
}

// Null for the LAN settings, as WinINet takes them.
wchar_t* ConnectionName(const std::wstring& name) {
  return name.empty() ? nullptr : const_cast<wchar_t*>(name.c_str());
}

// Takes over a text WinINet allocated for the caller.
std::wstring TakeText(wchar_t* text) {
  if (text == nullptr) return std::wstring();
  std::wstring taken(text);
  ::GlobalFree(text);
  return taken;
}

DWORD Query(const std::wstring& name, DWORD flagsOption, ConnectionSettings& settings) {
  auto* query =
      orvanta::SystemDll::Wininet().Find<decltype(::InternetQueryOptionW)>("InternetQueryOptionW");
  if (query == nullptr) return ::GetLastError();
  INTERNET_PER_CONN_OPTIONW options[4] = {};
  options[0].dwOption = flagsOption;
  options[1].dwOption = INTERNET_PER_CONN_PROXY_SERVER;
  options[2].dwOption = INTERNET_PER_CONN_PROXY_BYPASS;
  options[3].dwOption = INTERNET_PER_CONN_AUTOCONFIG_URL;
  INTERNET_PER_CONN_OPTION_LISTW list = {};
  list.dwSize = sizeof(list);
  list.pszConnection = ConnectionName(name);
  list.dwOptionCount = 4;
  list.pOptions = options;
  DWORD size = sizeof(list);
  const BOOL queried = query(nullptr, INTERNET_OPTION_PER_CONNECTION_OPTION, &list, &size);
  const DWORD error = queried ? ERROR_SUCCESS : ::GetLastError();
  // Also after a failure: an option it did answer before refusing one has its text allocated.
  ConnectionSettings read;
  read.flags = options[0].Value.dwValue;
  read.server = TakeText(options[1].Value.pszValue);
  read.bypass = TakeText(options[2].Value.pszValue);
  read.autoConfigUrl = TakeText(options[3].Value.pszValue);
  if (error != ERROR_SUCCESS) return error;
  settings = read;
  return ERROR_SUCCESS;
}

}  // namespace

std::vector<std::wstring> ListConnections(DWORD& error) {
  std::vector<std::wstring> names{std::wstring()};
  error = ERROR_SUCCESS;
  auto* enumEntries =
      orvanta::SystemDll::Rasapi32().Find<decltype(::RasEnumEntriesW)>("RasEnumEntriesW");
  if (enumEntries == nullptr) {
    error = ::GetLastError();
    return names;
  }
  std::vector<RASENTRYNAMEW> entries(1);
  DWORD count = 0;
  DWORD status = ERROR_BUFFER_TOO_SMALL;
  for (int attempt = 0; attempt < kListAttempts && status == ERROR_BUFFER_TOO_SMALL; ++attempt) {
    for (RASENTRYNAMEW& entry : entries) entry.dwSize = sizeof(RASENTRYNAMEW);
    DWORD bytes = static_cast<DWORD>(entries.size() * sizeof(RASENTRYNAMEW));
    count = 0;
    status = enumEntries(nullptr, nullptr, entries.data(), &bytes, &count);
    if (status == ERROR_BUFFER_TOO_SMALL) {
      entries.resize(bytes / sizeof(RASENTRYNAMEW) + 1);
    }
  }
  if (status != ERROR_SUCCESS) {
    error = status;
    return names;
  }
  for (DWORD i = 0; i < count && i < entries.size(); ++i) {
    const wchar_t* entry = entries[i].szEntryName;
    const size_t length = wcsnlen(entry, RAS_MaxEntryName + 1);
    if (length > 0) names.emplace_back(entry, length);
  }
  return names;
}

bool HasStoredConnection(const std::wstring& name) {
  return RegGetValueW(HKEY_CURRENT_USER, kConnectionsKey, StoredValueName(name), RRF_RT_ANY,
                      nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

DWORD DeleteStoredConnection(const std::wstring& name) {
  const LSTATUS status =
      RegDeleteKeyValueW(HKEY_CURRENT_USER, kConnectionsKey, StoredValueName(name));
  return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : static_cast<DWORD>(status);
}

DWORD ReadConnection(const std::wstring& name, ConnectionSettings& settings) {
  ConnectionSettings read;
  DWORD error = Query(name, kPerConnFlagsUi, read);
  // Older systems (and Wine) refuse the option; a system that answers without the bit every
  // connection has has not recorded the user's choice.
  if (error == ERROR_INVALID_PARAMETER || (error == ERROR_SUCCESS && read.flags == 0)) {
    error = Query(name, INTERNET_PER_CONN_FLAGS, read);
  }
  if (error == ERROR_SUCCESS) settings = read;
  return error;
}

DWORD WriteConnection(const std::wstring& name, const ConnectionSettings& settings,
                      bool withScript) {
  auto* setOption =
      orvanta::SystemDll::Wininet().Find<decltype(::InternetSetOptionW)>("InternetSetOptionW");
  if (setOption == nullptr) return ::GetLastError();
  INTERNET_PER_CONN_OPTIONW options[4] = {};
  options[0].dwOption = INTERNET_PER_CONN_FLAGS;
  options[0].Value.dwValue = settings.flags;
  const std::wstring* texts[] = {&settings.server, &settings.bypass, &settings.autoConfigUrl};
  const DWORD textOptions[] = {INTERNET_PER_CONN_PROXY_SERVER, INTERNET_PER_CONN_PROXY_BYPASS,
                               INTERNET_PER_CONN_AUTOCONFIG_URL};
  for (int i = 0; i < 3; ++i) {
    options[i + 1].dwOption = textOptions[i];
    // Null clears the setting.
    options[i + 1].Value.pszValue =
        texts[i]->empty() ? nullptr : const_cast<wchar_t*>(texts[i]->c_str());
  }
  INTERNET_PER_CONN_OPTION_LISTW list = {};
  list.dwSize = sizeof(list);
  list.pszConnection = ConnectionName(name);
  list.dwOptionCount = withScript ? 4 : 3;
  list.pOptions = options;
  if (!setOption(nullptr, INTERNET_OPTION_PER_CONNECTION_OPTION, &list, sizeof(list))) {
    return ::GetLastError();
  }
  return ERROR_SUCCESS;
}

ConnectionSettings OurConnectionSettings(const std::wstring& address) {
  ConnectionSettings settings;
  settings.flags = PROXY_TYPE_PROXY | PROXY_TYPE_DIRECT;
  settings.server = address;
  settings.bypass = kBypassList;
  return settings;
}

ConnectionSettings DirectConnectionSettings() {
  ConnectionSettings settings;
  settings.flags = PROXY_TYPE_DIRECT;
  return settings;
}

bool IsOurConnection(const ConnectionSettings& settings, const std::wstring& address) {
  return (settings.flags & kProxyKinds) == PROXY_TYPE_PROXY && settings.server == address &&
         settings.bypass == kBypassList;
}

bool IsDirectConnection(const ConnectionSettings& settings) {
  return (settings.flags & kProxyKinds) == 0;
}

std::wstring DescribeConnection(const ConnectionSettings& settings) {
  // In the order WinINet tries them.
  if ((settings.flags & PROXY_TYPE_AUTO_DETECT) != 0) return L"automatic detection";
  if ((settings.flags & PROXY_TYPE_AUTO_PROXY_URL) != 0) {
    return L"the configuration script " + settings.autoConfigUrl;
  }
  if ((settings.flags & PROXY_TYPE_PROXY) != 0) return settings.server;
  return std::wstring();
}

std::string ConnectionLabel(const std::wstring& name) {
  return name.empty() ? std::string("the LAN connection")
                      : "the connection \"" + orvanta::Utf8FromWide(name) + "\"";
}

namespace {

std::string HexText(const std::wstring& text) {
  if (text.empty()) return "-";
  std::vector<uint8_t> bytes;
  bytes.reserve(text.size() * 2);
  for (wchar_t unit : text) {
    bytes.push_back(static_cast<uint8_t>(unit & 0xFF));
    bytes.push_back(static_cast<uint8_t>((unit >> 8) & 0xFF));
  }
  return HexFromBytes(bytes.data(), bytes.size());
}

bool TextFromHex(const std::string& hex, std::wstring& text) {
  text.clear();
  if (hex == "-") return true;
  std::vector<uint8_t> bytes;
  if (hex.empty() || !BytesFromHex(hex, bytes) || bytes.size() % 2 != 0) return false;
  for (size_t i = 0; i < bytes.size(); i += 2) {
    text += static_cast<wchar_t>(bytes[i] | (bytes[i + 1] << 8));
  }
  return true;
}

bool ParseFlags(const std::string& digits, DWORD& flags) {
  if (digits.empty() || digits.size() > 10) return false;
  unsigned long long value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (value > 0xFFFFFFFFull) return false;
  flags = static_cast<DWORD>(value);
  return true;
}

}  // namespace

std::string SerializeConnection(const Connection& connection) {
  const ConnectionSettings& settings = connection.settings;
  return std::string(kConnectionTag) + " " + HexText(connection.name) + " " +
         std::to_string(settings.flags) + " " + HexText(settings.server) + " " +
         HexText(settings.bypass) + " " + HexText(settings.autoConfigUrl) + " " +
         (connection.stored ? "stored" : "none");
}

bool ParseConnection(const std::string& line, Connection& connection) {
  std::vector<std::string> fields;
  size_t at = 0;
  for (;;) {
    const size_t blank = line.find(' ', at);
    fields.push_back(line.substr(at, blank == std::string::npos ? std::string::npos : blank - at));
    if (blank == std::string::npos) break;
    at = blank + 1;
  }
  if (fields.size() != 7 || fields[0] != kConnectionTag) return false;
  if (fields[6] != "stored" && fields[6] != "none") return false;
  connection.stored = fields[6] == "stored";
  ConnectionSettings& settings = connection.settings;
  return TextFromHex(fields[1], connection.name) && ParseFlags(fields[2], settings.flags) &&
         TextFromHex(fields[3], settings.server) && TextFromHex(fields[4], settings.bypass) &&
         TextFromHex(fields[5], settings.autoConfigUrl);
}
