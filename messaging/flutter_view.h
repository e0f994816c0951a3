// The host's wrapper of the runtime view: the child window the UI draws into. The view
// belongs to the runtime's view controller; this wrapper owns nothing.
#ifndef ORVANTA_MESSAGING_FLUTTER_VIEW_H_
#define ORVANTA_MESSAGING_FLUTTER_VIEW_H_

#include <windows.h>

#include "messaging/flutter_windows_api.h"

namespace flutter {

class FlutterView {
 public:
  explicit FlutterView(FlutterDesktopViewRef view);
  virtual ~FlutterView();

  FlutterView(const FlutterView&) = delete;
  FlutterView& operator=(const FlutterView&) = delete;

  HWND GetHWND();

 private:
  FlutterDesktopViewRef viewHandle_;
};

}  // namespace flutter

#endif  // ORVANTA_MESSAGING_FLUTTER_VIEW_H_
