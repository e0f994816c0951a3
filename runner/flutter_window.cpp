#include "runner/flutter_window.h"

#include "channels/network_speed_channel.h"
#include "channels/vpn_control_channel.h"
#include "messaging/standard_method_codec.h"
#include "runner/ui_plugins.h"

namespace {

using RegisterFunction = void (*)(FlutterDesktopPluginRegistrarRef);

struct UiPlugin {
  const char* registrarName;
  RegisterFunction registerWithRegistrar;
};

// Registration order matters to the UI: it is the order the UI build lists its plug-ins in.
const UiPlugin kUiPlugins[] = {
    {"ConnectivityPlusWindowsPlugin", ConnectivityPlusWindowsPluginRegisterWithRegistrar},
    {"ScreenRetrieverPlugin", ScreenRetrieverPluginRegisterWithRegistrar},
    {"SystemTrayPlugin", SystemTrayPluginRegisterWithRegistrar},
    {"UrlLauncherWindows", UrlLauncherWindowsRegisterWithRegistrar},
    {"WindowManagerPlugin", WindowManagerPluginRegisterWithRegistrar},
};

}  // namespace

UINT FlutterWindow::EndHostMessage() {
  static const UINT message = ::RegisterWindowMessageW(L"Orvanta.Host.EndHost");
  return message;
}

FlutterWindow::FlutterWindow(const RuntimeProject& runtime_project) : project_(runtime_project) {}

FlutterWindow::~FlutterWindow() = default;

bool FlutterWindow::AfterCreate() {
  if (!Win32Window::AfterCreate()) {
    return false;
  }
  const RECT area = GetClientArea();
  controller_ = std::make_unique<flutter::FlutterViewController>(area.right - area.left,
                                                                 area.bottom - area.top, project_);
  if (controller_->GetEngine() == nullptr || controller_->GetView() == nullptr) {
    return false;
  }
  RegisterUiPlugins();
  AttachContent(controller_->GetView()->GetHWND());

  flutter::BinaryMessenger& messenger = controller_->GetEngine()->GetMessenger();
  vpnChannel_ = std::make_unique<flutter::MethodChannel>(
      &messenger, "v2ray.windows.channel", &flutter::StandardMethodCodec::SharedInstance());
  singBoxService_ = std::make_unique<SingBoxService>();
  speedChannel_ = std::make_unique<flutter::MethodChannel>(
      &messenger, "network_speed_channel", &flutter::StandardMethodCodec::SharedInstance());
  networkSpeedService_ = std::make_unique<NetworkSpeedService>();

  // The handlers reach the services through the window on every call, never through a copy.
  vpnChannel_->SetCallHandler(
      [this](const flutter::MethodCall<flutter::EncodableValue>& call,
             std::unique_ptr<flutter::MethodResult<flutter::EncodableValue>> result) {
        HandleVpnControlCall(*singBoxService_, call, std::move(result));
      });
  speedChannel_->SetCallHandler(
      [this](const flutter::MethodCall<flutter::EncodableValue>& call,
             std::unique_ptr<flutter::MethodResult<flutter::EncodableValue>> result) {
        HandleNetworkSpeedCall(*networkSpeedService_, call, std::move(result));
      });

  controller_->GetEngine()->SetNextFrameCallback([this]() { ShowNormal(); });
  controller_->ForceRedraw();
  return true;
}

void FlutterWindow::RegisterUiPlugins() {
  flutter::FlutterEngine* engine = controller_->GetEngine();
  for (const UiPlugin& plugin : kUiPlugins) {
    // A missing registrar is passed on: the plug-in decides what to do without one.
    plugin.registerWithRegistrar(engine->GetPluginRegistrar(plugin.registrarName));
  }
}

void FlutterWindow::StopServices() {
  if (singBoxService_) singBoxService_->Stop();
  if (networkSpeedService_) networkSpeedService_->Cleanup();
}

LRESULT FlutterWindow::HandleMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  // The services first: a closing console gives the process only seconds.
  if (message == EndHostMessage() && message != 0) {
    StopServices();
    ::DestroyWindow(window);
    return 0;
  }
  // After WM_ENDSESSION the system may end the process without WM_DESTROY, so the services
  // would never be destroyed and the system proxy would keep pointing at a core that no longer
  // runs, leaving the user without a connection after the restart. Stop the core first, before
  // the runtime can consume the message.
  if (message == WM_ENDSESSION && wparam != FALSE) StopServices();

  if (controller_) {
    std::optional<LRESULT> result =
        controller_->HandleTopLevelWindowProc(window, message, wparam, lparam);
    if (result) {
      return *result;
    }
  }

  if (message == WM_FONTCHANGE && controller_) {
    controller_->GetEngine()->ReloadSystemFonts();
  }

  return Win32Window::HandleMessage(window, message, wparam, lparam);
}

void FlutterWindow::BeforeDestroy() {
  if (controller_) {
    // Moved out first so nothing re-entering during the runtime's shutdown sees a controller
    // that is half destroyed.
    std::unique_ptr<flutter::FlutterViewController> ending = std::move(controller_);
    ending.reset();
  }
  Win32Window::BeforeDestroy();
}
