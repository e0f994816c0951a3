// What a program wrote for a terminal, made readable in a log view.
//
// The core colours its lines for a terminal (ESC "[36m" ... ESC "[0m"), and a core update or a
// user's own core may also set the window title, wrap text in links or switch character sets; a
// log view shows all of those escape sequences as garbage. Portable C++17: built and tested
// natively too.
#ifndef ORVANTA_SUPPORT_TERMINAL_TEXT_H_
#define ORVANTA_SUPPORT_TERMINAL_TEXT_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace orvanta {

// The longest body of a terminal string (below) still taken as one. Links (OSC 8) carry URLs of
// up to about 2 KB; titles are far shorter.
constexpr size_t kMaxTerminalStringBody = 4096;

// `text` from byte `from` on, repaired as ToValidUtf8 does and then without what a terminal
// would act on rather than show:
//  - CSI sequences: ESC, "[", parameter bytes 0x30-0x3F, intermediate bytes 0x20-0x2F, a final
//    byte 0x40-0x7E;
//  - strings: ESC and "]" (OSC), "P" (DCS), "X" (SOS), "^" (PM) or "_" (APC), a body, and BEL or
//    ESC "\" (ST). The body is text: bytes from 0x20 up (UTF-8 too), at most
//    kMaxTerminalStringBody of them. Any other control byte in it (a line end too) or a longer
//    body means there was no string: of a string that never ends only its ESC goes, and it
//    hides no line after it;
//  - the other escape sequences: ESC, intermediate bytes 0x20-0x2F, a final byte 0x30-0x7E
//    (ESC "(B", ESC "=", ESC "7"). ESC "\" only ends a string: on its own it is none;
//  - every ESC left over, which begins none of these; what follows it stays.
// Everything else stays byte for byte, so the result is well-formed UTF-8 and holds no ESC. A
// sequence that another one interrupts goes on where it stopped once the inner one is gone:
// "ESC[1" ESC "[0m" "m" is removed whole.
//
// The bytes before `from` are only looked at: when a sequence began there, its rest is removed
// too. At the end of `text`, a sequence that is not yet complete is removed, as the writer may
// still be writing it; so is an unterminated string there while its body is within the bound.
std::string ReadableTerminalText(std::string_view text, size_t from = 0);

// The last line of `text` that is not empty once readable as above, without its line end (LF or
// CR LF), cut to at most `maxBytes` without splitting a character. Empty when there is none.
std::string LastReadableLine(std::string_view text, size_t maxBytes);

}  // namespace orvanta

#endif  // ORVANTA_SUPPORT_TERMINAL_TEXT_H_
