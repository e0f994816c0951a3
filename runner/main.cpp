// Process entry of orvanta.exe: one instance per user session, the console, COM, the UI
// program's arguments, the UI window and the message loop.
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "messaging/runtime_project.h"
#include "runner/com_initialization.h"
#include "runner/flutter_window.h"
#include "runner/utils.h"
#include "support/unique_handle.h"

namespace {

constexpr wchar_t kSingleInstanceMutex[] = L"Orvanta_SingleInstance";
constexpr wchar_t kWindowTitle[] = L"Orvanta";

constexpr int kExitSuccess = 0;
constexpr int kExitWindowFailed = 1;

// A second start shows the running instance to the user instead of opening a second window.
void RaiseFirstInstance() {
  HWND window = ::FindWindowW(Win32Window::kClassName, kWindowTitle);
  if (window == nullptr) {
    return;
  }
  if (::IsIconic(window)) {
    ::ShowWindow(window, SW_RESTORE);
  } else if (!::IsWindowVisible(window)) {
    ::ShowWindow(window, SW_SHOW);
  }
  ::SetForegroundWindow(window);
  ::SetActiveWindow(window);
  ::FlashWindow(window, TRUE);
  // Topmost and straight back: lifts the window above others without pinning it there.
  ::SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  ::SetWindowPos(window, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

int RunFirstInstance() {
  if (!::AttachConsole(ATTACH_PARENT_PROCESS) && ::IsDebuggerPresent()) {
    OpenDebugConsole();
  }

  ScopedComInitialization com;

  RuntimeProject project(L"data");
  std::vector<std::string> arguments = CollectArguments();
  project.entrypointArguments = std::move(arguments);

  FlutterWindow window(project);
  if (!window.CreateHostWindow(kWindowTitle, Win32Window::WindowOrigin{10, 10},
                               Win32Window::WindowSize{420, 720})) {
    return kExitWindowFailed;
  }
  window.SetExitOnClose(true);

  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }

  // Before the window object goes, as the services stop only then.
  com.End();
  return kExitSuccess;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // Held until the very end, after the window and the services are gone, so a new instance
  // cannot start a second proxy core while this one is still stopping its own.
  orvanta::UniqueHandle instance_mutex(::CreateMutexW(nullptr, FALSE, kSingleInstanceMutex));
  const DWORD error = ::GetLastError();
  if (!instance_mutex || error == ERROR_ALREADY_EXISTS) {
    instance_mutex.Reset();
    RaiseFirstInstance();
    return kExitSuccess;
  }
  return RunFirstInstance();
}
