#include "tools/hex_text.h"

#include <cctype>

namespace orvanta_tools {
namespace {

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

bool ParseHex(const std::string& text, std::vector<uint8_t>* bytes, std::string* error) {
  std::vector<uint8_t> parsed;
  parsed.reserve(text.size() / 2);
  int high = -1;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (std::isspace(static_cast<unsigned char>(c))) {
      continue;
    }
    const int digit = DigitValue(c);
    if (digit < 0) {
      *error = "not hexadecimal: character " + std::to_string(static_cast<unsigned char>(c)) +
               " at position " + std::to_string(i);
      return false;
    }
    if (high < 0) {
      high = digit;
    } else {
      parsed.push_back(static_cast<uint8_t>(high * 16 + digit));
      high = -1;
    }
  }
  if (high >= 0) {
    *error = "odd number of hexadecimal digits";
    return false;
  }
  *bytes = std::move(parsed);
  return true;
}

std::string ToHex(const std::vector<uint8_t>& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (uint8_t b : bytes) {
    text.push_back(kDigits[b >> 4]);
    text.push_back(kDigits[b & 0xF]);
  }
  return text;
}

}  // namespace orvanta_tools
