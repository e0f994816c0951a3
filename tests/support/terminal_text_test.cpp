// The core's terminal output made readable: colour codes removed after the UTF-8 repair, a
// window that begins inside a sequence, a sequence still being written, and the last line.
#include "support/terminal_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::string kFffd = "\xEF\xBF\xBD";

TEST(TerminalTextTest, CsiSequencesGoAndTheRepairedRestStaysByteForByte) {
  struct Case {
    const char* description;
    std::string text;
    size_t from;
    std::string expected;
  };
  const std::string colour = "x\x1b[38;5;208mtext";
  const std::vector<Case> cases = {
      {"levels as the core colours them", "\x1b[36mINFO\x1b[0m[0000] started\r\n", 0,
       "INFO[0000] started\r\n"},
      {"256-colour, 24-bit and bold forms", "\x1b[38;5;208mdns\x1b[48;2;0;0;255m!\x1b[1;32m+", 0,
       "dns!+"},
      {"private parameter, intermediate byte, other finals", "a\x1b[?25lb\x1b[ @c\x1b[2Kd", 0,
       "abcd"},
      {"not CSI sequences stay", "\x1b(B \x1b]0;t\x07 \x1b[1;\n2m \x1b[ 1m \x1b[31\x7f", 0,
       "\x1b(B \x1b]0;t\x07 \x1b[1;\n2m \x1b[ 1m \x1b[31\x7f"},
      // A terminal shows what is left as text too.
      {"what a removal joins into a sequence goes too",
       "a\x1b\x1b\x1b[0m[1m[0mb\x1b[3\x1b[0m1mc\x1b\x1b[0m", 0, "abc"},
      {"a sequence between the halves of a broken character does not join them",
       "\xE2\x1b[0m\x82\xAC", 0, kFffd + kFffd + kFffd},
      {"window begins after the ESC", colour, 2, "text"},
      {"window begins inside the parameters", colour, 7, "text"},
      {"window begins at the final byte", colour, 11, "text"},
      {"window begins after a whole sequence", "\x1b[0m12m", 4, "12m"},
      {"window begins inside what is no sequence", "\x1b[1;\n2m", 3, ";\n2m"},
      {"a sequence still being written at the end", "INFO \x1b[38;5", 0, "INFO "},
      {"an ESC at the end", "done\x1b", 0, "done"},
      {"a sequence from before the window still being written", "\x1b[38;5", 3, ""},
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
      {"CR LF, with empty lines and a line of colour codes after it",
       "a\r\n\x1b[31mFATAL\x1b[0m[0000] bind: in use\r\n\r\n\x1b[0m\r\n",
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
