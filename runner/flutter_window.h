// FlutterWindow: the top-level window that shows the UI and wires the host together.
//
// When its window exists it starts the UI runtime's view in the client area, registers the UI
// plug-ins, creates the two method channels ("v2ray.windows.channel" and
// "network_speed_channel") with their services and handlers, and shows itself once the UI has
// drawn its first frame. Every window message is offered to the runtime first.
//
// Ownership: the window owns its copy of the project, the view controller, both channels and
// both services. The controller (and with it the runtime, its messenger and the channel
// handlers) ends at WM_DESTROY; the services and channels only end with this object, after the
// message loop, so a running proxy core is stopped and the system proxy cleared then. When the
// user session ends, the proxy core is stopped at WM_ENDSESSION already, because the system may
// end the process without destroying the window. EndHostMessage, posted for the console, stops
// the services and then destroys the window, before the runtime sees anything.
//
// Failure: CreateHostWindow returns false when the runtime refuses the view controller; then
// no plug-in is registered and no channel or service exists.
#ifndef ORVANTA_RUNNER_FLUTTER_WINDOW_H_
#define ORVANTA_RUNNER_FLUTTER_WINDOW_H_

#include <windows.h>

#include <memory>

#include "messaging/flutter_view_controller.h"
#include "messaging/method_channel.h"
#include "messaging/runtime_project.h"
#include "network_speed/network_speed_service.h"
#include "proxy_core/sing_box_service.h"
#include "runner/win32_window.h"

class FlutterWindow : public Win32Window {
 public:
  // Posted to end the host whatever the UI does on a close: the runtime, which may keep the
  // window open on WM_CLOSE, never sees it. A message registered under a name of the host's
  // own, as plug-ins post messages of their own (a tray icon's callback) from WM_APP up to the
  // same window; 0 when the system refuses to register it.
  static UINT EndHostMessage();

  explicit FlutterWindow(const RuntimeProject& project);
  ~FlutterWindow() override;

 protected:
  LRESULT HandleMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam) override;
  bool AfterCreate() override;
  void BeforeDestroy() override;

 private:
  void RegisterUiPlugins();
  // Puts the proxy back and ends the core (and forgets the speed baseline) while the window is
  // still there.
  void StopServices();

  RuntimeProject project_;
  std::unique_ptr<flutter::FlutterViewController> controller_;
  std::unique_ptr<flutter::MethodChannel> vpnChannel_;
  std::unique_ptr<SingBoxService> singBoxService_;
  std::unique_ptr<flutter::MethodChannel> speedChannel_;
  std::unique_ptr<NetworkSpeedService> networkSpeedService_;
};

#endif  // ORVANTA_RUNNER_FLUTTER_WINDOW_H_
