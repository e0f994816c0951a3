// Conversions between the UTF-16 of the Windows API and the UTF-8 of logs and channels.
//
// Paths stay UTF-16 from the system call that yields them to the one that takes them, so
// letters outside the ANSI code page survive; they become UTF-8 only to be shown.
#ifndef ORVANTA_SUPPORT_WIDE_TEXT_H_
#define ORVANTA_SUPPORT_WIDE_TEXT_H_

#include <string>
#include <string_view>

namespace orvanta {

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD, so the result is always well-formed.
std::string Utf8FromWide(std::wstring_view text);

// UTF-8 to UTF-16; ill-formed bytes become U+FFFD.
std::wstring WideFromUtf8(std::string_view text);

}  // namespace orvanta

#endif  // ORVANTA_SUPPORT_WIDE_TEXT_H_
