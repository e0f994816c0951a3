// A stand-in UI plug-in library. The real plug-ins register channels of their own with the
// UI runtime; this one only tells the stand-in runtime that it was registered, and with which
// registrar, so tests can check the order and the handles the host passed. Like a plug-in that
// loads an optional library by name once it runs (a helper, a codec), it also looks for
// plugin_helper.dll and lets it go again: the host's DLL search decides where that is found.
// Like one that loads system libraries by name (iphlpapi.dll for a network monitor, wininet.dll
// for a download), it loads those the host calls too and keeps them: whichever copy it gets is
// the one loaded in the host from then on. And
// like a tray icon, whose callback message is one of its own from WM_APP up, it posts
// WM_APP + 1 to the host's window.
//
// Built once per plug-in name: ORVANTA_PLUGIN_LIBRARY is the library's file name and
// ORVANTA_PLUGIN_REGISTER the name of its registration function.
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <cwchar>
#include <initializer_list>

#include "messaging/flutter_windows_api.h"

#ifndef ORVANTA_PLUGIN_LIBRARY
#error ORVANTA_PLUGIN_LIBRARY must name the library
#endif
#ifndef ORVANTA_PLUGIN_REGISTER
#error ORVANTA_PLUGIN_REGISTER must name the registration function
#endif

namespace {

using RecordFunction = void (*)(const char* plugin_library, void* registrar, const char* apartment);

// Plug-ins that show dialogs or use the shell expect the UI thread in a single-threaded
// apartment.
const char* Apartment() {
  APTTYPE type = APTTYPE_CURRENT;
  APTTYPEQUALIFIER qualifier = APTTYPEQUALIFIER_NONE;
  if (FAILED(::CoGetApartmentType(&type, &qualifier))) return "none";
  switch (type) {
    case APTTYPE_STA:
    case APTTYPE_MAINSTA:
      return "STA";
    case APTTYPE_MTA:
      return "MTA";
    case APTTYPE_NA:
      return "NA";
    default:
      return "none";
  }
}

// The host's top-level window exists by the time it registers its plug-ins.
BOOL CALLBACK PostToHostWindow(HWND window, LPARAM) {
  wchar_t name[64] = {};
  if (::GetClassNameW(window, name, 64) > 0 &&
      std::wcscmp(name, L"FLUTTER_RUNNER_WIN32_WINDOW") == 0) {
    ::PostMessageW(window, WM_APP + 1, 0, 0);
  }
  return TRUE;
}

}  // namespace

extern "C" __declspec(dllexport) void ORVANTA_PLUGIN_REGISTER(
    FlutterDesktopPluginRegistrarRef registrar) {
  // Looked up at run time: the plug-in must load next to any runtime, also one that has no
  // recording function.
  HMODULE runtime = ::GetModuleHandleA("flutter_windows.dll");
  RecordFunction record = nullptr;
  if (runtime != nullptr) {
    record = reinterpret_cast<RecordFunction>(reinterpret_cast<void*>(
        ::GetProcAddress(runtime, "OrvantaStandinRecordPluginRegistration")));
  }
  if (record == nullptr) {
    std::fprintf(stderr, "%s: no runtime to record the registration with\n",
                 ORVANTA_PLUGIN_LIBRARY);
    std::fflush(stderr);
    return;
  }
  record(ORVANTA_PLUGIN_LIBRARY, registrar, Apartment());
  if (HMODULE helper = ::LoadLibraryW(L"plugin_helper.dll")) ::FreeLibrary(helper);
  for (const wchar_t* system : {L"dwmapi.dll", L"iphlpapi.dll", L"rasapi32.dll", L"wininet.dll"}) {
    ::LoadLibraryW(system);
  }
  ::EnumThreadWindows(::GetCurrentThreadId(), PostToHostWindow, 0);
}
