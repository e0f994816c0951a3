// The console the host is attached to, treated like the window: closing the console ends the
// host with the same teardown as closing its window, so the system proxy is put back and the
// core stopped. Without this the system's default handling would end the process on the spot
// and leave the proxy pointing at a core that no longer runs.
//
// Ctrl+C and Ctrl+Break end the host the same way only in a console the host opened itself
// (under a debugger). A console it attached to belongs to the program that started it: every
// Ctrl+C typed there (to stop a `ping -t` in the same window, say) reaches every process
// attached, and the user meant it for that program only. There the host swallows both, so the
// system's default handling does not end it either.
//
// The events reach the window as a message of the host's own, never as WM_CLOSE: the UI runtime
// sees WM_CLOSE first, and a UI that keeps its window open on close (as tray-style UIs do) would
// turn the event into "hide the window" while the core and the proxy stay on.
//
// The system runs the handler on a thread of its own and ends the process as soon as the
// handler returns from a closing console, so for that event the handler waits (at most 4 s)
// until this object is destroyed, which the process entry does after the window and its
// services.
#ifndef ORVANTA_RUNNER_CONSOLE_CONTROL_H_
#define ORVANTA_RUNNER_CONSOLE_CONTROL_H_

#include <windows.h>

#include "support/unique_handle.h"

enum class ConsoleOwner {
  kHost,    // opened by the host itself
  kParent,  // the console of the program that started the host
};

// What the handler does with one console event.
struct ConsoleEventResponse {
  bool endHost = false;          // post the end message to the window
  bool waitForTeardown = false;  // return only once the teardown is over (at most 4 s)
  BOOL handled = FALSE;          // FALSE passes the event on to the next handler
};
ConsoleEventResponse RespondToConsoleEvent(DWORD event, ConsoleOwner owner);

// Windows ends a closing console's processes about 5 seconds after the event, whatever their
// handlers do: the handler waits for the teardown a little less.
constexpr DWORD kConsoleTeardownWaitMs = 4000;

class ConsoleControl {
 public:
  // `teardownWaitMs`: how long a closing console's handler waits at most (tests lengthen it).
  explicit ConsoleControl(DWORD teardownWaitMs = kConsoleTeardownWaitMs);
  // Tells a waiting handler that the teardown is over, and stops handling.
  ~ConsoleControl();

  ConsoleControl(const ConsoleControl&) = delete;
  ConsoleControl& operator=(const ConsoleControl&) = delete;

  // From now on the console's control events that end the host post `message` (none when 0)
  // to `window`. One object at a time.
  void ForwardControlEvents(HWND window, UINT message, ConsoleOwner owner);

  // The handler the system calls, on a thread of its own. Tests call it directly for the
  // events they cannot raise.
  static BOOL WINAPI HandleEvent(DWORD event);

 private:
  orvanta::UniqueHandle tornDown_;
  DWORD teardownWaitMs_;
  bool installed_ = false;
};

#endif  // ORVANTA_RUNNER_CONSOLE_CONTROL_H_
