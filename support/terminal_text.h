// What a program wrote for a terminal, made readable in a log view.
//
// The core colours its lines for a terminal (ESC "[36m" ... ESC "[0m"); a log view shows those
// escape sequences as garbage. Portable C++17: built and tested natively too.
#ifndef ORVANTA_SUPPORT_TERMINAL_TEXT_H_
#define ORVANTA_SUPPORT_TERMINAL_TEXT_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace orvanta {

// `text` from byte `from` on, repaired as ToValidUtf8 does and then without its CSI sequences:
// ESC, "[", parameter bytes 0x30-0x3F, intermediate bytes 0x20-0x2F, a final byte 0x40-0x7E.
// Everything else stays byte for byte, so the result is well-formed UTF-8.
//
// The bytes before `from` are only looked at: when a sequence began there, its rest is removed
// too. At the end of `text`, a sequence that is not yet complete is removed, as the writer may
// still be writing it.
std::string ReadableTerminalText(std::string_view text, size_t from = 0);

// The last line of `text` that is not empty once readable as above, without its line end (LF or
// CR LF), cut to at most `maxBytes` without splitting a character. Empty when there is none.
std::string LastReadableLine(std::string_view text, size_t maxBytes);

}  // namespace orvanta

#endif  // ORVANTA_SUPPORT_TERMINAL_TEXT_H_
