// Stand-in for rasapi32.dll, for tests: a machine with two dial-up or VPN phonebook entries,
// "Office VPN" and one named in Cyrillic ("Домашний интернет"), which Wine's own rasapi32 never
// has. RasEnumEntriesW follows the system's contract: the caller's first entry must carry the
// size of the structure, and a buffer too small gets ERROR_BUFFER_TOO_SMALL with the size it
// needs.
#include <windows.h>
// This library is rasapi32: the function its header declares is defined here, not imported.
#undef DECLSPEC_IMPORT
#define DECLSPEC_IMPORT
#include <ras.h>
#include <raserror.h>

#include <cstring>
#include <cwchar>

namespace {

const wchar_t* const kEntries[] = {
    L"Office VPN",
    L"\x0414\x043e\x043c\x0430\x0448\x043d\x0438\x0439 \x0438\x043d\x0442\x0435\x0440\x043d"
    L"\x0435\x0442",
};
constexpr DWORD kCount = sizeof(kEntries) / sizeof(kEntries[0]);

}  // namespace

DWORD WINAPI RasEnumEntriesW(LPCWSTR, LPCWSTR, LPRASENTRYNAMEW entries, LPDWORD bytes,
                             LPDWORD count) {
  if (bytes == nullptr || count == nullptr) return ERROR_INVALID_PARAMETER;
  if (entries != nullptr && entries->dwSize != sizeof(RASENTRYNAMEW)) return ERROR_INVALID_SIZE;
  const DWORD needed = kCount * sizeof(RASENTRYNAMEW);
  if (entries == nullptr || *bytes < needed) {
    *bytes = needed;
    *count = kCount;
    return ERROR_BUFFER_TOO_SMALL;
  }
  for (DWORD i = 0; i < kCount; ++i) {
    RASENTRYNAMEW& entry = entries[i];
    std::memset(&entry, 0, sizeof(entry));
    entry.dwSize = sizeof(RASENTRYNAMEW);
    std::wcsncpy(entry.szEntryName, kEntries[i], RAS_MaxEntryName);
    entry.dwFlags = REN_User;
  }
  *bytes = needed;
  *count = kCount;
  return ERROR_SUCCESS;
}
