// COM for the UI thread, initialised for a single-threaded apartment and uninitialised exactly
// once, and only when this object's initialisation succeeded: uninitialising after a failed
// initialisation (say, the thread already runs another apartment model) would pull COM out
// from under whoever initialised it first.
#ifndef ORVANTA_RUNNER_COM_INITIALIZATION_H_
#define ORVANTA_RUNNER_COM_INITIALIZATION_H_

#include <windows.h>

class ScopedComInitialization {
 public:
  ScopedComInitialization();
  // Uninitialises, unless End already did.
  ~ScopedComInitialization();

  ScopedComInitialization(const ScopedComInitialization&) = delete;
  ScopedComInitialization& operator=(const ScopedComInitialization&) = delete;

  // Uninitialises now, for callers that must end COM before other objects go; idempotent.
  void End();

 private:
  bool initialized_;
};

#endif  // ORVANTA_RUNNER_COM_INITIALIZATION_H_
