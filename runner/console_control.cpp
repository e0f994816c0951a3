#include "runner/console_control.h"

#include <atomic>

namespace {

// Returning before Windows ends the process ends it on its own terms; the proxy is put back
// first in the teardown, and the core goes with the process's job in any case.
// The handler takes no context, and runs on a thread of the system's.
std::atomic<HWND> target{nullptr};
std::atomic<UINT> targetMessage{0};
std::atomic<ConsoleOwner> targetOwner{ConsoleOwner::kParent};
std::atomic<HANDLE> tornDownEvent{nullptr};
std::atomic<DWORD> teardownWait{kConsoleTeardownWaitMs};

}  // namespace

ConsoleEventResponse RespondToConsoleEvent(DWORD event, ConsoleOwner owner) {
  ConsoleEventResponse response;
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      // Handled either way: passed on, the default handler would end the process at once.
      response.endHost = owner == ConsoleOwner::kHost;
      response.handled = TRUE;
      break;
    case CTRL_CLOSE_EVENT:
      response.endHost = true;
      response.waitForTeardown = true;
      response.handled = TRUE;
      break;
    default:
      // Log-off and shutdown reach the window as WM_ENDSESSION.
      break;
  }
  return response;
}

BOOL WINAPI ConsoleControl::HandleEvent(DWORD event) {
  const ConsoleEventResponse response = RespondToConsoleEvent(event, targetOwner.load());
  HWND window = target.load();
  const UINT message = targetMessage.load();
  if (response.endHost && window != nullptr && message != 0) {
    ::PostMessageW(window, message, 0, 0);
  }
  HANDLE tornDown = tornDownEvent.load();
  if (response.waitForTeardown && tornDown != nullptr) {
    ::WaitForSingleObject(tornDown, teardownWait.load());
  }
  return response.handled;
}

ConsoleControl::ConsoleControl(DWORD teardownWaitMs)
    : tornDown_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)), teardownWaitMs_(teardownWaitMs) {}

ConsoleControl::~ConsoleControl() {
  if (!installed_) return;
  target.store(nullptr);
  ::SetEvent(tornDown_.Get());
  ::SetConsoleCtrlHandler(HandleEvent, FALSE);
  // A handler that takes the event after this finds it gone or closed and returns at once:
  // either way the teardown it would wait for is over.
  tornDownEvent.store(nullptr);
}

void ConsoleControl::ForwardControlEvents(HWND window, UINT message, ConsoleOwner owner) {
  targetMessage.store(message);
  targetOwner.store(owner);
  teardownWait.store(teardownWaitMs_);
  target.store(window);
  tornDownEvent.store(tornDown_.Get());
  installed_ = ::SetConsoleCtrlHandler(HandleEvent, TRUE) != FALSE;
}
