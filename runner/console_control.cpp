#include "runner/console_control.h"

#include <atomic>

namespace {

// Windows gives a closing console's processes 5 seconds before it ends them anyway.
constexpr DWORD kTeardownWaitMs = 10000;

// The handler takes no context, and runs on a thread of the system's.
std::atomic<HWND> closeTarget{nullptr};
std::atomic<HANDLE> tornDownEvent{nullptr};

BOOL WINAPI OnControlEvent(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
      break;
    default:
      // Log-off and shutdown reach the window as WM_ENDSESSION.
      return FALSE;
  }
  HWND window = closeTarget.load();
  if (window != nullptr) ::PostMessageW(window, WM_CLOSE, 0, 0);
  HANDLE tornDown = tornDownEvent.load();
  if (event == CTRL_CLOSE_EVENT && tornDown != nullptr) {
    ::WaitForSingleObject(tornDown, kTeardownWaitMs);
  }
  return TRUE;
}

}  // namespace

ConsoleControl::ConsoleControl() : tornDown_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

ConsoleControl::~ConsoleControl() {
  if (!installed_) return;
  closeTarget.store(nullptr);
  ::SetEvent(tornDown_.Get());
  ::SetConsoleCtrlHandler(OnControlEvent, FALSE);
  // A handler that takes the event after this finds it gone or closed and returns at once:
  // either way the teardown it would wait for is over.
  tornDownEvent.store(nullptr);
}

void ConsoleControl::CloseOnControlEvents(HWND window) {
  closeTarget.store(window);
  tornDownEvent.store(tornDown_.Get());
  installed_ = ::SetConsoleCtrlHandler(OnControlEvent, TRUE) != FALSE;
}
