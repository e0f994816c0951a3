// The UTF-8 repair applied to everything the host hands the UI, and the character-safe cut of
// the configuration preview.
#include "support/utf8.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::string kFffd = "\xEF\xBF\xBD";

TEST(Utf8Test, WellFormedTextPassesAndEachMaximalIllFormedPartBecomesOneReplacement) {
  struct Case {
    const char* description;
    std::string in;
    std::string out;
  };
  // Expectations match the Unicode standard's recommended practice (Python's "replace").
  const std::vector<Case> cases = {
      {"empty", "", ""},
      {"ASCII with NUL and CR LF", std::string("a\0b\r\n", 5), std::string("a\0b\r\n", 5)},
      {"two-, three- and four-byte characters",
       "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xEF\xBF\xBF\xF4\x8F\xBF\xBF",
       "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xEF\xBF\xBF\xF4\x8F\xBF\xBF"},
      {"lead byte followed by ASCII", "\xC3(", kFffd + "("},
      {"stray continuation bytes", "\x80\x80", kFffd + kFffd},
      {"truncated three-byte at the end", "ok\xE2\x82", "ok" + kFffd},
      {"truncated four-byte at the end", "\xF0\x9F\x98", kFffd},
      {"overlong two-byte", "\xC0\xAF", kFffd + kFffd},
      {"overlong three-byte", "\xE0\x80\xAF", kFffd + kFffd + kFffd},
      {"overlong four-byte", "\xF0\x8F\xBF\xBF", kFffd + kFffd + kFffd + kFffd},
      {"encoded surrogate", "\xED\xA0\x80", kFffd + kFffd + kFffd},
      {"above U+10FFFF", "\xF4\x90\x80\x80", kFffd + kFffd + kFffd + kFffd},
      {"five-byte form", "\xF8\x88\x80\x80\x80", kFffd + kFffd + kFffd + kFffd + kFffd},
      {"Unicode's own example",
       "a\xF1\x80\x80\xE1\x80\xC2"
       "b\x80"
       "c\x80\xBF"
       "d",
       "a" + kFffd + kFffd + kFffd + "b" + kFffd + "c" + kFffd + kFffd + "d"},
      {"code page 1251 bytes", "\xCF\xF0\xE8\xE2\xE5\xF2",
       kFffd + kFffd + kFffd + kFffd + kFffd + kFffd},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(orvanta::ToValidUtf8(c.in), c.out) << c.description;
  }
}

TEST(Utf8Test, PrefixNeverEndsInsideACharacter) {
  const std::string a199(199, 'a');
  struct Case {
    const char* description;
    std::string text;
    size_t expected;
  };
  const std::vector<Case> cases = {
      {"shorter than the limit", "abc", 3},
      {"ASCII at the limit", std::string(300, 'a'), 200},
      {"three-byte character straddling byte 200", a199 + "\xE2\x82\xAC" + "tail", 199},
      {"four-byte character straddling byte 200", std::string(198, 'a') + "\xF0\x9F\x98\x80", 198},
      {"four-byte character ending at byte 200", std::string(196, 'a') + "\xF0\x9F\x98\x80z", 200},
      {"stray continuation bytes are not a character", a199 + "\x80\x80\x80\x80", 200},
      {"continuation after ASCII", a199 + "z\x80", 200},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(orvanta::Utf8PrefixLength(c.text, 200), c.expected) << c.description;
  }
}

}  // namespace
