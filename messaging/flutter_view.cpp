#include "messaging/flutter_view.h"

namespace flutter {

FlutterView::FlutterView(FlutterDesktopViewRef view) : viewHandle_(view) {}

FlutterView::~FlutterView() = default;

HWND FlutterView::GetHWND() { return FlutterDesktopViewGetHWND(viewHandle_); }

}  // namespace flutter
