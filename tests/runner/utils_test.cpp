#include "runner/utils.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Arguments = std::vector<std::string>;

struct SplitCase {
  const char* description;
  const wchar_t* commandLine;
  Arguments expected;
};

TEST(CollectArguments, SplitsLikeTheSystemAndDropsTheProgramName) {
  const SplitCase cases[] = {
      {"program name only", L"orvanta.exe", {}},
      {"quoted program path with a space", L"\"C:\\Program Files\\Orvanta\\orvanta.exe\"", {}},
      {"two plain arguments in order", L"orvanta.exe --first second", {"--first", "second"}},
      {"quoted argument keeps its space, loses its quotes",
       L"orvanta.exe \"hello world\" x",
       {"hello world", "x"}},
      {"empty quoted argument keeps its place", L"orvanta.exe a \"\" b", {"a", "", "b"}},
      {"Cyrillic and CJK letters",
       L"orvanta.exe \x041F\x0440\x0438\x0432\x0435\x0442 \x65E5\x672C",
       {"\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82", "\xE6\x97\xA5\xE6\x9C\xAC"}},
      {"emoji written as a surrogate pair", L"orvanta.exe \xD83D\xDE00", {"\xF0\x9F\x98\x80"}},
      {"unpaired high surrogate becomes empty, neighbours unaffected",
       L"orvanta.exe before a\xD800z after",
       {"before", "", "after"}},
      {"unpaired low surrogate becomes empty", L"orvanta.exe \xDC00", {""}},
  };
  for (const SplitCase& c : cases) {
    EXPECT_EQ(CollectArgumentsFrom(c.commandLine), c.expected) << c.description;
  }
}

TEST(ToUtf8, EmptyForNullEmptyAndInvalidText) {
  EXPECT_EQ(ToUtf8(nullptr), "");
  EXPECT_EQ(ToUtf8(L""), "");
  EXPECT_EQ(ToUtf8(L"\xD83D"), "") << "high surrogate at the end";
  EXPECT_EQ(ToUtf8(L"ab\xDE00"), "") << "low surrogate without its pair";
  EXPECT_EQ(ToUtf8(L"plain"), "plain");
  // Two-, three- and four-byte forms in one text: the exact byte count matters.
  EXPECT_EQ(ToUtf8(L"\x00E9\x20AC\xD83D\xDE00"), "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
}

}  // namespace
