#include "channels/vpn_control_channel.h"

#include <iostream>
#include <new>
#include <string>
#include <utility>
#include <variant>

#include "support/log_line.h"
#include "support/utf8.h"

namespace {

void Log(const std::string& message) {
  orvanta::WriteLogLine(std::cout, "MethodChannel: ", message);
}

const char* Outcome(bool ok) { return ok ? "SUCCESS" : "FAILED"; }

// The "config" entry of a map argument, or the empty text for every other shape: a bad
// argument is not a channel error, Start decides what an empty configuration means.
std::string ConfigArgument(const flutter::EncodableValue* arguments) {
  if (arguments == nullptr) return std::string();
  const auto* map = std::get_if<flutter::EncodableMap>(arguments);
  if (map == nullptr) return std::string();
  const auto entry = map->find(flutter::EncodableValue(std::string("config")));
  if (entry == map->end()) return std::string();
  const auto* text = std::get_if<std::string>(&entry->second);
  if (text == nullptr) return std::string();
  Log("Received config (" + std::to_string(text->size()) + " characters)");
  return *text;
}

// Encoding the answer copies the whole text once more; if that runs out of memory the UI
// still gets an answer, and the runtime never sees the exception.
void AnswerLogs(flutter::MethodResult<flutter::EncodableValue>& result, std::string logs) {
  try {
    result.Success(flutter::EncodableValue(std::move(logs)));
  } catch (const std::bad_alloc&) {
    result.Success(flutter::EncodableValue(std::string("(logs too large to send)\n")));
  }
}

}  // namespace

void HandleVpnControlCall(SingBoxService& service,
                          const flutter::MethodCall<flutter::EncodableValue>& call,
                          std::unique_ptr<flutter::MethodResult<flutter::EncodableValue>> result) {
  const std::string& method = call.MethodName();
  Log("Received call for method: " + method);

  if (method == "startV2Ray") {
    Log("Starting sing-box...");
    const std::string config = ConfigArgument(call.Arguments());
    const bool ok = service.Start(config);
    Log(std::string("sing-box start result: ") + Outcome(ok));
    result->Success(flutter::EncodableValue(ok));
  } else if (method == "stopV2Ray") {
    Log("Stopping sing-box...");
    const bool ok = service.Stop();
    Log(std::string("sing-box stop result: ") + Outcome(ok));
    result->Success(flutter::EncodableValue(ok));
  } else if (method == "isRunning") {
    const bool running = service.IsRunning();
    Log(std::string("sing-box running status: ") + (running ? "RUNNING" : "NOT RUNNING"));
    result->Success(flutter::EncodableValue(running));
  } else if (method == "getLogs") {
    std::string logs = service.GetLogs();
    Log("Returning logs (" + std::to_string(logs.size()) + " characters)");
    AnswerLogs(*result, std::move(logs));
  } else if (method == "clearSystemProxy") {
    Log("Clearing system proxy...");
    const bool ok = service.ClearSystemProxy();
    Log(std::string("Clear system proxy result: ") + Outcome(ok));
    result->Success(flutter::EncodableValue(ok));
  } else {
    Log("Unknown method: " + method);
    // The name is whatever bytes arrived; the answer must still be well-formed UTF-8.
    result->Error("INVALID_METHOD", "Method not implemented: " + orvanta::ToValidUtf8(method));
  }
}
