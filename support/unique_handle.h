// The one owner of Windows kernel handles in this program.
//
// A UniqueHandle closes its handle exactly once, when it is destroyed or reset. Both null
// and INVALID_HANDLE_VALUE count as "no handle", because Win32 uses either as the failure
// value depending on the function. Move-only: a handle has exactly one owner.
#ifndef ORVANTA_SUPPORT_UNIQUE_HANDLE_H_
#define ORVANTA_SUPPORT_UNIQUE_HANDLE_H_

#include <windows.h>

#include <utility>

namespace orvanta {

class UniqueHandle {
 public:
  UniqueHandle() noexcept = default;
  explicit UniqueHandle(HANDLE handle) noexcept : handle_(IsValid(handle) ? handle : nullptr) {}
  ~UniqueHandle() { Close(); }

  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.Release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }

  HANDLE Get() const noexcept { return handle_; }
  bool IsSet() const noexcept { return handle_ != nullptr; }
  explicit operator bool() const noexcept { return IsSet(); }

  // Closes the held handle (if any) and takes ownership of `handle`.
  void Reset(HANDLE handle = nullptr) noexcept {
    HANDLE old = std::exchange(handle_, IsValid(handle) ? handle : nullptr);
    if (old != nullptr) ::CloseHandle(old);
  }

  // Gives up ownership without closing; the caller becomes responsible for the handle.
  [[nodiscard]] HANDLE Release() noexcept { return std::exchange(handle_, nullptr); }

 private:
  static bool IsValid(HANDLE handle) noexcept {
    return handle != nullptr && handle != INVALID_HANDLE_VALUE;
  }
  void Close() noexcept { Reset(); }

  HANDLE handle_ = nullptr;
};

// Owners for the two handles CreateProcess returns, taken over on the line after it succeeds.
struct ProcessHandles {
  UniqueHandle process;
  UniqueHandle thread;
  DWORD processId = 0;

  static ProcessHandles Adopt(const PROCESS_INFORMATION& info) noexcept {
    ProcessHandles handles;
    handles.process.Reset(info.hProcess);
    handles.thread.Reset(info.hThread);
    handles.processId = info.dwProcessId;
    return handles;
  }
};

}  // namespace orvanta

#endif  // ORVANTA_SUPPORT_UNIQUE_HANDLE_H_
