#include "support/system_dll.h"

namespace orvanta {

// Never destroyed, hence never unloaded: see the header. Function-local statics, so each DLL
// is loaded by its first user and not at all in a process that never needs it.
const SystemDll& SystemDll::Dwmapi() {
  static const SystemDll* const dll = new SystemDll(L"dwmapi.dll");
  return *dll;
}

const SystemDll& SystemDll::Iphlpapi() {
  static const SystemDll* const dll = new SystemDll(L"iphlpapi.dll");
  return *dll;
}

const SystemDll& SystemDll::Wininet() {
  static const SystemDll* const dll = new SystemDll(L"wininet.dll");
  return *dll;
}

SystemDll::SystemDll(const wchar_t* file)
    : module_(::LoadLibraryExW(file, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) {
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
