#include "runner/win32_window.h"

#include <dwmapi.h>

#include <utility>

#include "messaging/flutter_windows_api.h"
#include "runner/resource.h"
#include "runner/window_placement.h"
#include "support/system_dll.h"

namespace {

// Older SDK headers do not name this attribute yet.
constexpr DWORD kDwmUseImmersiveDarkMode = 20;

constexpr wchar_t kPersonalizeKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";
constexpr wchar_t kAppsUseLightTheme[] = L"AppsUseLightTheme";

constexpr DWORD kWindowStyle = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

using EnableNonClientDpiScalingFunction = BOOL(WINAPI*)(HWND);

int32_t liveWindowCount = 0;

// Registration of the shared window class, made on the first window creation and dropped
// once no window object is left.
class WindowClassRegistrar {
 public:
  static WindowClassRegistrar& Instance() {
    static WindowClassRegistrar instance;
    return instance;
  }

  // False when the system refuses the class: no window of it could be created.
  bool Register(WNDPROC procedure) {
    if (classRegistered_) return true;
    WNDCLASSW window_class{};
    window_class.style = CS_HREDRAW | CS_VREDRAW;
    window_class.lpfnWndProc = procedure;
    window_class.cbClsExtra = 0;
    window_class.cbWndExtra = 0;
    window_class.hInstance = ::GetModuleHandleW(nullptr);
    window_class.hIcon = ::LoadIconW(window_class.hInstance, MAKEINTRESOURCEW(IDI_APP_ICON));
    window_class.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    window_class.hbrBackground = nullptr;
    window_class.lpszMenuName = nullptr;
    window_class.lpszClassName = Win32Window::kClassName;
    if (::RegisterClassW(&window_class) == 0) return false;
    classRegistered_ = true;
    return true;
  }

  // With the instance it was registered with: without one the system looks for the class
  // elsewhere and leaves it registered. A class that stays (a window of it still exists) is
  // still ours to reuse.
  void Unregister() {
    if (!classRegistered_) return;
    if (::UnregisterClassW(Win32Window::kClassName, ::GetModuleHandleW(nullptr))) {
      classRegistered_ = false;
    }
  }

  bool IsRegistered() const { return classRegistered_; }

 private:
  WindowClassRegistrar() = default;

  bool classRegistered_ = false;
};

// The work area of the monitor, not the whole monitor: the taskbar would cover the bottom of
// the window as surely as the screen's edge. A monitor that cannot be asked gives none, and
// the window goes where it was meant to go.
std::optional<RECT> WorkArea(HMONITOR monitor) {
  MONITORINFO info{};
  info.cbSize = sizeof(info);
  if (!::GetMonitorInfoW(monitor, &info)) return std::nullopt;
  return info.rcWork;
}

void EnableFrameDpiScaling(HWND window) {
  HMODULE user32 = ::LoadLibraryA("User32.dll");
  if (user32 == nullptr) return;
  auto enable = reinterpret_cast<EnableNonClientDpiScalingFunction>(
      reinterpret_cast<void*>(::GetProcAddress(user32, "EnableNonClientDpiScaling")));
  if (enable != nullptr) {
    enable(window);
  }
  ::FreeLibrary(user32);
}

}  // namespace

Win32Window::Win32Window() { ++liveWindowCount; }

Win32Window::~Win32Window() {
  --liveWindowCount;
  DestroyHostWindow();
}

bool Win32Window::CreateHostWindow(const std::wstring& title, const WindowOrigin& origin,
                                   const WindowSize& size) {
  DestroyHostWindow();
  designSize_ = size;

  if (!WindowClassRegistrar::Instance().Register(WindowProcedure)) {
    return false;
  }

  const POINT target{origin.x, origin.y};
  HMONITOR monitor = ::MonitorFromPoint(target, MONITOR_DEFAULTTONEAREST);
  const UINT dpi = FlutterDesktopGetDpiForMonitor(monitor);
  RECT placed = ScaleWindowRect(origin.x, origin.y, size.width, size.height, dpi);
  if (const std::optional<RECT> work = WorkArea(monitor)) placed = FitInWorkArea(placed, *work);

  HWND window =
      ::CreateWindowExW(0, kClassName, title.c_str(), kWindowStyle, placed.left, placed.top,
                        placed.right - placed.left, placed.bottom - placed.top, nullptr, nullptr,
                        ::GetModuleHandleW(nullptr), this);
  if (window == nullptr) {
    return false;
  }
  ApplySystemTheme(window);
  return AfterCreate();
}

void Win32Window::DestroyHostWindow() {
  BeforeDestroy();
  // Taken before DestroyWindow: the WM_DESTROY it sends runs this again, which must then find
  // no window left to destroy.
  if (HWND window = std::exchange(windowHandle_, nullptr)) {
    ::DestroyWindow(window);
  }
  if (liveWindowCount == 0) {
    WindowClassRegistrar::Instance().Unregister();
  }
}

RECT Win32Window::GetClientArea() const {
  RECT area{};
  ::GetClientRect(windowHandle_, &area);
  return area;
}

void Win32Window::AttachContent(HWND content) {
  contentHandle_ = content;
  ::SetParent(content, windowHandle_);
  const RECT area = GetClientArea();
  ::MoveWindow(content, area.left, area.top, area.right - area.left, area.bottom - area.top, TRUE);
  ::SetFocus(content);
}

bool Win32Window::ShowNormal() { return ::ShowWindow(windowHandle_, SW_SHOWNORMAL) != 0; }

std::optional<BOOL> Win32Window::ReadDarkModePreference() {
  DWORD light = 0;
  DWORD size = sizeof(light);
  const LSTATUS status = ::RegGetValueW(HKEY_CURRENT_USER, kPersonalizeKey, kAppsUseLightTheme,
                                        RRF_RT_REG_DWORD, nullptr, &light, &size);
  if (status != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return light == 0 ? TRUE : FALSE;
}

void Win32Window::ApplySystemTheme(HWND window) {
  const std::optional<BOOL> dark = ReadDarkModePreference();
  if (!dark) return;
  // Without dwmapi the frame keeps the system's colours, as when the attribute is refused.
  auto* setAttribute =
      orvanta::SystemDll::Dwmapi().Find<decltype(::DwmSetWindowAttribute)>("DwmSetWindowAttribute");
  if (setAttribute == nullptr) return;
  const BOOL value = *dark;
  setAttribute(window, kDwmUseImmersiveDarkMode, &value, sizeof(value));
}

int32_t Win32Window::LiveWindowCount() { return liveWindowCount; }

bool Win32Window::IsClassRegistered() { return WindowClassRegistrar::Instance().IsRegistered(); }

LRESULT Win32Window::HandleMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_DESTROY:
      windowHandle_ = nullptr;
      DestroyHostWindow();
      if (exitOnClose_) {
        ::PostQuitMessage(0);
      }
      return 0;

    case WM_SIZE: {
      const RECT area = GetClientArea();
      if (contentHandle_ != nullptr) {
        ::MoveWindow(contentHandle_, area.left, area.top, area.right - area.left,
                     area.bottom - area.top, TRUE);
      }
      return 0;
    }

    case WM_ACTIVATE:
      if (contentHandle_ != nullptr) {
        ::SetFocus(contentHandle_);
      }
      return 0;

    case WM_GETDPISCALEDSIZE: {
      // Windows would scale the current size, which a fit into a small work area may have
      // shrunk: every round trip between monitors would shrink the window further.
      *reinterpret_cast<SIZE*>(lparam) =
          ScaleWindowSize(designSize_.width, designSize_.height, static_cast<UINT>(wparam));
      return TRUE;
    }

    case WM_DPICHANGED: {
      const RECT* suggested = reinterpret_cast<const RECT*>(lparam);
      // The suggestion keeps the window's size at the new DPI, which can be more than the
      // monitor it moved to has room for.
      RECT placed = *suggested;
      if (const std::optional<RECT> work =
              WorkArea(::MonitorFromRect(suggested, MONITOR_DEFAULTTONEAREST))) {
        placed = PlaceAfterDpiChange(*suggested, *work);
      }
      ::SetWindowPos(window, nullptr, placed.left, placed.top, placed.right - placed.left,
                     placed.bottom - placed.top, SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }

    case WM_DWMCOLORIZATIONCOLORCHANGED:
      ApplySystemTheme(window);
      return 0;

    default:
      // The window the message is for, not windowHandle_: that one is already null for the
      // messages that follow WM_DESTROY, and the default handling must still reach the window.
      return ::DefWindowProcW(window, message, wparam, lparam);
  }
}

bool Win32Window::AfterCreate() { return true; }

void Win32Window::BeforeDestroy() {}

LRESULT CALLBACK Win32Window::WindowProcedure(HWND window, UINT message, WPARAM wparam,
                                              LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    auto* self = static_cast<Win32Window*>(create->lpCreateParams);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    EnableFrameDpiScaling(window);
    self->windowHandle_ = window;
    return ::DefWindowProcW(window, message, wparam, lparam);
  }
  auto* self = reinterpret_cast<Win32Window*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self != nullptr) {
    return self->HandleMessage(window, message, wparam, lparam);
  }
  return ::DefWindowProcW(window, message, wparam, lparam);
}
