#include "runner/window_placement.h"

#include <algorithm>

namespace {

int32_t Scale(int32_t value, double scale) { return static_cast<int32_t>(value * scale); }

}  // namespace

RECT ScaleWindowRect(int32_t x, int32_t y, int32_t width, int32_t height, UINT dpi) {
  const double scale = dpi / 96.0;
  const LONG left = Scale(x, scale);
  const LONG top = Scale(y, scale);
  return RECT{left, top, left + Scale(width, scale), top + Scale(height, scale)};
}

RECT FitInWorkArea(const RECT& window, const RECT& work_area) {
  if (work_area.right <= work_area.left || work_area.bottom <= work_area.top) {
    return window;
  }
  const LONG width = std::min(window.right - window.left, work_area.right - work_area.left);
  const LONG height = std::min(window.bottom - window.top, work_area.bottom - work_area.top);
  // Clamping the origin moves a window that fits not at all, and any other the least distance.
  const LONG left = std::clamp(window.left, work_area.left, work_area.right - width);
  const LONG top = std::clamp(window.top, work_area.top, work_area.bottom - height);
  return RECT{left, top, left + width, top + height};
}

RECT PlaceAfterDpiChange(const RECT& suggested, const RECT& work_area) {
  if (work_area.right <= work_area.left || work_area.bottom <= work_area.top) {
    return suggested;
  }
  RECT placed = suggested;
  // Moving a window that fits would pull it away from the cursor on every drag across a
  // monitor boundary; the user can move it back.
  if (suggested.right - suggested.left > work_area.right - work_area.left) {
    placed.left = work_area.left;
    placed.right = work_area.right;
  }
  if (suggested.bottom - suggested.top > work_area.bottom - work_area.top) {
    placed.top = work_area.top;
    placed.bottom = work_area.bottom;
  }
  return placed;
}

SIZE ScaleWindowSize(int32_t width, int32_t height, UINT dpi) {
  const RECT scaled = ScaleWindowRect(0, 0, width, height, dpi);
  return SIZE{scaled.right, scaled.bottom};
}
