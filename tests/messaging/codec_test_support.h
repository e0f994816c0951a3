// Helpers shared by the codec tests: hex byte strings, captured standard error, and value
// equivalence under the value order.
#ifndef ORVANTA_TESTS_MESSAGING_CODEC_TEST_SUPPORT_H_
#define ORVANTA_TESTS_MESSAGING_CODEC_TEST_SUPPORT_H_

#include <cstdint>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "messaging/byte_streams.h"
#include "messaging/encodable_value.h"
#include "messaging/standard_codec_serializer.h"
#include "tests/support/stream_capture.h"

namespace orvanta_test {

// "07 00 ff" -> {0x07, 0x00, 0xff}, and back.
inline std::vector<uint8_t> Bytes(const std::string& hex) {
  std::vector<uint8_t> bytes;
  std::istringstream in(hex);
  for (unsigned byte = 0; in >> std::hex >> byte;) bytes.push_back(static_cast<uint8_t>(byte));
  return bytes;
}

inline std::string Hex(const std::vector<uint8_t>& bytes) {
  std::string text;
  char digits[4];
  for (uint8_t b : bytes) {
    std::snprintf(digits, sizeof(digits), " %02x", b);
    text += digits;
  }
  return text.empty() ? text : text.substr(1);
}

inline bool Equivalent(const flutter::EncodableValue& a, const flutter::EncodableValue& b) {
  return !(a < b) && !(b < a);
}

inline std::vector<uint8_t> Encode(const flutter::EncodableValue& value,
                                   std::vector<uint8_t> prefix = {}) {
  flutter::ByteBufferStreamWriter writer(&prefix);
  flutter::StandardCodecSerializer::SharedInstance().WriteValue(value, &writer);
  return prefix;
}

// Decodes one complete value starting at `offset`.
inline flutter::EncodableValue Decode(const std::vector<uint8_t>& bytes, size_t offset = 0) {
  flutter::ByteBufferStreamReader reader(bytes.data(), bytes.size());
  for (size_t i = 0; i < offset; ++i) reader.ReadNextByte();
  const auto& serializer = flutter::StandardCodecSerializer::SharedInstance();
  const uint8_t tag = reader.ReadNextByte();
  return serializer.ReadValueOfType(tag, &reader);
}

}  // namespace orvanta_test

#endif  // ORVANTA_TESTS_MESSAGING_CODEC_TEST_SUPPORT_H_
