// UTF-16 paths and system texts turned into the UTF-8 the logs and the UI need.
#include <gtest/gtest.h>

#include <string>

#include "support/wide_text.h"
#include "support/windows_error.h"

namespace {

TEST(WideTextTest, ConvertsEveryScriptAndRepairsWhatIsNotText) {
  // Cyrillic, Chinese and an emoji (a surrogate pair): outside every ANSI code page at once.
  const std::wstring wide = L"\x041e\x0440 \x4e2d\xd83d\xde00";
  const std::string utf8 = "\xD0\x9E\xD1\x80 \xE4\xB8\xAD\xF0\x9F\x98\x80";
  EXPECT_EQ(orvanta::Utf8FromWide(wide), utf8);
  EXPECT_EQ(orvanta::WideFromUtf8(utf8), wide);
  // An unpaired surrogate and a byte that is no UTF-8 each become U+FFFD.
  EXPECT_EQ(orvanta::Utf8FromWide(std::wstring{L'a', 0xD83D, L'b'}),
            std::string("a\xEF\xBF\xBD") + "b");
  EXPECT_EQ(orvanta::WideFromUtf8("a\xFF" + std::string("b")), (std::wstring{L'a', 0xFFFD, L'b'}));
  EXPECT_EQ(orvanta::Utf8FromWide(L""), "");

  // The system's own text, with the line break it ends in.
  const std::string notFound = orvanta::SystemErrorText(ERROR_FILE_NOT_FOUND);
  ASSERT_GT(notFound.size(), 2u);
  EXPECT_EQ(notFound.back(), '\n');
}

}  // namespace
