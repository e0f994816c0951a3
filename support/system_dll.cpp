#include "support/system_dll.h"

#include <vector>

namespace orvanta {

// Never destroyed, hence never unloaded: see the header.
const SystemDll& SystemDll::Dwmapi() {
  static const SystemDll* const dll = new SystemDll(L"dwmapi.dll");
  return *dll;
}

const SystemDll& SystemDll::Iphlpapi() {
  static const SystemDll* const dll = new SystemDll(L"iphlpapi.dll");
  return *dll;
}

const SystemDll& SystemDll::Rasapi32() {
  static const SystemDll* const dll = new SystemDll(L"rasapi32.dll");
  return *dll;
}

const SystemDll& SystemDll::Wininet() {
  static const SystemDll* const dll = new SystemDll(L"wininet.dll");
  return *dll;
}

void SystemDll::LoadAll() {
  Dwmapi();
  Iphlpapi();
  Rasapi32();
  Wininet();
}

std::wstring SystemFolderPath(const wchar_t* relative) {
  std::vector<wchar_t> folder(MAX_PATH);
  UINT length = ::GetSystemDirectoryW(folder.data(), static_cast<UINT>(folder.size()));
  if (length >= folder.size()) {
    folder.resize(length + 1);
    length = ::GetSystemDirectoryW(folder.data(), static_cast<UINT>(folder.size()));
  }
  if (length == 0 || length >= folder.size()) return std::wstring();
  return std::wstring(folder.data(), length) + L"\\" + relative;
}

SystemDll::SystemDll(const wchar_t* file) {
  const std::wstring path = SystemFolderPath(file);
  if (path.empty()) {
    loadError_ = ::GetLastError() != ERROR_SUCCESS ? ::GetLastError() : ERROR_PATH_NOT_FOUND;
    return;
  }
  // The full path never matches a module someone else loaded under the same name; the flag
  // keeps the DLL's own imports to the system folder as well.
  module_ = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (module_ == nullptr) loadError_ = ::GetLastError();
}

SystemDll::~SystemDll() {
  if (module_ != nullptr) ::FreeLibrary(module_);
}

void* SystemDll::FindExport(const char* name) const {
  if (module_ == nullptr) {
    // Kept from the load: whatever ran since may have changed the thread's last error.
    ::SetLastError(loadError_);
    return nullptr;
  }
  return reinterpret_cast<void*>(::GetProcAddress(module_, name));
}

}  // namespace orvanta
