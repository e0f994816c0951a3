// The test-only exports declared in standin_hooks.h.
#include "standins/flutter_windows/standin_hooks.h"

#include <cstring>
#include <string>

#include "standins/flutter_windows/standin_runtime.h"
#include "standins/flutter_windows/ui_bridge.h"

using standin::Runtime;
using standin::TheRuntime;

extern "C" {

__declspec(dllexport) int OrvantaStandinDeliverMessage(const char* channel, const uint8_t* data,
                                                       size_t size,
                                                       OrvantaStandinResponseCallback on_response,
                                                       void* user_data) {
  if (channel == nullptr) return 1;
  FlutterDesktopEngine* engine = nullptr;
  {
    Runtime& runtime = TheRuntime();
    std::lock_guard<std::mutex> guard(runtime.mutex);
    engine = runtime.currentEngine;
  }
  bool delivered = standin::DeliverToHost(
      engine, channel, data, size, [on_response, user_data](const uint8_t* reply, size_t count) {
        if (on_response != nullptr) on_response(reply, count, user_data);
      });
  return delivered ? 0 : 1;
}

__declspec(dllexport) size_t OrvantaStandinDescribeState(char* buffer, size_t capacity) {
  std::string json = standin::DescribeState();
  if (buffer != nullptr && capacity > 0) {
    size_t copied = json.size() < capacity ? json.size() : capacity;
    std::memcpy(buffer, json.data(), copied);
  }
  return json.size();
}

__declspec(dllexport) void* OrvantaStandinChannelUserData(const char* channel) {
  if (channel == nullptr) return nullptr;
  FlutterDesktopEngine* engine = nullptr;
  {
    Runtime& runtime = TheRuntime();
    std::lock_guard<std::mutex> guard(runtime.mutex);
    engine = runtime.currentEngine;
  }
  if (engine == nullptr) return nullptr;
  std::lock_guard<std::recursive_mutex> guard(engine->messenger->lock);
  auto found = engine->messenger->callbacks.find(channel);
  return found != engine->messenger->callbacks.end() ? found->second.second : nullptr;
}

__declspec(dllexport) void OrvantaStandinRecordPluginRegistration(const char* plugin_library,
                                                                  void* registrar,
                                                                  const char* apartment) {
  Runtime& runtime = TheRuntime();
  std::lock_guard<std::mutex> guard(runtime.mutex);
  runtime.pluginRegistrations.push_back({plugin_library != nullptr ? plugin_library : "",
                                         reinterpret_cast<uintptr_t>(registrar),
                                         apartment != nullptr ? apartment : ""});
}

}  // extern "C"
