// Test access to the stand-in runtime: its test-only hooks, its state, the UI thread's queue
// and a private temporary folder for each test.
#ifndef ORVANTA_TESTS_MESSAGING_RUNTIME_STANDIN_ACCESS_H_
#define ORVANTA_TESTS_MESSAGING_RUNTIME_STANDIN_ACCESS_H_

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "standins/flutter_windows/standin_hooks.h"

namespace orvanta_test {

// One delivered message's answer as the runtime saw it.
struct Answer {
  bool arrived = false;
  bool nullData = false;
  std::vector<uint8_t> bytes;
};

// Hands `message` to the host as an incoming message on `channel`; the host's answer, if any,
// lands in `answer`. Returns the hook's result: 0 delivered, 1 no callback for the channel.
int Deliver(const std::string& channel, const std::vector<uint8_t>& message, Answer* answer);

// The stand-in's state JSON.
std::string StateJson();

// The number after "\"key\":" in `json`; fails the test (and returns -1) when it is absent.
long long JsonNumber(const std::string& json, const std::string& key);

// The user data the runtime holds for `channel`'s callback, or null.
void* ChannelUserData(const std::string& channel);

// Runs the calling thread's queued window messages until none is left.
void PumpMessages();

// Sets TMP to a fresh folder for the life of this object, so files written by the code under
// test (and by gtest's stream capture) stay out of the shared temporary folder.
class ScopedTempFolder {
 public:
  ScopedTempFolder();
  ~ScopedTempFolder();
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  std::string previous_;
  bool hadPrevious_ = false;
};

// Sets an environment variable of this process for the life of this object.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const char* value);
  ~ScopedEnvironment();

 private:
  std::string name_;
  std::string previous_;
  bool hadPrevious_ = false;
};

}  // namespace orvanta_test

#endif  // ORVANTA_TESTS_MESSAGING_RUNTIME_STANDIN_ACCESS_H_
