#include "tests/support/standin_runtime.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace orvanta_test {

namespace {

template <typename Fn>
Fn Hook(const char* name) {
  HMODULE runtime = GetModuleHandleA("flutter_windows.dll");
  if (runtime == nullptr) return nullptr;
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(runtime, name)));
}

void RecordAnswer(const uint8_t* data, size_t size, void* user_data) {
  auto* answer = static_cast<Answer*>(user_data);
  answer->arrived = true;
  answer->nullData = data == nullptr;
  answer->bytes.assign(data, data + (data != nullptr ? size : 0));
}

}  // namespace

int Deliver(const std::string& channel, const std::vector<uint8_t>& message, Answer* answer) {
  auto deliver = Hook<OrvantaStandinDeliverMessageFn>("OrvantaStandinDeliverMessage");
  EXPECT_NE(deliver, nullptr);
  if (deliver == nullptr) return -1;
  return deliver(channel.c_str(), message.data(), message.size(), &RecordAnswer, answer);
}

std::string StateJson() {
  auto describe = Hook<OrvantaStandinDescribeStateFn>("OrvantaStandinDescribeState");
  EXPECT_NE(describe, nullptr);
  if (describe == nullptr) return "";
  std::string json(describe(nullptr, 0), '\0');
  describe(&json[0], json.size());
  return json;
}

long long JsonNumber(const std::string& json, const std::string& key) {
  std::string marker = "\"" + key + "\":";
  size_t at = json.find(marker);
  EXPECT_NE(at, std::string::npos) << key << " missing in " << json;
  if (at == std::string::npos) return -1;
  return std::strtoll(json.c_str() + at + marker.size(), nullptr, 10);
}

void* ChannelUserData(const std::string& channel) {
  auto lookup = Hook<OrvantaStandinChannelUserDataFn>("OrvantaStandinChannelUserData");
  EXPECT_NE(lookup, nullptr);
  return lookup != nullptr ? lookup(channel.c_str()) : nullptr;
}

void PumpMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

}  // namespace orvanta_test
