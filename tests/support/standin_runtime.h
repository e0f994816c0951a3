// Test access to the stand-in runtime: its test-only hooks, its state and the UI thread's
// queue.
#ifndef ORVANTA_TESTS_SUPPORT_STANDIN_RUNTIME_H_
#define ORVANTA_TESTS_SUPPORT_STANDIN_RUNTIME_H_

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

}  // namespace orvanta_test

#endif  // ORVANTA_TESTS_SUPPORT_STANDIN_RUNTIME_H_
