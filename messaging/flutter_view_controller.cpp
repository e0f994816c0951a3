#include "messaging/flutter_view_controller.h"

#include <iostream>

#include "support/log_line.h"

namespace flutter {

FlutterViewController::FlutterViewController(int width, int height, const RuntimeProject& project)
    : engine_(std::make_shared<FlutterEngine>(project)) {
  FlutterDesktopEngineRef engine = engine_->HandOverEngine();
  if (engine != nullptr) {
    controllerHandle_ = FlutterDesktopViewControllerCreate(width, height, engine);
  }
  if (controllerHandle_ == nullptr) {
    orvanta::WriteLogLine(std::cerr, "", "Failed to create view controller.");
    return;
  }
  view_ = std::make_unique<FlutterView>(FlutterDesktopViewControllerGetView(controllerHandle_));
}

FlutterViewController::~FlutterViewController() {
  if (controllerHandle_ != nullptr) FlutterDesktopViewControllerDestroy(controllerHandle_);
  controllerHandle_ = nullptr;
  view_.reset();
  engine_.reset();
}

void FlutterViewController::ForceRedraw() {
  if (controllerHandle_ != nullptr) FlutterDesktopViewControllerForceRedraw(controllerHandle_);
}

std::optional<LRESULT> FlutterViewController::HandleTopLevelWindowProc(HWND hwnd, UINT message,
                                                                       WPARAM wparam,
                                                                       LPARAM lparam) {
  if (controllerHandle_ == nullptr) return std::nullopt;
  LRESULT result = 0;
  if (FlutterDesktopViewControllerHandleTopLevelWindowProc(controllerHandle_, hwnd, message, wparam,
                                                           lparam, &result)) {
    return result;
  }
  return std::nullopt;
}

}  // namespace flutter
