#include "channels/network_speed_channel.h"

#include <iomanip>
#include <iostream>
#include <locale>
#include <sstream>
#include <string>

#include "support/log_line.h"
#include "support/utf8.h"

namespace {

// Mebibits per second from kibibytes per second; only the log shows this unit.
constexpr double kBitsPerByte = 8.0;
constexpr double kPerKibi = 0.0009765625;

void Log(const std::string& message) {
  orvanta::WriteLogLine(std::cout, "NetworkSpeedChannel: ", message);
}

std::string SpeedLine(const NetworkSpeed& speed) {
  std::ostringstream line;
  // A global locale set elsewhere must not turn the decimal point into a comma.
  line.imbue(std::locale::classic());
  line << std::fixed << std::setprecision(2)
       << "Speed - Download: " << speed.download * kBitsPerByte * kPerKibi
       << " Mbps, Upload: " << speed.upload * kBitsPerByte * kPerKibi << " Mbps";
  return line.str();
}

}  // namespace

void HandleNetworkSpeedCall(
    NetworkSpeedService& service, const flutter::MethodCall<flutter::EncodableValue>& call,
    std::unique_ptr<flutter::MethodResult<flutter::EncodableValue>> result) {
  using flutter::EncodableMap;
  using flutter::EncodableValue;

  const std::string& method = call.MethodName();
  Log("Received call for method: " + method);

  if (method == "initNetworkSpeed") {
    Log("Initializing network speed monitoring...");
    const bool initialized = service.Initialize();
    Log(std::string("Init result: ") + (initialized ? "SUCCESS" : "FAILED"));
    if (result) result->Success(EncodableValue(initialized));
  } else if (method == "getNetworkSpeed") {
    const NetworkSpeed speed = service.GetSpeed();
    const EncodableMap rates{
        {EncodableValue("downloadSpeed"), EncodableValue(speed.download)},
        {EncodableValue("uploadSpeed"), EncodableValue(speed.upload)},
    };
    Log(SpeedLine(speed));
    if (result) result->Success(EncodableValue(rates));
  } else {
    Log("Unknown method: " + method);
    // The name is whatever bytes arrived; the answer must still be well-formed UTF-8.
    if (result) {
      result->Error("INVALID_METHOD", "Method not implemented: " + orvanta::ToValidUtf8(method));
    }
  }
}
