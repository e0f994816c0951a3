// Well-formed UTF-8 for everything the host hands the UI.
//
// The UI decodes channel strings strictly and fails on malformed UTF-8, so text that may hold
// foreign bytes (the core's log, a file in another encoding, a line cut while being written)
// is repaired before it leaves the host. Portable C++17: built and tested natively too.
#ifndef ORVANTA_SUPPORT_UTF8_H_
#define ORVANTA_SUPPORT_UTF8_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace orvanta {

// `text` with every maximal ill-formed subsequence replaced by one U+FFFD, the replacement the
// Unicode standard recommends (and Python's "replace" applies). Well-formed UTF-8 comes back
// byte for byte. Overlong forms, encoded surrogates and code points above U+10FFFF are
// ill-formed.
std::string ToValidUtf8(std::string_view text);

// The length of the longest prefix of `text` of at most `maxBytes` bytes that does not end
// inside a character: the cut moves back over at most three continuation bytes.
size_t Utf8PrefixLength(std::string_view text, size_t maxBytes);

}  // namespace orvanta

#endif  // ORVANTA_SUPPORT_UTF8_H_
