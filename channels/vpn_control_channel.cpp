#include "channels/vpn_control_channel.h"

#include <iostream>
#include <string>
#include <utility>
#include <variant>

namespace {

void Log(const std::string& line) { std::cout << "MethodChannel: " << line << std::endl; }

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
    result->Success(flutter::EncodableValue(std::move(logs)));
  } else if (method == "clearSystemProxy") {
    Log("Clearing system proxy...");
    const bool ok = service.ClearSystemProxy();
    Log(std::string("Clear system proxy result: ") + Outcome(ok));
    result->Success(flutter::EncodableValue(ok));
  } else {
    Log("Unknown method: " + method);
    result->Error("INVALID_METHOD", "Method not implemented: " + method);
  }
}
