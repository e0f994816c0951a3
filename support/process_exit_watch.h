// Hears of a process's end on the thread that watches it, without polling.
//
// A registered wait on the process handle fires on a pool thread, which only posts a message to
// a message-only window of the watching thread; the window's procedure calls `onExit` there,
// from that thread's message loop. So whoever reacts to the end runs on the same thread as
// every other operation on its state, and needs no lock.
//
// The process handle must stay open while it is watched: Cancel (or destruction) returns only
// once no wait callback runs or can run any more, so the handle can be closed right after it.
// A notice posted before Cancel and still queued is dropped.
//
// Not thread-safe: create, watch, cancel and destroy on the thread whose message loop runs.
#ifndef ORVANTA_SUPPORT_PROCESS_EXIT_WATCH_H_
#define ORVANTA_SUPPORT_PROCESS_EXIT_WATCH_H_

#include <windows.h>

#include <functional>

namespace orvanta {

class ProcessExitWatch {
 public:
  explicit ProcessExitWatch(std::function<void()> onExit);
  ~ProcessExitWatch();

  ProcessExitWatch(const ProcessExitWatch&) = delete;
  ProcessExitWatch& operator=(const ProcessExitWatch&) = delete;

  // Watches `process` (needs SYNCHRONIZE access) instead of whatever was watched before. On
  // failure nothing is watched and the result is the system's error code; ERROR_SUCCESS
  // otherwise.
  DWORD Watch(HANDLE process);
  // Stops watching. Does nothing when nothing is watched.
  void Cancel();

 private:
  static void CALLBACK OnSignalled(void* context, BOOLEAN timedOut);
  static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

  std::function<void()> onExit_;
  HWND window_ = nullptr;
  HANDLE wait_ = nullptr;
  // Tells the notice of the current watch from one of an earlier watch still in the queue.
  WPARAM generation_ = 0;
};

}  // namespace orvanta

#endif  // ORVANTA_SUPPORT_PROCESS_EXIT_WATCH_H_
