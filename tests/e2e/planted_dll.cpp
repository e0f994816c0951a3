// A system DLL that someone planted where a load by name would find it before the system
// folder: beside orvanta.exe or in the folder it was started from. Copied there as dwmapi.dll,
// iphlpapi.dll, rasapi32.dll and wininet.dll; each load appends its own path to
// planted-loads.txt beside it.
// Its exports are the functions the host calls, all failing, so a host that did load it would
// still start (and lose its dark frame, its speed and its change notices).
#include <windows.h>

#include <string>

namespace {

void RecordLoad(HINSTANCE self) {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  std::wstring record(path, length);
  record = record.substr(0, record.find_last_of(L'\\') + 1) + L"planted-loads.txt";
  HANDLE file = CreateFileW(record.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, path, length * static_cast<DWORD>(sizeof(wchar_t)), &written, nullptr);
  WriteFile(file, L"\n", sizeof(wchar_t), &written, nullptr);
  CloseHandle(file);
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) RecordLoad(self);
  return TRUE;
}

HRESULT WINAPI DwmSetWindowAttribute(HWND, DWORD, const void*, DWORD) { return E_FAIL; }

DWORD WINAPI GetIfTable2(void** table) {
  *table = nullptr;
  return ERROR_NOT_SUPPORTED;
}

void WINAPI FreeMibTable(void*) {}

BOOL WINAPI InternetSetOptionW(void*, DWORD, void*, DWORD) {
  SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}

BOOL WINAPI InternetQueryOptionW(void*, DWORD, void*, DWORD*) {
  SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}

DWORD WINAPI RasEnumEntriesW(const wchar_t*, const wchar_t*, void*, DWORD*, DWORD*) {
  return ERROR_NOT_SUPPORTED;
}

}  // extern "C"
