// The system DLLs this program calls into that are not KnownDLLs: dwmapi.dll, iphlpapi.dll,
// rasapi32.dll and wininet.dll. Imported at load time, or loaded by name, such a DLL is looked for
// in the application's folder before the system folder, so a copy planted beside orvanta.exe (a
// portable copy unpacked into Downloads) would run inside the host. A load by bare name also
// matches any module already loaded under that name, whoever loaded it from wherever. So none
// of them is imported: each is loaded by its full path in the system folder, once, and its
// functions are found here by name.
//
//   auto* getIfTable2 =
//       orvanta::SystemDll::Iphlpapi().Find<decltype(::GetIfTable2)>("GetIfTable2");
//
// LoadAll, the first thing the process entry does, loads all of them before the UI runtime or a
// plug-in runs any code of its own: a later load by name from them then finds the system
// folder's copy already loaded instead of searching the application's folder.
//
// Ownership: the process's instances are never destroyed, so their DLLs stay loaded until the
// process ends and no function found in them outlives its code. Another instance (a test's)
// unloads its DLL when destroyed.
//
// Failure: Find gives null when the DLL cannot be loaded from the system folder or lacks the
// export, with the reason as the thread's last error (ERROR_MOD_NOT_FOUND,
// ERROR_PROC_NOT_FOUND, ...); the caller treats that as a failure of the call it meant to make.
#ifndef ORVANTA_SUPPORT_SYSTEM_DLL_H_
#define ORVANTA_SUPPORT_SYSTEM_DLL_H_

#include <windows.h>

#include <string>

namespace orvanta {

// The system folder + "\" + `relative`; empty when the system folder cannot be had.
std::wstring SystemFolderPath(const wchar_t* relative);

class SystemDll {
 public:
  // The process's instance for each DLL; the DLL is loaded on the first call.
  static const SystemDll& Dwmapi();
  static const SystemDll& Iphlpapi();
  static const SystemDll& Rasapi32();
  static const SystemDll& Wininet();
  // Makes the first call of each of the above.
  static void LoadAll();

  // Loads `file` (a bare file name) from the system folder, by its full path.
  explicit SystemDll(const wchar_t* file);
  ~SystemDll();

  SystemDll(const SystemDll&) = delete;
  SystemDll& operator=(const SystemDll&) = delete;

  // The export `name` as a `Function*`, with `Function` the function type the system's header
  // declares (decltype of it); null as described above.
  template <typename Function>
  Function* Find(const char* name) const {
    return reinterpret_cast<Function*>(FindExport(name));
  }

 private:
  void* FindExport(const char* name) const;

  HMODULE module_ = nullptr;
  DWORD loadError_ = ERROR_SUCCESS;
};

}  // namespace orvanta

#endif  // ORVANTA_SUPPORT_SYSTEM_DLL_H_
