// Where the host window goes on a monitor: its rectangle given in 96-dpi units scaled to the
// monitor's DPI, then kept inside the monitor's work area (the monitor less the taskbar and
// docked bars). The window can be neither resized nor maximised, so a part that opens off
// the work area, or a window larger than it, would stay out of the user's reach.
//
// Pure arithmetic on rectangles in physical pixels; the caller asks the system for the DPI
// and the work area.
#ifndef ORVANTA_RUNNER_WINDOW_PLACEMENT_H_
#define ORVANTA_RUNNER_WINDOW_PLACEMENT_H_

#include <windows.h>

#include <cstdint>

// Each value multiplied by dpi / 96 and truncated toward zero on its own (12.5 becomes 12),
// as left, top, right and bottom.
RECT ScaleWindowRect(int32_t x, int32_t y, int32_t width, int32_t height, UINT dpi);

// `window` itself when it lies wholly inside `work_area`. Otherwise it keeps its width and
// height where they fit, takes the work area's where they do not, and moves the least distance
// that puts it inside. An empty work area leaves the window as it is.
RECT FitInWorkArea(const RECT& window, const RECT& work_area);

// Where the window goes when its DPI changes, `suggested` being the system's rectangle for the
// new DPI. Along an axis where the suggestion fits the work area it stays as it is, even where
// it lies partly outside (a window dragged across monitors stays under the cursor). Along an
// axis where it is larger, the window takes the work area's extent there: each axis on its own,
// so a window only too tall does not also jump sideways onto the work area.
RECT PlaceAfterDpiChange(const RECT& suggested, const RECT& work_area);

// The size of a window designed as `width` x `height` at 96 dpi, at `dpi`, scaled as
// ScaleWindowRect scales it. Answered to the system when the DPI is about to change, so that a
// round trip between monitors gives back the design size, not one that shrank on the way.
SIZE ScaleWindowSize(int32_t width, int32_t height, UINT dpi);

#endif  // ORVANTA_RUNNER_WINDOW_PLACEMENT_H_
