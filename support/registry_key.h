// An open registry key, closed once when its owner goes. Registry keys are not kernel handles
// (RegCloseKey, not CloseHandle), so they have an owner of their own.
#ifndef ORVANTA_SUPPORT_REGISTRY_KEY_H_
#define ORVANTA_SUPPORT_REGISTRY_KEY_H_

#include <windows.h>

#include <utility>

namespace orvanta {

class RegistryKey {
 public:
  RegistryKey() = default;
  ~RegistryKey() { Reset(); }
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  // Where an opening function writes the key; only ever handed to such a function while empty.
  HKEY* Receive() { return &key_; }
  HKEY Get() const { return key_; }
  explicit operator bool() const { return key_ != nullptr; }
  void Reset() {
    if (HKEY old = std::exchange(key_, nullptr)) RegCloseKey(old);
  }

 private:
  HKEY key_ = nullptr;
};

}  // namespace orvanta

#endif  // ORVANTA_SUPPORT_REGISTRY_KEY_H_
