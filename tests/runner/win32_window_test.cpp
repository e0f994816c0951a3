#include "runner/win32_window.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "tests/support/test_environment.h"

namespace {

constexpr const wchar_t* kClassName = Win32Window::kClassName;

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

// The stand-in runtime answers the DPI query with this variable; it is read on every call.
class ScopedStandinDpi {
 public:
  explicit ScopedStandinDpi(const char* dpi) {
    ::SetEnvironmentVariableA("ORVANTA_STANDIN_DPI", dpi);
  }
  ~ScopedStandinDpi() { ::SetEnvironmentVariableA("ORVANTA_STANDIN_DPI", nullptr); }
};

RECT WindowRect(HWND window) {
  RECT rect{};
  ::GetWindowRect(window, &rect);
  return rect;
}

bool ClassExists() {
  WNDCLASSEXW info{};
  info.cbSize = sizeof(info);
  return ::GetClassInfoExW(::GetModuleHandleW(nullptr), kClassName, &info) != 0;
}

bool TakeQuitMessage(WPARAM* code) {
  MSG message{};
  if (!::PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) return false;
  *code = message.wParam;
  return true;
}

struct GeometryCase {
  const char* description;
  const char* dpi;
  Win32Window::WindowOrigin origin;
  Win32Window::WindowSize size;
  RECT expected;
};

TEST(Win32Window, CreatesHiddenFixedFrameWindowScaledToMonitorDpi) {
  const GeometryCase cases[] = {
      {"120 dpi scales by 1.25 and truncates 12.5 to 12",
       "120",
       {10, 10},
       {420, 720},
       {12, 12, 537, 912}},
      // Kept inside the virtual screen, which clamps larger windows.
      {"144 dpi scales by 1.5, truncating 4.5 and 151.5",
       "144",
       {3, 101},
       {301, 401},
       {4, 151, 455, 752}},
  };
  for (const GeometryCase& c : cases) {
    ScopedStandinDpi dpi(c.dpi);
    RecordingWindow window;
    ASSERT_TRUE(window.CreateHostWindow(L"Orvanta", c.origin, c.size)) << c.description;
    HWND handle = window.GetHandle();
    ASSERT_NE(handle, nullptr) << c.description;

    const RECT rect = WindowRect(handle);
    EXPECT_EQ(rect.left, c.expected.left) << c.description;
    EXPECT_EQ(rect.top, c.expected.top) << c.description;
    EXPECT_EQ(rect.right - rect.left, c.expected.right - c.expected.left) << c.description;
    EXPECT_EQ(rect.bottom - rect.top, c.expected.bottom - c.expected.top) << c.description;

    const LONG_PTR style = ::GetWindowLongPtrW(handle, GWL_STYLE);
    EXPECT_FALSE(style & WS_VISIBLE) << c.description << ": shown before the UI is ready";
    EXPECT_FALSE(style & WS_THICKFRAME) << c.description << ": resizable";
    EXPECT_FALSE(style & WS_MAXIMIZEBOX) << c.description << ": maximisable";
    EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX),
              WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX)
        << c.description;
    EXPECT_EQ(::GetWindowLongPtrW(handle, GWL_EXSTYLE) & WS_EX_TOPMOST, 0) << c.description;

    EXPECT_EQ(window.afterCreateCalls, 1) << c.description;
  }
}

TEST(Win32Window, DestructionEndsTheLoopOnlyWhenExitOnClose) {
  WPARAM code = 99;
  while (TakeQuitMessage(&code)) {
  }

  RecordingWindow quiet;
  ASSERT_TRUE(quiet.CreateHostWindow(L"quiet", {10, 10}, {200, 100}));
  HWND quiet_handle = quiet.GetHandle();
  const int hooks_before = quiet.beforeDestroyCalls;
  ASSERT_TRUE(::DestroyWindow(quiet_handle));
  EXPECT_EQ(quiet.GetHandle(), nullptr) << "the handle must be cleared at WM_DESTROY";
  EXPECT_GT(quiet.beforeDestroyCalls, hooks_before) << "BeforeDestroy must run at WM_DESTROY";
  EXPECT_FALSE(TakeQuitMessage(&code)) << "quit posted although exitOnClose is false";

  RecordingWindow closing;
  ASSERT_TRUE(closing.CreateHostWindow(L"closing", {10, 10}, {200, 100}));
  closing.SetExitOnClose(true);
  ASSERT_TRUE(::DestroyWindow(closing.GetHandle()));
  EXPECT_EQ(closing.GetHandle(), nullptr);
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

TEST(Win32Window, ClassStaysRegisteredWhileAnyWindowObjectLives) {
  {
    auto first = std::make_unique<RecordingWindow>();
    auto second = std::make_unique<RecordingWindow>();
    EXPECT_EQ(Win32Window::LiveWindowCount(), 2);
    ASSERT_TRUE(first->CreateHostWindow(L"first", {10, 10}, {100, 100}));
    ASSERT_TRUE(second->CreateHostWindow(L"second", {10, 10}, {100, 100}));
    EXPECT_TRUE(Win32Window::IsClassRegistered());

    first.reset();
    EXPECT_EQ(Win32Window::LiveWindowCount(), 1);
    EXPECT_TRUE(Win32Window::IsClassRegistered());
    EXPECT_TRUE(ClassExists()) << "class dropped while a window object still lives";
    EXPECT_TRUE(::IsWindow(second->GetHandle()));
  }
  EXPECT_EQ(Win32Window::LiveWindowCount(), 0);
  EXPECT_FALSE(Win32Window::IsClassRegistered());
  EXPECT_FALSE(ClassExists()) << "class left registered after the last window object";

  // Registered again by the next creation.
  RecordingWindow again;
  ASSERT_TRUE(again.CreateHostWindow(L"again", {10, 10}, {100, 100}));
  EXPECT_TRUE(ClassExists());
}

TEST(Win32Window, CreationFailsWhenAfterCreateRefusesAndReplacesAnEarlierWindow) {
  RecordingWindow window;
  ASSERT_TRUE(window.CreateHostWindow(L"one", {10, 10}, {100, 100}));
  HWND first = window.GetHandle();
  ASSERT_TRUE(window.CreateHostWindow(L"two", {10, 10}, {100, 100}));
  EXPECT_FALSE(::IsWindow(first)) << "the earlier window was left behind";
  EXPECT_NE(window.GetHandle(), nullptr);

  window.afterCreateResult = false;
  EXPECT_FALSE(window.CreateHostWindow(L"three", {10, 10}, {100, 100}));
  EXPECT_EQ(window.afterCreateCalls, 3);
}

constexpr char kPersonalize[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";

void SetTheme(DWORD type, const void* data, DWORD size) {
  ASSERT_EQ(
      ::RegSetKeyValueA(HKEY_CURRENT_USER, kPersonalize, "AppsUseLightTheme", type, data, size),
      ERROR_SUCCESS);
}

TEST(Win32Window, DarkFrameFollowsAppsUseLightTheme) {
  orvanta_test::ScopedRegistryValue restore(kPersonalize, "AppsUseLightTheme");
  for (const DWORD light : {0u, 1u, 7u}) {
    SetTheme(REG_DWORD, &light, sizeof(light));
    EXPECT_EQ(Win32Window::ReadDarkModePreference(), std::optional<BOOL>(light == 0)) << light;
  }
  SetTheme(REG_SZ, "0", 2);
  EXPECT_EQ(Win32Window::ReadDarkModePreference(), std::nullopt) << "text must not count";
  ::RegDeleteKeyValueA(HKEY_CURRENT_USER, kPersonalize, "AppsUseLightTheme");
  EXPECT_EQ(Win32Window::ReadDarkModePreference(), std::nullopt);

  // Creation and a colour change go on normally whatever the preference is.
  const DWORD dark = 0;
  SetTheme(REG_DWORD, &dark, sizeof(dark));
  RecordingWindow window;
  ASSERT_TRUE(window.CreateHostWindow(L"theme", {10, 10}, {100, 100}));
  EXPECT_EQ(window.Send(WM_DWMCOLORIZATIONCOLORCHANGED, 0, 0), 0);
}

}  // namespace
