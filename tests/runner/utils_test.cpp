#include "runner/utils.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Arguments = std::vector<std::string>;

// The end-to-end run passes blanks, Cyrillic, Chinese, an emoji and an empty argument through a
// real command line; what only a scripted one can carry is tested here.
TEST(CollectArguments, DropsTheProgramNameAndEmptiesWhatIsNotUtf16) {
  const struct {
    const char* description;
    const wchar_t* commandLine;
    Arguments expected;
  } cases[] = {
      {"quoted program path with a space", L"\"C:\\Program Files\\Orvanta\\orvanta.exe\"", {}},
      {"unpaired high surrogate becomes empty, neighbours unaffected",
       L"orvanta.exe before a\xD800z after",
       {"before", "", "after"}},
      {"unpaired low surrogate becomes empty", L"orvanta.exe \xDC00", {""}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CollectArgumentsFrom(c.commandLine), c.expected) << c.description;
  }
  EXPECT_EQ(ToUtf8(nullptr), "");
  EXPECT_EQ(ToUtf8(L"\x00E9\x20AC\xD83D\xDE00"), "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
}

}  // namespace
