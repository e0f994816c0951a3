// Plays the real clients of the per-user proxy, for the end-to-end tests and for measuring what
// a Wine (or Windows) keeps where. Each command prints key=value lines in a fixed order.
//
//   e2e_proxy_client wininet-get [CONNECTION]
//       what WinINet's per-connection query reports for the LAN (or the named phonebook
//       entry): flags, flags_ui (INTERNET_PER_CONN_FLAGS_UI, or error:N when a query listing
//       it fails), server, bypass, autoconfig_url
//   e2e_proxy_client wininet-set FLAGS SERVER BYPASS PACURL [CONNECTION]
//       sets the four as Windows' settings page does, then tells running programs
//       (INTERNET_OPTION_SETTINGS_CHANGED); FLAGS in decimal or 0x hex, "-" for no text at all
//       (a null pointer), an empty argument for the empty text
//   e2e_proxy_client winhttp-get
//       what WinHttpGetIEProxyConfigForCurrentUser reports
//   e2e_proxy_client winhttp-fetch URL
//       a WinHTTP GET of URL with the proxy found as Chromium finds it; "via=..." then
//       "status=N", or "error=N" with exit code 3
//   e2e_proxy_client ras-entries
//       what rasapi32's RasEnumEntriesW, loaded from the system folder, returns
//   e2e_proxy_client watch SECONDS
//       arms change notices on Internet Settings (the key alone, the key with its subtree) and
//       on its Connections subkey, prints "ready", and after SECONDS (or once all have fired)
//       which fired: 1, 0, or absent for a key that does not exist
//
// Exit code 0 on success, 3 when a call fails, 64 for a wrong command line.
#include <windows.h>
#include <wininet.h>
#include <ras.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

#include "support/registry_key.h"
#include "support/system_dll.h"
#include "support/unique_handle.h"
#include "support/wide_text.h"
#include "tests/e2e/proxy_client.h"

namespace proxy_client {

void PrintText(const char* key, const wchar_t* value) {
  const std::string text = value == nullptr ? "(null)" : orvanta::Utf8FromWide(value);
  std::printf("%s=%s\n", key, text.c_str());
}

void PrintNumber(const char* key, unsigned long value) { std::printf("%s=%lu\n", key, value); }

void PrintLastError(const char* key) { std::printf("%s=error:%lu\n", key, GetLastError()); }

}  // namespace proxy_client

namespace {

using proxy_client::PrintLastError;
using proxy_client::PrintNumber;
using proxy_client::PrintText;

constexpr wchar_t kInternetSettings[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
constexpr wchar_t kConnections[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";

// What a query leaves in an option it does not fill, so that is told apart from a null or empty
// answer.
wchar_t kUntouchedText[] = L"(untouched)";
constexpr DWORD kUntouchedFlags = 0xFFFFFFFF;

bool IsFlagsOption(DWORD option) {
  return option == INTERNET_PER_CONN_FLAGS || option == INTERNET_PER_CONN_FLAGS_UI;
}

// The per-connection options of `connection` (null: the LAN settings), one query for all.
class ConnectionOptions {
 public:
  ConnectionOptions(std::vector<DWORD> wanted, const wchar_t* connection)
      : options_(wanted.size()) {
    for (size_t i = 0; i < wanted.size(); ++i) {
      options_[i].dwOption = wanted[i];
      if (IsFlagsOption(wanted[i])) {
        options_[i].Value.dwValue = kUntouchedFlags;
      } else {
        options_[i].Value.pszValue = kUntouchedText;
      }
    }
    INTERNET_PER_CONN_OPTION_LISTW list = {};
    list.dwSize = sizeof(list);
    list.pszConnection = const_cast<wchar_t*>(connection);
    list.dwOptionCount = static_cast<DWORD>(options_.size());
    list.pOptions = options_.data();
    DWORD size = sizeof(list);
    ok_ = InternetQueryOptionW(nullptr, INTERNET_OPTION_PER_CONNECTION_OPTION, &list, &size) != 0;
    error_ = GetLastError();
  }
  ~ConnectionOptions() {
    for (const auto& option : options_) {
      if (!IsFlagsOption(option.dwOption) && option.Value.pszValue != kUntouchedText) {
        GlobalFree(option.Value.pszValue);
      }
    }
  }
  ConnectionOptions(const ConnectionOptions&) = delete;
  ConnectionOptions& operator=(const ConnectionOptions&) = delete;

  bool ok() const { return ok_; }
  DWORD error() const { return error_; }
  const INTERNET_PER_CONN_OPTIONW& operator[](size_t i) const { return options_[i]; }

 private:
  std::vector<INTERNET_PER_CONN_OPTIONW> options_;
  bool ok_ = false;
  DWORD error_ = ERROR_SUCCESS;
};

void PrintFlags(const char* key, DWORD flags) {
  if (flags == kUntouchedFlags) {
    std::printf("%s=(untouched)\n", key);
  } else {
    PrintNumber(key, flags);
  }
}

int WinInetGet(const wchar_t* connection) {
  const ConnectionOptions options(
      {INTERNET_PER_CONN_FLAGS, INTERNET_PER_CONN_PROXY_SERVER, INTERNET_PER_CONN_PROXY_BYPASS,
       INTERNET_PER_CONN_AUTOCONFIG_URL},
      connection);
  if (!options.ok()) {
    std::printf("query=error:%lu\n", options.error());
    return 3;
  }
  PrintFlags("flags", options[0].Value.dwValue);
  // The flags as the user chose them: Windows keeps them apart from the flags in effect since
  // Internet Explorer 8. A system without them fails any query that lists them, so they are
  // asked for in a query of their own, listed as a program that saves everything would.
  const ConnectionOptions ui(
      {INTERNET_PER_CONN_FLAGS_UI, INTERNET_PER_CONN_FLAGS, INTERNET_PER_CONN_PROXY_SERVER,
       INTERNET_PER_CONN_PROXY_BYPASS, INTERNET_PER_CONN_AUTOCONFIG_URL},
      connection);
  if (ui.ok()) {
    PrintFlags("flags_ui", ui[0].Value.dwValue);
  } else {
    std::printf("flags_ui=error:%lu\n", ui.error());
  }
  PrintText("server", options[1].Value.pszValue);
  PrintText("bypass", options[2].Value.pszValue);
  PrintText("autoconfig_url", options[3].Value.pszValue);
  return 0;
}

wchar_t* TextArgument(wchar_t* argument) {
  return std::wcscmp(argument, L"-") == 0 ? nullptr : argument;
}

int WinInetSet(wchar_t** arguments, wchar_t* connection) {
  INTERNET_PER_CONN_OPTIONW options[4] = {};
  options[0].dwOption = INTERNET_PER_CONN_FLAGS;
  options[0].Value.dwValue = static_cast<DWORD>(std::wcstoul(arguments[0], nullptr, 0));
  options[1].dwOption = INTERNET_PER_CONN_PROXY_SERVER;
  options[1].Value.pszValue = TextArgument(arguments[1]);
  options[2].dwOption = INTERNET_PER_CONN_PROXY_BYPASS;
  options[2].Value.pszValue = TextArgument(arguments[2]);
  options[3].dwOption = INTERNET_PER_CONN_AUTOCONFIG_URL;
  options[3].Value.pszValue = TextArgument(arguments[3]);
  INTERNET_PER_CONN_OPTION_LISTW list = {};
  list.dwSize = sizeof(list);
  list.pszConnection = connection;
  list.dwOptionCount = 4;
  list.pOptions = options;
  if (!InternetSetOptionW(nullptr, INTERNET_OPTION_PER_CONNECTION_OPTION, &list, sizeof(list))) {
    PrintLastError("set");
    return 3;
  }
  std::printf("set=ok\n");
  if (!InternetSetOptionW(nullptr, INTERNET_OPTION_SETTINGS_CHANGED, nullptr, 0)) {
    PrintLastError("settings_changed");
    return 3;
  }
  std::printf("settings_changed=ok\n");
  return 0;
}

int RasEntries() {
  // From the system folder only, as the host loads its system DLLs.
  const orvanta::SystemDll rasapi(L"rasapi32.dll");
  auto* enumerate = rasapi.Find<decltype(::RasEnumEntriesW)>("RasEnumEntriesW");
  if (enumerate == nullptr) {
    PrintLastError("RasEnumEntriesW");
    return 3;
  }
  // Microsoft's way: a call without a buffer gives the size needed (ERROR_BUFFER_TOO_SMALL).
  DWORD bytes = 0;
  DWORD count = 0;
  PrintNumber("sizing_result", enumerate(nullptr, nullptr, nullptr, &bytes, &count));
  PrintNumber("sizing_bytes", bytes);
  PrintNumber("sizing_count", count);
  std::vector<RASENTRYNAMEW> entries(bytes / sizeof(RASENTRYNAMEW) + 1);
  entries[0].dwSize = sizeof(RASENTRYNAMEW);
  bytes = static_cast<DWORD>(entries.size() * sizeof(RASENTRYNAMEW));
  count = 0;
  const DWORD result = enumerate(nullptr, nullptr, entries.data(), &bytes, &count);
  PrintNumber("result", result);
  PrintNumber("count", count);
  for (DWORD i = 0; i < count && i < entries.size(); ++i) {
    PrintText("entry", entries[i].szEntryName);
  }
  return result == ERROR_SUCCESS ? 0 : 3;
}

int Watch(const wchar_t* seconds) {
  struct Watched {
    Watched(const char* shown, const wchar_t* key_path, BOOL with_subtree)
        : name(shown), path(key_path), subtree(with_subtree) {}
    const char* name;
    const wchar_t* path;
    BOOL subtree;
    orvanta::RegistryKey key;
    orvanta::UniqueHandle event;
    bool fired = false;
  };
  Watched watches[] = {{"settings", kInternetSettings, FALSE},
                       {"settings_subtree", kInternetSettings, TRUE},
                       {"connections", kConnections, FALSE}};
  for (auto& watch : watches) {
    if (RegOpenKeyExW(HKEY_CURRENT_USER, watch.path, 0, KEY_NOTIFY, watch.key.Receive()) !=
        ERROR_SUCCESS) {
      continue;
    }
    watch.event.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!watch.event || RegNotifyChangeKeyValue(watch.key.Get(), watch.subtree,
                                                REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET,
                                                watch.event.Get(), TRUE) != ERROR_SUCCESS) {
      PrintLastError(watch.name);
      return 3;
    }
  }
  std::printf("ready\n");
  std::fflush(stdout);
  const ULONGLONG deadline = GetTickCount64() + 1000ULL * std::wcstoul(seconds, nullptr, 10);
  for (;;) {
    std::vector<HANDLE> pending;
    for (auto& watch : watches) {
      if (watch.event && !watch.fired) pending.push_back(watch.event.Get());
    }
    const ULONGLONG now = GetTickCount64();
    if (pending.empty() || now >= deadline) break;
    const DWORD woke = WaitForMultipleObjects(static_cast<DWORD>(pending.size()), pending.data(),
                                              FALSE, static_cast<DWORD>(deadline - now));
    if (woke >= WAIT_OBJECT_0 + pending.size()) break;
    for (auto& watch : watches) {
      if (watch.event.Get() == pending[woke - WAIT_OBJECT_0]) watch.fired = true;
    }
  }
  for (const auto& watch : watches) {
    std::printf("%s=%s\n", watch.name, !watch.key ? "absent" : watch.fired ? "1" : "0");
  }
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring command = argc > 1 ? argv[1] : L"";
  const int given = argc - 2;
  int result = 64;
  if (command == L"wininet-get" && given <= 1) {
    result = WinInetGet(given == 1 ? argv[2] : nullptr);
  } else if (command == L"wininet-set" && (given == 4 || given == 5)) {
    result = WinInetSet(argv + 2, given == 5 ? argv[6] : nullptr);
  } else if (command == L"winhttp-get" && given == 0) {
    result = proxy_client::WinHttpGet();
  } else if (command == L"winhttp-fetch" && given == 1) {
    result = proxy_client::WinHttpFetch(argv[2]);
  } else if (command == L"ras-entries" && given == 0) {
    result = RasEntries();
  } else if (command == L"watch" && given == 1) {
    result = Watch(argv[2]);
  }
  std::fflush(stdout);
  return result;
}
