#include "support/utf8.h"

#include <cstdint>

namespace orvanta {
namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";

bool IsContinuation(uint8_t byte) { return (byte & 0xC0) == 0x80; }

// The number of bytes of the well-formed sequence at `at`, or 0 when it is ill-formed. On 0,
// `*skip` is the length of the maximal ill-formed subpart to replace (at least 1).
size_t SequenceLength(std::string_view text, size_t at, size_t* skip) {
  const uint8_t lead = static_cast<uint8_t>(text[at]);
  size_t trailing = 0;
  uint8_t low = 0x80;
  uint8_t high = 0xBF;
  if (lead < 0x80) {
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    trailing = 1;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    trailing = 2;
    if (lead == 0xE0) low = 0xA0;   // overlong
    if (lead == 0xED) high = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    trailing = 3;
    if (lead == 0xF0) low = 0x90;   // overlong
    if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
  } else {
    *skip = 1;
    return 0;
  }
  size_t next = at + 1;
  for (size_t k = 0; k < trailing; ++k, ++next) {
    if (next >= text.size()) break;
    const uint8_t byte = static_cast<uint8_t>(text[next]);
    const bool inRange = k == 0 ? (byte >= low && byte <= high) : IsContinuation(byte);
    if (!inRange) break;
  }
  if (next - at == trailing + 1) return trailing + 1;
  *skip = next - at;
  return 0;
}

}  // namespace

std::string ToValidUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t at = 0;
  size_t copiedUpTo = 0;
  while (at < text.size()) {
    size_t skip = 0;
    const size_t length = SequenceLength(text, at, &skip);
    if (length != 0) {
      at += length;
      continue;
    }
    out.append(text.data() + copiedUpTo, at - copiedUpTo);
    out += kReplacement;
    at += skip;
    copiedUpTo = at;
  }
  out.append(text.data() + copiedUpTo, text.size() - copiedUpTo);
  return out;
}

size_t Utf8PrefixLength(std::string_view text, size_t maxBytes) {
  if (text.size() <= maxBytes) return text.size();
  // Find the lead byte of whatever sequence byte `maxBytes` belongs to; cut before it only
  // when that sequence would run past the limit. Stray continuation bytes are not a character
  // and are left for ToValidUtf8.
  const size_t lowest = maxBytes >= 3 ? maxBytes - 3 : 0;
  for (size_t at = maxBytes;; --at) {
    const uint8_t byte = static_cast<uint8_t>(text[at]);
    if (!IsContinuation(byte)) {
      const size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
      return at + length > maxBytes ? at : maxBytes;
    }
    if (at == lowest) return maxBytes;
  }
}

}  // namespace orvanta
