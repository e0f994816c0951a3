// Hears of a kernel object becoming signalled (a process that ends, an event a registry key
// sets when it changes) on the thread that watches it, without polling and at no cost while
// nothing happens.
//
// A one-shot registered wait on the handle fires on a pool thread, which only posts a message
// to a message-only window of the watching thread; the window's procedure calls `onSignalled`
// there, from that thread's message loop. So whoever reacts runs on the same thread as every
// other operation on its state, and needs no lock. To hear of the next signal, watch again.
//
// The handle must stay open while it is watched: Cancel (or destruction) returns only once no
// wait callback runs or can run any more, so the handle can be closed right after it. A notice
// posted before Cancel and still queued is dropped.
//
// Not thread-safe: create, watch, cancel and destroy on the thread whose message loop runs.
#ifndef ORVANTA_SUPPORT_SIGNAL_WATCH_H_
#define ORVANTA_SUPPORT_SIGNAL_WATCH_H_

#include <windows.h>

#include <functional>

namespace orvanta {

class SignalWatch {
 public:
  explicit SignalWatch(std::function<void()> onSignalled);
  ~SignalWatch();

  SignalWatch(const SignalWatch&) = delete;
  SignalWatch& operator=(const SignalWatch&) = delete;

  // Watches `object` (needs SYNCHRONIZE access) instead of whatever was watched before, until
  // it is signalled once. On failure nothing is watched and the result is the system's error
  // code; ERROR_SUCCESS otherwise.
  DWORD Watch(HANDLE object);
  // Stops watching. Does nothing when nothing is watched.
  void Cancel();

 private:
  static void CALLBACK OnSignalled(void* context, BOOLEAN timedOut);
  static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

  std::function<void()> onSignalled_;
  HWND window_ = nullptr;
  HANDLE wait_ = nullptr;
  // Tells the notice of the current watch from one of an earlier watch still in the queue.
  WPARAM generation_ = 0;
};

}  // namespace orvanta

#endif  // ORVANTA_SUPPORT_SIGNAL_WATCH_H_
