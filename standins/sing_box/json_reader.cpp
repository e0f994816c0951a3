#include "json_reader.h"

#include <cmath>
#include <cstdlib>
#include <utility>

namespace standin {
namespace {

constexpr int kMaxDepth = 256;

class Parser {
 public:
  explicit Parser(const std::string& input) : in_(input) {}

  bool ParseDocument(JsonValue& value, std::string& error) {
    SkipSpace();
    if (!ParseValue(value, 0)) {
      error = error_ + " at byte " + std::to_string(pos_);
      return false;
    }
    SkipSpace();
    if (pos_ != in_.size()) {
      error = "unexpected text after the value at byte " + std::to_string(pos_);
      return false;
    }
    return true;
  }

 private:
  bool Fail(const char* message) {
    error_ = message;
    return false;
  }
  bool AtEnd() const { return pos_ >= in_.size(); }
  char Peek() const { return AtEnd() ? '\0' : in_[pos_]; }
  void SkipSpace() {
    while (!AtEnd() &&
           (in_[pos_] == ' ' || in_[pos_] == '\t' || in_[pos_] == '\n' || in_[pos_] == '\r')) {
      ++pos_;
    }
  }
  bool Literal(const char* word) {
    for (const char* c = word; *c != '\0'; ++c, ++pos_) {
      if (Peek() != *c) return Fail("invalid literal");
    }
    return true;
  }

  bool ParseValue(JsonValue& value, int depth) {
    if (depth > kMaxDepth) return Fail("nesting too deep");
    switch (Peek()) {
      case '{':
        return ParseObject(value, depth);
      case '[':
        return ParseArray(value, depth);
      case '"':
        value.kind = JsonValue::Kind::kString;
        return ParseString(value.text);
      case 't':
        value.kind = JsonValue::Kind::kBool;
        value.boolean = true;
        return Literal("true");
      case 'f':
        value.kind = JsonValue::Kind::kBool;
        return Literal("false");
      case 'n':
        value.kind = JsonValue::Kind::kNull;
        return Literal("null");
      default:
        return ParseNumber(value);
    }
  }

  bool ParseObject(JsonValue& value, int depth) {
    value.kind = JsonValue::Kind::kObject;
    ++pos_;
    SkipSpace();
    if (Peek() == '}') {
      ++pos_;
      return true;
    }
    for (;;) {
      SkipSpace();
      if (Peek() != '"') return Fail("expected a member name");
      std::string name;
      if (!ParseString(name)) return false;
      SkipSpace();
      if (Peek() != ':') return Fail("expected ':'");
      ++pos_;
      SkipSpace();
      JsonValue member;
      if (!ParseValue(member, depth + 1)) return false;
      value.members[name] = std::move(member);
      SkipSpace();
      if (Peek() == ',') {
        ++pos_;
        continue;
      }
      if (Peek() == '}') {
        ++pos_;
        return true;
      }
      return Fail("expected ',' or '}'");
    }
  }

  bool ParseArray(JsonValue& value, int depth) {
    value.kind = JsonValue::Kind::kArray;
    ++pos_;
    SkipSpace();
    if (Peek() == ']') {
      ++pos_;
      return true;
    }
    for (;;) {
      SkipSpace();
      JsonValue item;
      if (!ParseValue(item, depth + 1)) return false;
      value.items.push_back(std::move(item));
      SkipSpace();
      if (Peek() == ',') {
        ++pos_;
        continue;
      }
      if (Peek() == ']') {
        ++pos_;
        return true;
      }
      return Fail("expected ',' or ']'");
    }
  }

  static int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  }

  static void AppendUtf8(std::string& out, unsigned code) {
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      out += static_cast<char>(0xE0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (code >> 18));
      out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }

  bool ParseHex4(unsigned& code) {
    code = 0;
    for (int i = 0; i < 4; ++i, ++pos_) {
      const int digit = HexDigit(Peek());
      if (digit < 0) return Fail("invalid \\u escape");
      code = code * 16 + static_cast<unsigned>(digit);
    }
    return true;
  }

  bool ParseString(std::string& out) {
    ++pos_;  // opening quote
    for (;;) {
      if (AtEnd()) return Fail("unterminated string");
      const unsigned char c = static_cast<unsigned char>(in_[pos_]);
      if (c == '"') {
        ++pos_;
        return true;
      }
      if (c < 0x20) return Fail("control character in string");
      if (c != '\\') {
        out += static_cast<char>(c);
        ++pos_;
        continue;
      }
      ++pos_;
      const char escape = Peek();
      ++pos_;
      switch (escape) {
        case '"':
          out += '"';
          break;
        case '\\':
          out += '\\';
          break;
        case '/':
          out += '/';
          break;
        case 'b':
          out += '\b';
          break;
        case 'f':
          out += '\f';
          break;
        case 'n':
          out += '\n';
          break;
        case 'r':
          out += '\r';
          break;
        case 't':
          out += '\t';
          break;
        case 'u': {
          unsigned code = 0;
          if (!ParseHex4(code)) return false;
          if (code >= 0xD800 && code < 0xDC00) {
            unsigned low = 0;
            if (Peek() != '\\' || pos_ + 1 >= in_.size() || in_[pos_ + 1] != 'u') {
              return Fail("lone surrogate");
            }
            pos_ += 2;
            if (!ParseHex4(low)) return false;
            if (low < 0xDC00 || low > 0xDFFF) return Fail("lone surrogate");
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
          } else if (code >= 0xDC00 && code <= 0xDFFF) {
            return Fail("lone surrogate");
          }
          AppendUtf8(out, code);
          break;
        }
        default:
          return Fail("invalid escape");
      }
    }
  }

  bool Digits() {
    const size_t start = pos_;
    while (Peek() >= '0' && Peek() <= '9') ++pos_;
    return pos_ > start;
  }

  bool ParseNumber(JsonValue& value) {
    const size_t start = pos_;
    if (Peek() == '-') ++pos_;
    if (Peek() == '0') {
      ++pos_;
    } else if (!Digits()) {
      return Fail("invalid value");
    }
    if (Peek() == '.') {
      ++pos_;
      if (!Digits()) return Fail("invalid number");
    }
    if (Peek() == 'e' || Peek() == 'E') {
      ++pos_;
      if (Peek() == '+' || Peek() == '-') ++pos_;
      if (!Digits()) return Fail("invalid number");
    }
    value.kind = JsonValue::Kind::kNumber;
    value.number = std::strtod(in_.substr(start, pos_ - start).c_str(), nullptr);
    return true;
  }

  const std::string& in_;
  size_t pos_ = 0;
  std::string error_;
};

}  // namespace

bool ParseJson(const std::string& input, JsonValue& value, std::string& error) {
  value = JsonValue();
  return Parser(input).ParseDocument(value, error);
}

std::vector<int> InboundListenPorts(const JsonValue& config) {
  std::vector<int> ports;
  if (config.kind != JsonValue::Kind::kObject) return ports;
  const auto inbounds = config.members.find("inbounds");
  if (inbounds == config.members.end() || inbounds->second.kind != JsonValue::Kind::kArray) {
    return ports;
  }
  for (const JsonValue& inbound : inbounds->second.items) {
    if (inbound.kind != JsonValue::Kind::kObject) continue;
    const auto port = inbound.members.find("listen_port");
    if (port == inbound.members.end() || port->second.kind != JsonValue::Kind::kNumber) continue;
    const double number = port->second.number;
    if (number >= 1 && number <= 65535 && std::floor(number) == number) {
      ports.push_back(static_cast<int>(number));
    }
  }
  return ports;
}

Misbehaviour StandInMode(const JsonValue& config) {
  Misbehaviour result;
  const auto standin = config.members.find("standin");
  if (standin == config.members.end()) return result;
  const auto& members = standin->second.members;
  const auto mode = members.find("mode");
  if (mode != members.end() && mode->second.kind == JsonValue::Kind::kString) {
    result.mode = mode->second.text;
  }
  const auto after = members.find("exit_after_ms");
  if (after != members.end() && after->second.kind == JsonValue::Kind::kNumber &&
      after->second.number >= 1 && after->second.number <= 600000) {
    result.exitAfterMs = static_cast<unsigned long>(after->second.number);
  }
  return result;
}

}  // namespace standin
