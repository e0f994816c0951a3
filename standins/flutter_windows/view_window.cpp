// The view controller and view of the stand-in runtime.
#include "standins/flutter_windows/view_window.h"

#include <cstdlib>
#include <string>

#include "standins/flutter_windows/ui_bridge.h"

namespace standin {

namespace {

const wchar_t kViewClass[] = L"OrvantaStandinRuntimeView";
const wchar_t kParkingClass[] = L"OrvantaStandinRuntimeParking";

HMODULE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&ThisModule), &module);
  return module;
}

// A frame has been drawn: the engine's pending next-frame callback runs once, after it.
void FinishFrame(FlutterDesktopViewController* controller) {
  FlutterDesktopEngine* engine = controller->engine;
  if (engine == nullptr || engine->nextFrame == nullptr) return;
  FlutterDesktopOnNextFrameCallback callback = engine->nextFrame;
  void* user_data = engine->nextFrameData;
  engine->nextFrame = nullptr;
  engine->nextFrameData = nullptr;
  {
    Runtime& runtime = TheRuntime();
    std::lock_guard<std::mutex> guard(runtime.mutex);
    ++runtime.nextFrameCallbacks;
    if (!runtime.firstFrameMs) runtime.firstFrameMs = GetTickCount64();
  }
  callback(user_data);
}

void PaintPanel(HWND hwnd) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(hwnd, &paint);
  RECT client;
  GetClientRect(hwnd, &client);
  FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  std::wstring text = L"Stand-in UI runtime\n";
  {
    Runtime& runtime = TheRuntime();
    std::lock_guard<std::mutex> guard(runtime.mutex);
    for (const std::wstring& line : runtime.panelLines) text += line + L"\n";
  }
  RECT area = client;
  area.left += 8;
  area.top += 8;
  SetBkMode(dc, TRANSPARENT);
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &area, DT_LEFT | DT_NOPREFIX);
  EndPaint(hwnd, &paint);
}

LRESULT CALLBACK ViewProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    return DefWindowProcW(hwnd, message, wparam, lparam);
  }
  auto* controller =
      reinterpret_cast<FlutterDesktopViewController*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (controller == nullptr) return DefWindowProcW(hwnd, message, wparam, lparam);
  switch (message) {
    case WM_PAINT:
      PaintPanel(hwnd);
      FinishFrame(controller);
      return 0;
    case kFrameMessage:
      // A hidden window gets no WM_PAINT, yet the UI program draws frames regardless: the
      // host shows its window only after the first one.
      InvalidateRect(hwnd, nullptr, TRUE);
      FinishFrame(controller);
      return 0;
    case kBridgeMessage:
      ServeBridgeQueue();
      return 0;
    case WM_NCDESTROY:
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      controller->view.hwnd = nullptr;
      break;
    default:
      break;
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

bool RegisterClasses() {
  static const bool registered = [] {
    WNDCLASSEXW view = {};
    view.cbSize = sizeof(view);
    view.lpfnWndProc = &ViewProc;
    view.hInstance = ThisModule();
    view.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    view.lpszClassName = kViewClass;
    WNDCLASSEXW parking = {};
    parking.cbSize = sizeof(parking);
    parking.lpfnWndProc = &DefWindowProcW;
    parking.hInstance = ThisModule();
    parking.lpszClassName = kParkingClass;
    return RegisterClassExW(&view) != 0 && RegisterClassExW(&parking) != 0;
  }();
  return registered;
}

}  // namespace

bool CreateViewWindows(FlutterDesktopViewController* controller) {
  if (!RegisterClasses()) return false;
  controller->parking =
      CreateWindowExW(0, kParkingClass, L"", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                      controller->requestedWidth, controller->requestedHeight, nullptr, nullptr,
                      ThisModule(), nullptr);
  if (controller->parking == nullptr) return false;
  controller->view.hwnd = CreateWindowExW(
      0, kViewClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0, controller->requestedWidth,
      controller->requestedHeight, controller->parking, nullptr, ThisModule(), controller);
  if (controller->view.hwnd == nullptr) {
    DestroyWindow(controller->parking);
    controller->parking = nullptr;
    return false;
  }
  return true;
}

void DestroyViewWindows(FlutterDesktopViewController* controller) {
  // The host may have destroyed the view with its own window already.
  if (controller->view.hwnd != nullptr && IsWindow(controller->view.hwnd)) {
    DestroyWindow(controller->view.hwnd);
  }
  controller->view.hwnd = nullptr;
  if (controller->parking != nullptr && IsWindow(controller->parking)) {
    DestroyWindow(controller->parking);
  }
  controller->parking = nullptr;
}

UINT MonitorDpi(HMONITOR monitor) {
  char buffer[32];
  DWORD length = GetEnvironmentVariableA("ORVANTA_STANDIN_DPI", buffer, sizeof(buffer));
  if (length > 0 && length < sizeof(buffer)) {
    char* end = nullptr;
    unsigned long value = std::strtoul(buffer, &end, 10);
    if (end != buffer && *end == '\0' && value > 0 && value < 10000) {
      return static_cast<UINT>(value);
    }
  }
  using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
  if (HMODULE shcore = LoadLibraryW(L"shcore.dll")) {
    // Through void* because FARPROC and the real signature are unrelated function types.
    auto get_dpi = reinterpret_cast<GetDpiForMonitorFn>(
        reinterpret_cast<void*>(GetProcAddress(shcore, "GetDpiForMonitor")));
    UINT x = 0;
    UINT y = 0;
    bool ok = get_dpi != nullptr && monitor != nullptr && SUCCEEDED(get_dpi(monitor, 0, &x, &y));
    FreeLibrary(shcore);
    if (ok && x != 0) return x;
  }
  HDC screen = GetDC(nullptr);
  int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSX) : 0;
  if (screen != nullptr) ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

}  // namespace standin

using standin::Runtime;
using standin::TheRuntime;

extern "C" {

FlutterDesktopViewControllerRef FlutterDesktopViewControllerCreate(int width, int height,
                                                                   FlutterDesktopEngineRef engine) {
  if (engine == nullptr || engine->controller != nullptr) return nullptr;
  char fail[8];
  DWORD length = GetEnvironmentVariableA("ORVANTA_STANDIN_FAIL_VIEW", fail, sizeof(fail));
  if (length == 1 && fail[0] == '1') return nullptr;

  auto* controller = new FlutterDesktopViewController();
  controller->engine = engine;
  controller->requestedWidth = width;
  controller->requestedHeight = height;
  char hide[8];
  length = GetEnvironmentVariableA("ORVANTA_STANDIN_HIDE_ON_CLOSE", hide, sizeof(hide));
  controller->hideOnClose = length == 1 && hide[0] == '1';
  if (!standin::CreateViewWindows(controller)) {
    delete controller;
    return nullptr;
  }
  engine->controller = controller;
  {
    Runtime& runtime = TheRuntime();
    std::lock_guard<std::mutex> guard(runtime.mutex);
    ++runtime.controllersCreated;
    runtime.currentController = controller;
    runtime.currentEngine = engine;
  }
  // The UI program's first frame.
  PostMessageW(controller->view.hwnd, standin::kFrameMessage, 0, 0);
  standin::StartBridgeIfConfigured();
  return controller;
}

void FlutterDesktopViewControllerDestroy(FlutterDesktopViewControllerRef controller) {
  if (controller == nullptr) return;
  {
    Runtime& runtime = TheRuntime();
    std::lock_guard<std::mutex> guard(runtime.mutex);
    ++runtime.controllersDestroyed;
  }
  FlutterDesktopEngine* engine = controller->engine;
  standin::AbandonEngineTraffic(engine);
  {
    Runtime& runtime = TheRuntime();
    std::lock_guard<std::mutex> guard(runtime.mutex);
    if (runtime.currentController == controller) runtime.currentController = nullptr;
  }
  standin::DestroyViewWindows(controller);
  engine->controller = nullptr;
  standin::EndEngine(engine);
  delete controller;
}

FlutterDesktopViewRef FlutterDesktopViewControllerGetView(
    FlutterDesktopViewControllerRef controller) {
  return controller != nullptr ? &controller->view : nullptr;
}

void FlutterDesktopViewControllerForceRedraw(FlutterDesktopViewControllerRef controller) {
  if (controller != nullptr && controller->view.hwnd != nullptr) {
    PostMessageW(controller->view.hwnd, standin::kFrameMessage, 0, 0);
  }
}

bool FlutterDesktopViewControllerHandleTopLevelWindowProc(
    FlutterDesktopViewControllerRef controller, HWND hwnd, UINT message, WPARAM wparam,
    LPARAM lparam, LRESULT* result) {
  static_cast<void>(wparam);
  static_cast<void>(lparam);
  // As a tray-style UI does: the window only hides on close. Such a UI (or a plug-in that sees
  // the top-level messages) may take messages of an application's own range too.
  if (controller != nullptr && controller->hideOnClose &&
      (message == WM_CLOSE || message >= WM_APP)) {
    if (message == WM_CLOSE) ShowWindow(hwnd, SW_HIDE);
    *result = 0;
    return true;
  }
  // Otherwise every message belongs to the host; the stand-in needs none of them for itself.
  return false;
}

HWND FlutterDesktopViewGetHWND(FlutterDesktopViewRef view) {
  return view != nullptr ? view->hwnd : nullptr;
}

}  // extern "C"
