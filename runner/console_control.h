// The console the host is attached to, treated like the window: Ctrl+C, Ctrl+Break and closing
// the console close the host's window, so the core is stopped and the system proxy cleared as
// when the user closes it. Without this the system's default handling would end the process on
// the spot and leave the proxy pointing at a core that no longer runs.
//
// The system runs the handler on a thread of its own and ends the process as soon as the
// handler returns from a closing console, so for that event the handler waits (bounded) until
// this object is destroyed, which the process entry does after the window and its services.
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

  // From now on the console's control events close `window`. One object at a time.
  void CloseOnControlEvents(HWND window);

 private:
  orvanta::UniqueHandle tornDown_;
  bool installed_ = false;
};

#endif  // ORVANTA_RUNNER_CONSOLE_CONTROL_H_
