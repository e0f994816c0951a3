// The console the host is attached to, treated like the window: Ctrl+C, Ctrl+Break and closing
// the console end the host with the same teardown as closing its window, so the system proxy is
// put back and the core stopped. Without this the system's default handling would end the
// process on the spot and leave the proxy pointing at a core that no longer runs.
//
// The events reach the window as a message of the host's own, never as WM_CLOSE: the UI runtime
// sees WM_CLOSE first, and a UI that keeps its window open on close (as tray-style UIs do) would
// turn Ctrl+C into "hide the window" while the core and the proxy stay on.
//
// The system runs the handler on a thread of its own and ends the process as soon as the
// handler returns from a closing console, so for that event the handler waits (at most 4 s)
// until this object is destroyed, which the process entry does after the window and its
// services.
#ifndef ORVANTA_RUNNER_CONSOLE_CONTROL_H_
#define ORVANTA_RUNNER_CONSOLE_CONTROL_H_

#include <windows.h>

#include "support/unique_handle.h"

class ConsoleControl {
 public:
  ConsoleControl();
  // Tells a waiting handler that the teardown is over, and stops handling.
  ~ConsoleControl();

  ConsoleControl(const ConsoleControl&) = delete;
  ConsoleControl& operator=(const ConsoleControl&) = delete;

  // From now on the console's control events post `message` to `window`. One object at a time.
  void ForwardControlEvents(HWND window, UINT message);

 private:
  orvanta::UniqueHandle tornDown_;
  bool installed_ = false;
};

#endif  // ORVANTA_RUNNER_CONSOLE_CONTROL_H_
