// The core's terminal output made readable: escape sequences and strings removed after the UTF-8
// repair, a window that begins inside one, one still being written, and the last line.
#include "support/terminal_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::string kFffd = "\xEF\xBF\xBD";

TEST(TerminalTextTest, EscapeSequencesGoAndTheRepairedRestStaysByteForByte) {
  struct Case {
    const char* description;
    std::string text;
    size_t from;
    std::string expected;
  };
  const std::string colour = "x\x1b[38;5;208mtext";
  const std::string body(4096, 'b');
  const std::vector<Case> cases = {
      {"levels as the core colours them", "\x1b[36mINFO\x1b[0m[0000] started\r\n", 0,
       "INFO[0000] started\r\n"},
      {"256-colour, 24-bit and bold forms", "\x1b[38;5;208mdns\x1b[48;2;0;0;255m!\x1b[1;32m+", 0,
       "dns!+"},
      {"private parameter, intermediate byte, other finals up to ~",
       "a\x1b[?25lb\x1b[ @c\x1b[2Kd\x1b[2~e", 0, "abcde"},
      {"OSC title ended by BEL, and by ST", "\x1b]0;sing-box\x07up \x1b]2;t\x1b\\ok", 0, "up ok"},
      {"OSC 8 link around text",
       "see \x1b]8;;https://sing-box.sagernet.org/\x1b\\docs\x1b]8;;\x1b\\ here", 0,
       "see docs here"},
      {"DCS, SOS, PM and APC, with UTF-8 in the body",
       "\x1bP1$r0m\x1b\\a\x1bX\xC3\xA9\x07"
       "b\x1b^p\x07"
       "c\x1b_a\x1b\\d",
       0, "abcd"},
      {"two-byte forms, with intermediates too",
       "\x1b(Bx\x1b=\x1b"
       "7y\x1b#8\x1b ~z",
       0, "xyz"},
      // What is left over would show as garbage, and a terminal would act on its ESC.
      {"what begins no sequence: only its ESC goes",
       "\x1b[1;\n2m \x1b[31\x7f \x1b\xC3\xA9 \x1b\\ \x1b(\r one\x1b\ttwo", 0,
       "[1;\n2m [31\x7f \xC3\xA9 \\ (\r one\ttwo"},
      {"a string that never ends costs its ESC only: a control byte, a line end",
       "\x1b]0;no end\x01!\x1b]8;;http://x\nnext", 0, "]0;no end\x01!]8;;http://x\nnext"},
      {"a body of 4096 bytes is a string", "a\x1b]" + body + "\x07z", 0, "az"},
      {"a body of 4097 bytes is text", "a\x1b]" + body + "b\x07z", 0, "a]" + body + "b\x07z"},
      {"a string goes on after an inner sequence, to BEL or ST",
       "\x1b]0;a\x1b[0mb\x07"
       "c\x1b]0;d\x1b(B\x1b\\e",
       0, "ce"},
      // A terminal shows what is left as text too.
      {"what a removal joins into a sequence goes too",
       "a\x1b\x1b\x1b[0m[1m[0mb\x1b[3\x1b[0m1mc\x1b\x1b[0m", 0, "abc"},
      {"a sequence between the halves of a broken character does not join them",
       "\xE2\x1b[0m\x82\xAC\xE2\x1b]0;t\x07\x82", 0, kFffd + kFffd + kFffd + kFffd + kFffd},
      {"window begins after the ESC", colour, 2, "text"},
      {"window begins inside the parameters", colour, 7, "text"},
      {"window begins at the final byte", colour, 11, "text"},
      {"window begins after a whole sequence", "\x1b[0m12m", 4, "12m"},
      {"window begins a byte after a whole sequence", "\x1b[0mab", 5, "b"},
      {"window begins inside what is no sequence", "\x1b[1;\n2m", 3, ";\n2m"},
      {"window begins inside an OSC body", "\x1b]0;title\x07text", 5, "text"},
      {"window begins between the two bytes of ST", "\x1b]0;t\x1b\\text", 6, "text"},
      {"window begins inside ESC ( B", "\x1b(Btext", 2, "text"},
      {"window begins inside a string no ST ends", "\x1b]0;t\x1b[0mtext", 4, "ttext"},
      {"a sequence still being written at the end", "INFO \x1b[38;5", 0, "INFO "},
      {"a string still being written at the end", "INFO \x1b]8;;http://exa", 0, "INFO "},
      {"an ESC at the end", "done\x1b", 0, "done"},
      {"cut sequences stacked at the end", "done\x1b[1\x1b]0;t\x1b(", 0, "done"},
      {"a sequence from before the window still being written", "\x1b[38;5", 3, ""},
      {"a string from before the window still being written", "\x1b]0;tit", 4, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(orvanta::ReadableTerminalText(c.text, c.from), c.expected) << c.description;
  }
}

TEST(TerminalTextTest, LastLineIsTheLastNonEmptyOneWithoutItsEnd) {
  struct Case {
    const char* description;
    std::string text;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"nothing", "", ""},
      {"LF", "first\nFATAL x\n", "FATAL x"},
      {"CR LF, with empty lines and lines of colour codes and a title after it",
       "a\r\n\x1b[31mFATAL\x1b[0m[0000] bind: in use\r\n\r\n\x1b[0m\r\n\x1b]0;sing-box\x07\r\n",
       "FATAL[0000] bind: in use"},
      {"a last line still being written", "a\nstill writ\x1b[3", "still writ"},
      {"only empty lines", "\r\n\n\x1b[0m\n", ""},
      {"cut at 512 bytes, not inside a character",
       std::string(511, 'a') + "\xE2\x82\xAC" + "tail\n", std::string(511, 'a')},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(orvanta::LastReadableLine(c.text, 512), c.expected) << c.description;
  }
}

}  // namespace
