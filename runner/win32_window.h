// Win32Window: the base of the process's one top-level window.
//
// It registers the window class "FLUTTER_RUNNER_WIN32_WINDOW", creates a hidden window whose
// origin and size are given in 96-dpi units and scaled to the monitor the window appears on
// (and kept inside that monitor's work area; after a DPI change it keeps its design size
// scaled to the new DPI, and only an axis too large for the new monitor's work area is fitted
// into it), follows the user's light or dark app theme,
// keeps one child window filling its client area, and posts the quit message when the window
// is destroyed (if asked to).
//
// Ownership: the object owns its top-level window and destroys it at the latest in its
// destructor. The child given to AttachContent is owned by whoever created it; it is only
// parented and sized here. The class registration is shared by every object and dropped when
// the last object is gone. Everything runs on the thread that created the window.
//
// Failure: CreateHostWindow returns false when the window cannot be created (a failed class
// registration shows up the same way) or when AfterCreate of a derived class refuses.
#ifndef ORVANTA_RUNNER_WIN32_WINDOW_H_
#define ORVANTA_RUNNER_WIN32_WINDOW_H_

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

class Win32Window {
 public:
  // The class of every host window; a second start of the program finds the first by it.
  static constexpr wchar_t kClassName[] = L"FLUTTER_RUNNER_WIN32_WINDOW";

  // Position and size in logical pixels (96 dpi).
  struct WindowOrigin {
    int32_t x;
    int32_t y;
  };
  struct WindowSize {
    int32_t width;
    int32_t height;
  };

  Win32Window();
  virtual ~Win32Window();

  Win32Window(const Win32Window&) = delete;
  Win32Window& operator=(const Win32Window&) = delete;

  // Tears down any window this object has, then creates a new hidden one. The window is shown
  // by whoever decides it is ready (ShowNormal). False when the window class cannot be
  // registered, the window cannot be created, or AfterCreate fails.
  bool CreateHostWindow(const std::wstring& title, const WindowOrigin& origin,
                        const WindowSize& size);

  // Runs BeforeDestroy, destroys the window if there is one and unregisters the class once no
  // Win32Window object is alive. Safe to run any number of times: destroying the window sends
  // WM_DESTROY, which runs it once more while the first run is still inside DestroyWindow.
  void DestroyHostWindow();

  // The top-level window; null before creation and from its WM_DESTROY on.
  HWND GetHandle() const { return windowHandle_; }

  RECT GetClientArea() const;

  // Makes `content` the child that fills the client area and has the focus.
  void AttachContent(HWND content);

  // When true, the destruction of the window ends the thread's message loop.
  void SetExitOnClose(bool exit_on_close) { exitOnClose_ = exit_on_close; }

  bool ShowNormal();

  // Sets the dark frame when the user prefers dark apps; leaves the frame alone when the
  // preference cannot be read.
  static void ApplySystemTheme(HWND window);

  // TRUE when "AppsUseLightTheme" is 0, FALSE for any other value, nothing when it is missing
  // or not a 32-bit number.
  static std::optional<BOOL> ReadDarkModePreference();

  // How many Win32Window objects exist, and whether the window class is registered now.
  static int32_t LiveWindowCount();
  static bool IsClassRegistered();

 protected:
  virtual LRESULT HandleMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

  // Runs at the end of window creation; its result becomes CreateHostWindow's.
  virtual bool AfterCreate();

  // Runs first whenever the window is torn down, also when it is destroyed by the system.
  virtual void BeforeDestroy();

 private:
  static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

  bool exitOnClose_ = false;
  // The size asked for at creation, in 96-dpi units: what every DPI change scales from.
  WindowSize designSize_{0, 0};
  HWND windowHandle_ = nullptr;
  HWND contentHandle_ = nullptr;
};

#endif  // ORVANTA_RUNNER_WIN32_WINDOW_H_
