#include "support/signal_watch.h"

#include <utility>

namespace orvanta {

namespace {

constexpr wchar_t kWindowClass[] = L"OrvantaSignalWatch";
constexpr UINT kSignalled = WM_APP + 1;

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

SignalWatch::SignalWatch(std::function<void()> onSignalled) : onSignalled_(std::move(onSignalled)) {
  if (!RegisterWindowClass(WindowProcedure)) return;
  window_ = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                            GetModuleHandleW(nullptr), nullptr);
  if (window_ != nullptr) {
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
}

SignalWatch::~SignalWatch() {
  Cancel();
  // Notices still queued for the window go with it.
  if (window_ != nullptr) DestroyWindow(window_);
}

DWORD SignalWatch::Watch(HANDLE object) {
  Cancel();
  if (window_ == nullptr) return ERROR_INVALID_WINDOW_HANDLE;
  ++generation_;
  if (!RegisterWaitForSingleObject(&wait_, object, OnSignalled, this, INFINITE,
                                   WT_EXECUTEONLYONCE)) {
    wait_ = nullptr;
    return GetLastError();
  }
  return ERROR_SUCCESS;
}

void SignalWatch::Cancel() {
  if (wait_ == nullptr) return;
  // INVALID_HANDLE_VALUE: returns only after a callback already running has finished.
  UnregisterWaitEx(std::exchange(wait_, nullptr), INVALID_HANDLE_VALUE);
  ++generation_;
}

void CALLBACK SignalWatch::OnSignalled(void* context, BOOLEAN) {
  // On a pool thread: window_ and generation_ do not change while the wait is registered.
  auto* self = static_cast<SignalWatch*>(context);
  PostMessageW(self->window_, kSignalled, self->generation_, 0);
}

LRESULT CALLBACK SignalWatch::WindowProcedure(HWND window, UINT message, WPARAM wparam,
                                              LPARAM lparam) {
  if (message != kSignalled) return DefWindowProcW(window, message, wparam, lparam);
  auto* self = reinterpret_cast<SignalWatch*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr || self->wait_ == nullptr || wparam != self->generation_) return 0;
  // The one-shot wait has fired; unregistering only releases it.
  self->Cancel();
  self->onSignalled_();
  return 0;
}

}  // namespace orvanta
