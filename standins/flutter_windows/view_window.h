// The view window of the stand-in runtime: a child window that paints the status panel,
// produces frames and serves bridge requests on the UI thread.
#ifndef ORVANTA_STANDINS_FLUTTER_WINDOWS_VIEW_WINDOW_H_
#define ORVANTA_STANDINS_FLUTTER_WINDOWS_VIEW_WINDOW_H_

#include <windows.h>

#include "standins/flutter_windows/standin_runtime.h"

namespace standin {

// Posted to the view: draw a frame (and run the pending next-frame callback after it).
constexpr UINT kFrameMessage = WM_APP + 0x51;
// Posted to the view by the bridge: serve the queued bridge requests.
constexpr UINT kBridgeMessage = WM_APP + 0x52;

// Creates the parking and view windows of `controller`; false when either fails.
bool CreateViewWindows(FlutterDesktopViewController* controller);
void DestroyViewWindows(FlutterDesktopViewController* controller);

// The DPI reported for `monitor`: ORVANTA_STANDIN_DPI when it holds a number, else the
// monitor's own.
UINT MonitorDpi(HMONITOR monitor);

}  // namespace standin

#endif  // ORVANTA_STANDINS_FLUTTER_WINDOWS_VIEW_WINDOW_H_
