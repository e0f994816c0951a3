// Process entry of orvanta.exe: one instance per user session, the console, COM, the UI
// program's arguments, the UI window and the message loop.
#include <windows.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "messaging/runtime_project.h"
#include "runner/com_initialization.h"
#include "runner/console_control.h"
#include "runner/flutter_window.h"
#include "runner/utils.h"
#include "support/system_dll.h"
#include "support/unique_handle.h"

namespace {

constexpr wchar_t kSingleInstanceMutex[] = L"Orvanta_SingleInstance";
constexpr wchar_t kWindowTitle[] = L"Orvanta";

constexpr int kExitSuccess = 0;
constexpr int kExitWindowFailed = 1;

// A first instance whose window is gone is closing: it clears the proxy (PowerShell) and ends
// the core, which takes a few seconds. A new start waits that long for it to end.
constexpr DWORD kWaitForClosingInstanceMs = 15000;
constexpr DWORD kClosingInstancePollMs = 100;

// A second start shows the running instance to the user instead of opening a second window.
// False when that instance has no window to show.
bool RaiseFirstInstance() {
  HWND window = ::FindWindowW(Win32Window::kClassName, kWindowTitle);
  if (window == nullptr) {
    return false;
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
  return true;
}

// Takes the single-instance mutex: an empty handle when another instance holds it.
orvanta::UniqueHandle TakeInstanceMutex() {
  orvanta::UniqueHandle mutex(::CreateMutexW(nullptr, FALSE, kSingleInstanceMutex));
  if (::GetLastError() == ERROR_ALREADY_EXISTS) mutex.Reset();
  return mutex;
}

// While the mutex is held and no window shows, the first instance is either closing or not
// yet showing its window. Waits for it to end (the mutex becomes ours) or for its window to
// appear (it is raised, and `raised` says so); gives up after a while. The mutex is polled, not
// waited on, as the first instance never owns it.
orvanta::UniqueHandle WaitForFirstInstance(bool& raised) {
  const ULONGLONG deadline = ::GetTickCount64() + kWaitForClosingInstanceMs;
  while (::GetTickCount64() < deadline) {
    ::Sleep(kClosingInstancePollMs);
    if (orvanta::UniqueHandle mutex = TakeInstanceMutex()) return mutex;
    raised = RaiseFirstInstance();
    if (raised) break;
  }
  return orvanta::UniqueHandle();
}

// A second start ends without a window of its own: one line says why, for a user who started
// it from a console (or a script) and sees nothing happen.
void ReportSecondStart(bool raised) {
  // A windows-subsystem program has a standard error only when it was redirected; otherwise
  // the line goes to the console it was started from, if any.
  const HANDLE error = ::GetStdHandle(STD_ERROR_HANDLE);
  if ((error == nullptr || error == INVALID_HANDLE_VALUE) &&
      ::AttachConsole(ATTACH_PARENT_PROCESS)) {
    FILE* reopened = nullptr;
    freopen_s(&reopened, "CONOUT$", "w", stderr);
  }
  std::fputs(raised ? "Orvanta is already running: its window was brought to the front\n"
                    : "Orvanta is already running but shows no window yet, nor has it ended "
                      "after 15 seconds: not starting a second instance\n",
             stderr);
  std::fflush(stderr);
}

int RunFirstInstance() {
  bool hasConsole = ::AttachConsole(ATTACH_PARENT_PROCESS) != FALSE;
  ConsoleOwner owner = ConsoleOwner::kParent;
  if (!hasConsole && ::IsDebuggerPresent()) {
    OpenDebugConsole();
    hasConsole = ::GetConsoleWindow() != nullptr;
    owner = ConsoleOwner::kHost;
  }

  ScopedComInitialization com;
  // Declared before the window, so it is destroyed after it: a closing console's handler waits
  // for the services to have gone.
  ConsoleControl consoleControl;

  RuntimeProject project(L"data");
  std::vector<std::string> arguments = CollectArguments();
  project.entrypointArguments = std::move(arguments);

  FlutterWindow window(project);
  if (!window.CreateHostWindow(kWindowTitle, Win32Window::WindowOrigin{10, 10},
                               Win32Window::WindowSize{420, 720})) {
    return kExitWindowFailed;
  }
  window.SetExitOnClose(true);
  if (hasConsole) {
    consoleControl.ForwardControlEvents(window.GetHandle(), FlutterWindow::EndHostMessage(), owner);
  }

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
  // No load by name from here on looks in the current folder or along PATH, which anyone can
  // fill (a Downloads folder). The application folder stays: the runtime's plug-ins live there.
  ::SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
  // The system DLLs the host calls, from the system folder, before anything can load a copy
  // of one by name from the application's folder.
  orvanta::SystemDll::LoadAll();
  // Held until the very end, after the window and the services are gone, so a new instance
  // cannot start a second proxy core while this one is still stopping its own.
  orvanta::UniqueHandle instanceMutex = TakeInstanceMutex();
  if (!instanceMutex) {
    bool raised = RaiseFirstInstance();
    if (!raised) instanceMutex = WaitForFirstInstance(raised);
    if (!instanceMutex) {
      ReportSecondStart(raised);
      return kExitSuccess;
    }
  }
  return RunFirstInstance();
}
