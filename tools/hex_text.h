// Hexadecimal text <-> bytes for the codec debugging tool.
#ifndef ORVANTA_TOOLS_HEX_TEXT_H_
#define ORVANTA_TOOLS_HEX_TEXT_H_

#include <cstdint>
#include <string>
#include <vector>

namespace orvanta_tools {

// Reads pairs of hex digits, either case, ignoring whitespace anywhere. On failure returns
// false, leaves `bytes` alone and says why in `error`.
bool ParseHex(const std::string& text, std::vector<uint8_t>* bytes, std::string* error);

// Lowercase, two digits per byte, no separators.
std::string ToHex(const std::vector<uint8_t>& bytes);

}  // namespace orvanta_tools

#endif  // ORVANTA_TOOLS_HEX_TEXT_H_
