#include "runner/win32_window.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "runner/window_placement.h"
#include "tests/support/test_environment.h"

namespace {

// Exposes the hooks of the base so tests can see when they run and steer AfterCreate.
class RecordingWindow : public Win32Window {
 public:
  bool afterCreateResult = true;
  int afterCreateCalls = 0;
  int beforeDestroyCalls = 0;

  LRESULT Send(UINT message, WPARAM wparam, LPARAM lparam) {
    return ::SendMessageW(GetHandle(), message, wparam, lparam);
  }

 protected:
  bool AfterCreate() override {
    ++afterCreateCalls;
    return afterCreateResult;
  }
  void BeforeDestroy() override { ++beforeDestroyCalls; }
};

RECT WindowRect(HWND window) {
  RECT rect{};
  ::GetWindowRect(window, &rect);
  return rect;
}

bool ClassExists() {
  WNDCLASSEXW info{};
  info.cbSize = sizeof(info);
  return ::GetClassInfoExW(::GetModuleHandleW(nullptr), Win32Window::kClassName, &info) != 0;
}

bool TakeQuitMessage(WPARAM* code) {
  MSG message{};
  if (!::PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) return false;
  *code = message.wParam;
  return true;
}

std::string Describe(const RECT& rect) {
  return "(" + std::to_string(rect.left) + ", " + std::to_string(rect.top) + ") " +
         std::to_string(rect.right - rect.left) + " x " + std::to_string(rect.bottom - rect.top);
}

MONITORINFO MonitorAt(const RECT& rect) {
  MONITORINFO info{};
  info.cbSize = sizeof(info);
  ::GetMonitorInfoW(::MonitorFromRect(&rect, MONITOR_DEFAULTTONEAREST), &info);
  return info;
}

// The arithmetic of creation, scaling then fitting, on monitors the test machine does not have.
TEST(Win32Window, PlacementScalesTruncatesAndKeepsTheWindowInsideTheWorkArea) {
  using Origin = Win32Window::WindowOrigin;
  using Size = Win32Window::WindowSize;
  const struct {
    const char* description;
    UINT dpi;
    Origin origin;
    Size size;
    RECT workArea;
    RECT expected;
  } cases[] = {
      {"96 dpi keeps the values", 96, Origin{10, 10}, Size{420, 720}, RECT{0, 0, 1920, 1040},
       RECT{10, 10, 430, 730}},
      {"120 dpi scales by 1.25 and truncates 12.5 to 12; fits, so nothing moves", 120,
       Origin{10, 10}, Size{420, 720}, RECT{0, 0, 1920, 1040}, RECT{12, 12, 537, 912}},
      {"144 dpi scales by 1.5, truncating 4.5, 151.5, 451.5 and 601.5 one by one", 144,
       Origin{3, 101}, Size{301, 401}, RECT{0, 0, 1280, 1024}, RECT{4, 151, 455, 752}},
      {"1920 x 1080 at 144 dpi, taskbar at the bottom: as tall as the work area, at its top", 144,
       Origin{10, 10}, Size{420, 720}, RECT{0, 0, 1920, 1032}, RECT{15, 0, 645, 1032}},
      {"taskbar at the top: below it and shortened to the rest", 144, Origin{10, 10},
       Size{420, 720}, RECT{0, 72, 1920, 1080}, RECT{15, 72, 645, 1080}},
      {"taskbar at the left: a window that fits in size moves right just past it", 96,
       Origin{10, 10}, Size{420, 720}, RECT{62, 0, 1280, 1024}, RECT{62, 10, 482, 730}},
      {"past the right and bottom edges: moved up and left only as far as needed", 96,
       Origin{1000, 400}, Size{420, 720}, RECT{0, 0, 1280, 1024}, RECT{860, 304, 1280, 1024}},
      {"second monitor left of the primary, at negative x: shortened, x kept", 120,
       Origin{-1000, 10}, Size{420, 720}, RECT{-1366, 0, 0, 728}, RECT{-1250, 0, -725, 728}},
      {"second monitor above the primary, at negative y: moved down onto it", 96, Origin{10, -1100},
       Size{420, 720}, RECT{0, -1080, 1920, 0}, RECT{10, -1080, 430, -360}},
      {"wider and taller than the work area: both shrink to it", 192, Origin{10, 10},
       Size{420, 720}, RECT{0, 0, 800, 600}, RECT{0, 0, 800, 600}},
      {"an empty work area leaves the window as scaled", 120, Origin{10, 10}, Size{420, 720},
       RECT{0, 0, 0, 0}, RECT{12, 12, 537, 912}},
  };
  for (const auto& c : cases) {
    const RECT placed = FitInWorkArea(
        ScaleWindowRect(c.origin.x, c.origin.y, c.size.width, c.size.height, c.dpi), c.workArea);
    EXPECT_EQ(Describe(placed), Describe(c.expected)) << c.description;
  }
  // Nothing to fit into: a DPI change's suggestion stays as it is too.
  const RECT huge{5, 5, 3000, 3000};
  EXPECT_EQ(Describe(PlaceAfterDpiChange(huge, RECT{0, 0, 0, 0})), Describe(huge));
}

// The window as Wine places it, at each DPI on whatever screen the test runs (CTest runs it again
// on laptop screens of their own, see CMakeLists.txt): the scaled geometry where it fits the work
// area the system reports, else shortened to the work area's height at its top, width and x kept.
TEST(Win32Window, OpensHiddenWithAFixedFrameInsideTheScreen) {
  struct Case {
    const char* dpi;
    RECT scaled;
  };
  const Case cases[] = {
      {"96", RECT{10, 10, 430, 730}},
      {"120", RECT{12, 12, 537, 912}},
      {"144", RECT{15, 15, 645, 1095}},
  };
  const MONITORINFO monitor = MonitorAt(RECT{10, 10, 11, 11});
  const RECT work = monitor.rcWork;
  const std::string screen =
      "screen " + Describe(monitor.rcMonitor) + ", work area " + Describe(work);
  for (const Case& c : cases) {
    const std::string description = std::string(c.dpi) + " dpi on the " + screen;
    // Rows for screens whose work area holds the window's width from its x (any laptop's).
    ASSERT_TRUE(work.left <= c.scaled.left && c.scaled.right <= work.right) << description;
    const bool fits = work.top <= c.scaled.top && c.scaled.bottom <= work.bottom;
    const RECT expected =
        fits ? c.scaled : RECT{c.scaled.left, work.top, c.scaled.right, work.bottom};
    // The stand-in runtime answers the DPI query with this variable, read on every call.
    orvanta_test::ScopedEnvironment dpi("ORVANTA_STANDIN_DPI", c.dpi);
    RecordingWindow window;
    ASSERT_TRUE(window.CreateHostWindow(L"Orvanta", {10, 10}, {420, 720})) << description;
    HWND handle = window.GetHandle();
    ASSERT_NE(handle, nullptr) << description;
    EXPECT_EQ(Describe(WindowRect(handle)), Describe(expected))
        << description << (fits ? ": fits" : ": too tall");

    const LONG_PTR style = ::GetWindowLongPtrW(handle, GWL_STYLE);
    EXPECT_FALSE(style & WS_VISIBLE) << description << ": shown before the UI is ready";
    EXPECT_FALSE(style & WS_THICKFRAME) << description << ": resizable";
    EXPECT_FALSE(style & WS_MAXIMIZEBOX) << description << ": maximisable";
    EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX),
              WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX)
        << description;
    EXPECT_EQ(::GetWindowLongPtrW(handle, GWL_EXSTYLE) & WS_EX_TOPMOST, 0) << description;

    EXPECT_EQ(window.afterCreateCalls, 1) << description;
  }
}

// A drag across monitors of different DPI, which Wine's one monitor cannot show: the suggested
// rectangles are made up around the real work area and sent as the system would, and each axis
// is judged on its own.
TEST(Win32Window, DpiChangeFitsOnlyTheAxisTooLargeAndARoundTripKeepsTheDesignSize) {
  RecordingWindow window;
  ASSERT_TRUE(window.CreateHostWindow(L"dpi", {10, 10}, {300, 200}));
  const RECT work = MonitorAt(WindowRect(window.GetHandle())).rcWork;
  const LONG width = work.right - work.left;
  const LONG height = work.bottom - work.top;
  struct Case {
    const char* description;
    RECT suggested;
    RECT expected;
  };
  const Case cases[] = {
      {"across the right edge, under the dragging cursor: as given",
       {work.right - 200, work.top + 50, work.right + 325, work.top + 50 + height / 2},
       {work.right - 200, work.top + 50, work.right + 325, work.top + 50 + height / 2}},
      {"exactly the work area's size, shifted up and left: as given",
       {work.left - 7, work.top - 9, work.right - 7, work.bottom - 9},
       {work.left - 7, work.top - 9, work.right - 7, work.bottom - 9}},
      {"one pixel taller, still partly on the monitor left of it: shortened, x left as given",
       {work.left - 200, work.top + 50, work.left + 100, work.top + 50 + height + 1},
       {work.left - 200, work.top, work.left + 100, work.bottom}},
      {"wider than the work area and off its bottom: narrowed to it, y left as given",
       {work.left - 30, work.bottom - 100, work.left - 30 + width + 50, work.bottom + 200},
       {work.left, work.bottom - 100, work.right, work.bottom + 200}},
      {"larger both ways: the work area",
       {work.left + 5, work.top + 5, work.left + 5 + width + 1, work.top + 5 + height + 1},
       work},
  };
  for (const Case& c : cases) {
    RECT suggested = c.suggested;
    EXPECT_EQ(
        window.Send(WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested)), 0);
    EXPECT_EQ(Describe(WindowRect(window.GetHandle())), Describe(c.expected)) << c.description;
  }

  // Asked before each change, after the fits above shrank the window: the design size at the
  // new DPI, whatever the size now, so a round trip ends where it began.
  const struct {
    UINT dpi;
    SIZE expected;
  } sizes[] = {{144, {450, 300}}, {96, {300, 200}}, {120, {375, 250}}, {96, {300, 200}}};
  for (const auto& size : sizes) {
    SIZE proposed{width + 1, height + 1};
    EXPECT_EQ(window.Send(WM_GETDPISCALEDSIZE, size.dpi, reinterpret_cast<LPARAM>(&proposed)),
              TRUE);
    EXPECT_EQ(proposed.cx, size.expected.cx) << size.dpi << " dpi";
    EXPECT_EQ(proposed.cy, size.expected.cy) << size.dpi << " dpi";
  }
}

// The class lives as long as any window object; a window replaced or destroyed is gone with
// its hooks run, and only a window that ends the program posts the quit message, once.
TEST(Win32Window, WindowsComeAndGoWithTheirClassAndOnlyAnExitingOnePostsQuit) {
  WPARAM code = 99;
  while (TakeQuitMessage(&code)) {
  }
  {
    auto first = std::make_unique<RecordingWindow>();
    RecordingWindow second;
    EXPECT_EQ(Win32Window::LiveWindowCount(), 2);
    ASSERT_TRUE(first->CreateHostWindow(L"one", {10, 10}, {100, 100}));
    HWND replaced = first->GetHandle();
    ASSERT_TRUE(first->CreateHostWindow(L"two", {10, 10}, {100, 100}));
    EXPECT_FALSE(::IsWindow(replaced)) << "the earlier window was left behind";
    ASSERT_TRUE(second.CreateHostWindow(L"second", {10, 10}, {100, 100}));
    first.reset();
    EXPECT_EQ(Win32Window::LiveWindowCount(), 1);
    EXPECT_TRUE(Win32Window::IsClassRegistered());
    EXPECT_TRUE(ClassExists()) << "class dropped while a window object still lives";

    const int hooks_before = second.beforeDestroyCalls;
    ASSERT_TRUE(::DestroyWindow(second.GetHandle()));
    EXPECT_EQ(second.GetHandle(), nullptr) << "the handle must be cleared at WM_DESTROY";
    EXPECT_GT(second.beforeDestroyCalls, hooks_before) << "BeforeDestroy must run at WM_DESTROY";
    EXPECT_FALSE(TakeQuitMessage(&code)) << "quit posted although exitOnClose is false";

    second.afterCreateResult = false;
    EXPECT_FALSE(second.CreateHostWindow(L"refused", {10, 10}, {100, 100}));
    EXPECT_EQ(second.afterCreateCalls, 2);
  }
  EXPECT_EQ(Win32Window::LiveWindowCount(), 0);
  EXPECT_FALSE(Win32Window::IsClassRegistered());
  EXPECT_FALSE(ClassExists()) << "class left registered after the last window object";

  RecordingWindow closing;
  ASSERT_TRUE(closing.CreateHostWindow(L"closing", {10, 10}, {200, 100}))
      << "the class was not registered again";
  closing.SetExitOnClose(true);
  ASSERT_TRUE(::DestroyWindow(closing.GetHandle()));
  ASSERT_TRUE(TakeQuitMessage(&code)) << "no quit message after the window was destroyed";
  EXPECT_EQ(code, 0u);
  EXPECT_FALSE(TakeQuitMessage(&code)) << "quit posted more than once";
  // Destroying the object later must not touch the window again or post a second quit.
  closing.SetExitOnClose(false);
}

TEST(Win32Window, ContentFollowsTheClientAreaOnlyOnceAttached) {
  RecordingWindow window;
  ASSERT_TRUE(window.CreateHostWindow(L"content", {10, 10}, {300, 200}));
  HWND content = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 500, 500, 33, 44, nullptr, nullptr,
                                   ::GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(content, nullptr);

  EXPECT_EQ(window.Send(WM_SIZE, SIZE_RESTORED, 0), 0);
  EXPECT_EQ(WindowRect(content).left, 500) << "WM_SIZE before AttachContent moved a window";

  window.AttachContent(content);
  EXPECT_EQ(::GetAncestor(content, GA_PARENT), window.GetHandle());
  const RECT client = window.GetClientArea();
  RECT child{};
  ASSERT_TRUE(::MoveWindow(content, 0, 0, 5, 5, TRUE));
  EXPECT_EQ(window.Send(WM_SIZE, SIZE_RESTORED, 0), 0);
  ::GetClientRect(content, &child);
  EXPECT_EQ(child.right, client.right - client.left) << "WM_SIZE did not refit the content";
  EXPECT_EQ(child.bottom, client.bottom - client.top);

  // The window owns its child now: destroying the window destroys the content with it.
  window.DestroyHostWindow();
  EXPECT_FALSE(::IsWindow(content));
}

TEST(Win32Window, DarkFrameFollowsAppsUseLightTheme) {
  using orvanta_test::WriteRawValue;
  const char kKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";
  const char kName[] = "AppsUseLightTheme";
  orvanta_test::ScopedRegistryValue restore(kKey, kName);
  for (const DWORD light : {0u, 1u, 7u}) {
    WriteRawValue(kKey, kName, orvanta_test::DwordValue(light));
    EXPECT_EQ(Win32Window::ReadDarkModePreference(), std::optional<BOOL>(light == 0)) << light;
  }
  WriteRawValue(kKey, kName, orvanta_test::TextValue(L"0"));
  EXPECT_EQ(Win32Window::ReadDarkModePreference(), std::nullopt) << "text must not count";
  WriteRawValue(kKey, kName, orvanta_test::RawValue());
  EXPECT_EQ(Win32Window::ReadDarkModePreference(), std::nullopt);
}

}  // namespace
