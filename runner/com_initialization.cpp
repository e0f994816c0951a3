#include "runner/com_initialization.h"

#include <objbase.h>

// S_FALSE (already initialised on this thread, same model) also takes a reference that must
// be given back, so every success counts.
ScopedComInitialization::ScopedComInitialization()
    : initialized_(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}

ScopedComInitialization::~ScopedComInitialization() { End(); }

void ScopedComInitialization::End() {
  if (!initialized_) return;
  initialized_ = false;
  ::CoUninitialize();
}
