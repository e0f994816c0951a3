// A small strict JSON reader for the sing-box stand-in: enough to reject a configuration that
// is not JSON, as a real core does, and to find the inbound listen ports and the stand-in's own
// switches.
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

// How the stand-in is told to misbehave: the top-level "standin" object's "mode" text (empty
// when there is none) and its "exit_after_ms" (3000 when not a number from 1 to 600000).
struct Misbehaviour {
  std::string mode;
  unsigned long exitAfterMs = 3000;
};
Misbehaviour StandInMode(const JsonValue& config);

}  // namespace standin

#endif  // ORVANTA_STANDINS_SING_BOX_JSON_READER_H_
