#include "support/process_exit_watch.h"

#include <utility>

namespace orvanta {

namespace {

constexpr wchar_t kWindowClass[] = L"OrvantaProcessExitWatch";
constexpr UINT kProcessEnded = WM_APP + 1;

// The class stays registered for the life of the process: a second watch, or one made after
// an earlier one was destroyed, simply reuses it.
bool RegisterWindowClass(WNDPROC procedure) {
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = kWindowClass;
  return RegisterClassW(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace

ProcessExitWatch::ProcessExitWatch(std::function<void()> onExit) : onExit_(std::move(onExit)) {
  if (!RegisterWindowClass(WindowProcedure)) return;
  window_ = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                            GetModuleHandleW(nullptr), nullptr);
  if (window_ != nullptr) {
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
}

ProcessExitWatch::~ProcessExitWatch() {
  Cancel();
  // Notices still queued for the window go with it.
  if (window_ != nullptr) DestroyWindow(window_);
}

DWORD ProcessExitWatch::Watch(HANDLE process) {
  Cancel();
  if (window_ == nullptr) return ERROR_INVALID_WINDOW_HANDLE;
  ++generation_;
  if (!RegisterWaitForSingleObject(&wait_, process, OnSignalled, this, INFINITE,
                                   WT_EXECUTEONLYONCE)) {
    wait_ = nullptr;
    return GetLastError();
  }
  return ERROR_SUCCESS;
}

void ProcessExitWatch::Cancel() {
  if (wait_ == nullptr) return;
  // INVALID_HANDLE_VALUE: returns only after a callback already running has finished.
  UnregisterWaitEx(std::exchange(wait_, nullptr), INVALID_HANDLE_VALUE);
  ++generation_;
}

void CALLBACK ProcessExitWatch::OnSignalled(void* context, BOOLEAN) {
  // On a pool thread: window_ and generation_ do not change while the wait is registered.
  auto* self = static_cast<ProcessExitWatch*>(context);
  PostMessageW(self->window_, kProcessEnded, self->generation_, 0);
}

LRESULT CALLBACK ProcessExitWatch::WindowProcedure(HWND window, UINT message, WPARAM wparam,
                                                   LPARAM lparam) {
  if (message != kProcessEnded) return DefWindowProcW(window, message, wparam, lparam);
  auto* self = reinterpret_cast<ProcessExitWatch*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr || self->wait_ == nullptr || wparam != self->generation_) return 0;
  // The one-shot wait has fired; unregistering only releases it.
  self->Cancel();
  self->onExit_();
  return 0;
}

}  // namespace orvanta
