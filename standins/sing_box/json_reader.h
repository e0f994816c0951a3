// A small strict JSON reader for the sing-box stand-in: enough to reject a configuration that
// is not JSON, as a real core does, and to find the inbound listen ports.
#ifndef ORVANTA_STANDINS_SING_BOX_JSON_READER_H_
#define ORVANTA_STANDINS_SING_BOX_JSON_READER_H_

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace standin {

struct JsonValue {
  enum class Kind { kNull, kBool, kNumber, kString, kArray, kObject };
  Kind kind = Kind::kNull;
  bool boolean = false;
  double number = 0;
  std::string text;
  std::vector<JsonValue> items;
  std::map<std::string, JsonValue> members;  // A repeated name keeps its last value.
};

// Parses the whole of `input` (one value, surrounded only by white space). On failure returns
// false and sets `error` to a message naming the byte offset.
bool ParseJson(const std::string& input, JsonValue& value, std::string& error);

// The integer "listen_port" values (1..65535) of the objects in the top-level "inbounds".
std::vector<int> InboundListenPorts(const JsonValue& config);

}  // namespace standin

#endif  // ORVANTA_STANDINS_SING_BOX_JSON_READER_H_
