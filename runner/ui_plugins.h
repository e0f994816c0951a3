// Registration functions of the UI plug-ins, each exported by its own library
// (connectivity_plus_plugin.dll, screen_retriever_plugin.dll, system_tray_plugin.dll,
// url_launcher_windows_plugin.dll, window_manager_plugin.dll). The host links them through
// import libraries made from the .def files beside this header.
#ifndef ORVANTA_RUNNER_UI_PLUGINS_H_
#define ORVANTA_RUNNER_UI_PLUGINS_H_

#include "messaging/flutter_windows_api.h"

#if defined(_WIN32)
#define ORVANTA_PLUGIN_IMPORT __declspec(dllimport)
#else
#define ORVANTA_PLUGIN_IMPORT
#endif

extern "C" {
ORVANTA_PLUGIN_IMPORT void ConnectivityPlusWindowsPluginRegisterWithRegistrar(
    FlutterDesktopPluginRegistrarRef registrar);
ORVANTA_PLUGIN_IMPORT void ScreenRetrieverPluginRegisterWithRegistrar(
    FlutterDesktopPluginRegistrarRef registrar);
ORVANTA_PLUGIN_IMPORT void SystemTrayPluginRegisterWithRegistrar(
    FlutterDesktopPluginRegistrarRef registrar);
ORVANTA_PLUGIN_IMPORT void UrlLauncherWindowsRegisterWithRegistrar(
    FlutterDesktopPluginRegistrarRef registrar);
ORVANTA_PLUGIN_IMPORT void WindowManagerPluginRegisterWithRegistrar(
    FlutterDesktopPluginRegistrarRef registrar);
}

#endif  // ORVANTA_RUNNER_UI_PLUGINS_H_
