// A powershell.exe that someone planted where the old command search would have found it:
// beside orvanta.exe or in the folder it was started from. It records each run in
// planted-runs.txt beside itself and pretends to succeed; the host must never run it.
#include <windows.h>

#include <string>

int main() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring record(path, length);
  record = record.substr(0, record.find_last_of(L'\\') + 1) + L"planted-runs.txt";
  HANDLE file = CreateFileW(record.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    DWORD written = 0;
    WriteFile(file, "ran\n", 4, &written, nullptr);
    CloseHandle(file);
  }
  return 0;
}
