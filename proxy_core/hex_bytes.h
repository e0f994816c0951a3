// Bytes as lowercase hexadecimal text, two digits a byte, and back: the saved forms of the
// proxy settings keep any value exactly this way, whatever its type or script.
#ifndef ORVANTA_PROXY_CORE_HEX_BYTES_H_
#define ORVANTA_PROXY_CORE_HEX_BYTES_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

std::string HexFromBytes(const uint8_t* bytes, size_t size);
// False, leaving `bytes` unspecified, unless `hex` is an even number of lowercase hex digits.
bool BytesFromHex(std::string_view hex, std::vector<uint8_t>& bytes);

#endif  // ORVANTA_PROXY_CORE_HEX_BYTES_H_
