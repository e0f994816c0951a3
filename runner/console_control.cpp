#include "runner/console_control.h"

#include <atomic>

namespace {

// Windows ends a closing console's processes about 5 seconds after the event, whatever their
// handlers do. Returning before that ends the process on its own terms; the proxy is put back
// first in the teardown, and the core goes with the process's job in any case.
constexpr DWORD kTeardownWaitMs = 4000;

// The handler takes no context, and runs on a thread of the system's.
std::atomic<HWND> target{nullptr};
std::atomic<UINT> targetMessage{0};
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
  HWND window = target.load();
  if (window != nullptr) ::PostMessageW(window, targetMessage.load(), 0, 0);
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
  target.store(nullptr);
  ::SetEvent(tornDown_.Get());
  ::SetConsoleCtrlHandler(OnControlEvent, FALSE);
  // A handler that takes the event after this finds it gone or closed and returns at once:
  // either way the teardown it would wait for is over.
  tornDownEvent.store(nullptr);
}

void ConsoleControl::ForwardControlEvents(HWND window, UINT message) {
  targetMessage.store(message);
  target.store(window);
  tornDownEvent.store(tornDown_.Get());
  installed_ = ::SetConsoleCtrlHandler(OnControlEvent, TRUE) != FALSE;
}
