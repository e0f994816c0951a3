// Creates the engine from a RuntimeProject, hands it to the runtime's view controller and
// exposes the engine (messenger, registrars) and the view.
//
// Owns the runtime controller and the view wrapper and shares the engine wrapper.
// Destruction ends the runtime controller (and with it the runtime engine) first, then the
// view wrapper, then this share of the engine wrapper. When the runtime refuses to create the
// controller, "Failed to create view controller." is written, GetView is null, GetEngine still
// works, and every controller operation does nothing.
#ifndef ORVANTA_MESSAGING_FLUTTER_VIEW_CONTROLLER_H_
#define ORVANTA_MESSAGING_FLUTTER_VIEW_CONTROLLER_H_

#include <windows.h>

#include <memory>
#include <optional>

#include "messaging/flutter_engine.h"
#include "messaging/flutter_view.h"
#include "messaging/flutter_windows_api.h"
#include "messaging/runtime_project.h"

namespace flutter {

class FlutterViewController {
 public:
  // `width` and `height` are physical pixels.
  FlutterViewController(int width, int height, const RuntimeProject& project);
  virtual ~FlutterViewController();

  FlutterViewController(const FlutterViewController&) = delete;
  FlutterViewController& operator=(const FlutterViewController&) = delete;

  FlutterEngine* GetEngine() { return engine_.get(); }
  FlutterView* GetView() { return view_.get(); }

  void ForceRedraw();

  // The runtime's answer when it consumes a message of the top-level window, else none.
  std::optional<LRESULT> HandleTopLevelWindowProc(HWND hwnd, UINT message, WPARAM wparam,
                                                  LPARAM lparam);

 private:
  FlutterDesktopViewControllerRef controllerHandle_ = nullptr;
  std::shared_ptr<FlutterEngine> engine_;
  std::unique_ptr<FlutterView> view_;
};

}  // namespace flutter

#endif  // ORVANTA_MESSAGING_FLUTTER_VIEW_CONTROLLER_H_
