// config.json, the core log section and the moving aside of a large sing-box.log, driven
// directly with a private temporary folder.
#include "proxy_core/working_files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/wide_text.h"
#include "tests/proxy_core/failing_allocator.h"
#include "tests/proxy_core/proxy_test_support.h"

namespace {

using Lines = std::vector<std::string>;
using orvanta::Utf8FromWide;
using orvanta::WideFromUtf8;

const std::string kHeader = "\n----- sing-box stdout/stderr -----\n";
const std::string kFffd = "\xEF\xBF\xBD";
const long long kMiB = 1024 * 1024;

long long FileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::string CoreLogSection(const std::string& logPath) {
  std::string logs = "service log\n";
  AppendCoreLogSection(WideFromUtf8(logPath), logs);
  return logs.substr(12);
}

TEST(WorkingFilesTest, ConfigIsWrittenWithCrLfAndPreviewedWithoutSplittingACharacter) {
  // Missing parents of the temporary folder are created too; blanks in the path are fine.
  orvanta_test::ScopedTempFolder temp("working files");
  const std::string nested = temp.Path() + "a\\b c\\";
  orvanta_test::ScopedEnvironment tmp("TMP", nested.c_str());
  const std::string folder = nested + "Orvanta";

  struct Case {
    const char* description;
    std::string config;
    std::string preview;
    std::string onDisk;
  };
  const std::string euro = std::string(199, 'a') + "\xE2\x82\xAC" + std::string(798, 'b');
  const std::string emoji = std::string(198, 'a') + "\xF0\x9F\x98\x80" + std::string(798, 'b');
  const std::string ascii(1000, 'c');
  const std::vector<Case> cases = {
      {"50 bytes previewed whole", std::string(50, 'x'), std::string(50, 'x'),
       std::string(50, 'x')},
      {"LF becomes CR LF", "{\n  \"a\": 1\n}\n", "{\n  \"a\": 1\n}\n", "{\r\n  \"a\": 1\r\n}\r\n"},
      {"CR LF becomes CR CR LF", "{\r\n}", "{\r\n}", "{\r\r\n}"},
      {"1000 ASCII bytes cut at byte 200", ascii, ascii.substr(0, 200), ascii},
      {"three-byte character at bytes 199-201", euro, euro.substr(0, 199), euro},
      {"four-byte character at bytes 198-201", emoji, emoji.substr(0, 198), emoji},
      {"a shorter text replaces a longer one", "{}", "{}", "{}"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    proxytest::RecordedLog log;
    WorkingFiles files;
    ASSERT_TRUE(CreateConfigFile(c.config, files, log.Sink()));
    EXPECT_EQ(Utf8FromWide(files.configPath), folder + "\\config.json");
    EXPECT_EQ(Utf8FromWide(files.logPath), folder + "\\sing-box.log");
    EXPECT_EQ(log.lines,
              (Lines{"Using provided config (" + std::to_string(c.config.size()) + " characters)",
                     "Config preview: " + c.preview + "...",
                     "sing-box config created: " + folder + "\\config.json"}));
    EXPECT_EQ(orvanta_test::ReadFileBytes(folder + "\\config.json"), c.onDisk);
  }
}

TEST(WorkingFilesTest, ConfigThatCannotBeWrittenFailsWithItsReason) {
  orvanta_test::ScopedTempFolder temp("unwritable");
  const std::string work = temp.WorkFolder();
  const std::string blocked = temp.Path() + "blocked\\";
  ASSERT_TRUE(CreateDirectoryA(blocked.c_str(), nullptr));
  orvanta_test::WriteFileBytes(blocked + "Orvanta", "a file, not a folder");
  // Under Wine the link to an always-full device opens, and every write to it fails.
  const std::string fullDisk = orvanta_test::ExecutableFolder() + "\\disk_full\\";
  ASSERT_TRUE(orvanta_test::FileExists(fullDisk + "Orvanta")) << fullDisk;

  struct Case {
    const char* description;
    std::string tmp;
    std::string config;
    Lines expected;  // an entry ending in "*" matches by prefix
    bool pathsSet;
  };
  const std::vector<Case> cases = {
      {"empty text", temp.Path(), "", {"ERROR: No config provided for sing-box"}, true},
      {"config.json is a folder",
       temp.Path(),
       "{}",
       {"Using provided config (2 characters)", "Config preview: {}...",
        "Failed to create config file: " + work + "\\config.json"},
       true},
      {"a file in the working folder's place",
       blocked,
       "{}",
       {"ERROR: Cannot create working folder: " + blocked + "Orvanta"},
       false},
      {"temporary folder longer than the path limit",
       temp.Path() + std::string(260, 'x') + "\\",
       "{}",
       {"ERROR: Cannot determine the temporary folder. Error code: *"},
       false},
      {"disk full",
       fullDisk,
       std::string(5000, ' ') + "{}",
       {"Using provided config (5002 characters)",
        "Config preview: " + std::string(200, ' ') + "...",
        "Failed to create config file: " + fullDisk + "Orvanta\\config.json"},
       true},
  };
  ASSERT_TRUE(CreateDirectoryA(work.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA((work + "\\config.json").c_str(), nullptr));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    orvanta_test::ScopedEnvironment tmp("TMP", c.tmp.c_str());
    proxytest::RecordedLog log;
    WorkingFiles files;
    EXPECT_FALSE(CreateConfigFile(c.config, files, log.Sink()));
    ASSERT_EQ(log.lines.size(), c.expected.size());
    for (size_t i = 0; i < c.expected.size(); ++i) {
      const std::string& want = c.expected[i];
      if (!want.empty() && want.back() == '*') {
        EXPECT_EQ(log.lines[i].rfind(want.substr(0, want.size() - 1), 0), 0u) << log.lines[i];
      } else {
        EXPECT_EQ(log.lines[i], want);
      }
    }
    EXPECT_EQ(!files.configPath.empty() && !files.logPath.empty(), c.pathsSet);
  }
}

TEST(WorkingFilesTest, CoreLogSectionIsTheEndOfTheFileAsValidUtf8) {
  orvanta_test::ScopedTempFolder temp("core log");
  ASSERT_TRUE(CreateDirectoryA(temp.WorkFolder().c_str(), nullptr));
  const std::string log = temp.WorkFolder() + "\\sing-box.log";
  const std::string valid("line one\r\nline \xD0\xB4\xE4\xB8\xAD\xF0\x9F\x98\x80\n\0nul\n", 30);

  EXPECT_EQ(CoreLogSection(log), "") << "no file, no section";
  orvanta_test::WriteFileBytes(log, "");
  EXPECT_EQ(CoreLogSection(log), kHeader) << "an empty file still gets its header";
  orvanta_test::WriteFileBytes(log, valid);
  EXPECT_EQ(CoreLogSection(log), kHeader + valid) << "valid bytes pass byte for byte";
  // Colour codes go from the answer, not from the file; so does one still being written.
  const std::string coloured = "\x1b[36mINFO\x1b[0m[0000] x\r\nlive \x1b[38;5";
  orvanta_test::WriteFileBytes(log, coloured);
  EXPECT_EQ(CoreLogSection(log), kHeader + "INFO[0000] x\r\nlive ");
  EXPECT_EQ(orvanta_test::ReadFileBytes(log), coloured);
  // A code page 1251 line and a character the core has not finished writing.
  orvanta_test::WriteFileBytes(log, valid + "\xCF\xF0\n\xE2\x82");
  EXPECT_EQ(CoreLogSection(log), kHeader + valid + kFffd + kFffd + "\n" + kFffd);

  // The running core holds the file open for appending; reading shares it.
  HANDLE writer = CreateFileA(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(writer, "live\n", 5, &written, nullptr);
  EXPECT_EQ(CoreLogSection(log), kHeader + valid + kFffd + kFffd + "\n" + kFffd + "live\n");
  CloseHandle(writer);

  // A file that cannot be opened (a folder in its place) is left out like a missing one.
  const std::string folder = temp.WorkFolder() + "\\folder.log";
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  EXPECT_EQ(CoreLogSection(folder), "");

  // Where the window begins decides the first line shown; the note counts exactly the rest.
  std::string body;
  for (int i = 0; body.size() < kMiB; ++i) body += "line " + std::to_string(i) + "\n";
  body = body.substr(body.size() - kMiB);  // begins inside a line
  const std::string whole = body.substr(body.find('\n') + 1);
  const std::string link = "\x1b]8;;https://example.com/" + std::string(3000, 'p') + "\x1b\\";
  struct Window {
    const char* description;
    std::string content;
    std::string expected;
  };
  const std::vector<Window> windows = {
      {"exactly the window: no note", body, kHeader + body},
      {"window begins at a line start", "earlier\n" + whole + std::string(kMiB - whole.size(), 'z'),
       kHeader + "(8 earlier bytes not shown)\n" + whole + std::string(kMiB - whole.size(), 'z')},
      // Far more before the window than is read behind it.
      {"window begins inside a line, after 64 KiB of an earlier one",
       std::string(64 * 1024, 'e') + body,
       kHeader + "(" + std::to_string(64 * 1024 + kMiB - whole.size()) +
           " earlier bytes not shown)\n" + whole},
      {"one byte over, a line end first", "\n" + body.substr(0, kMiB - 1) + "\n",
       kHeader + "(1 earlier bytes not shown)\n" + body.substr(0, kMiB - 1) + "\n"},
      // No line starts in the window: it is shown from its first whole character, and the
      // character that began before it counts as not shown, not even its lead byte.
      {"one line longer than the window, which begins inside a character",
       "ab\xE4\xB8\xAD" + std::string(kMiB - 2, 'c'),
       kHeader + "(5 earlier bytes not shown)\n" + std::string(kMiB - 2, 'c')},
      // The link's ESC lies far before the window, as a string's may.
      {"one line longer than the window, which begins inside a link",
       link + std::string(kMiB - 5, 'c'),
       kHeader + "(" + std::to_string(link.size() - 5) + " earlier bytes not shown)\n" +
           std::string(kMiB - 5, 'c')},
  };
  for (const Window& w : windows) {
    orvanta_test::WriteFileBytes(log, w.content);
    const std::string shownLog = CoreLogSection(log);
    // Compared from the first difference on: GoogleTest's line diff of two texts of a hundred
    // thousand lines each would take more memory than the machine has.
    size_t same = 0;
    while (same < shownLog.size() && same < w.expected.size() &&
           shownLog[same] == w.expected[same]) {
      ++same;
    }
    EXPECT_EQ(shownLog.size(), w.expected.size()) << w.description;
    EXPECT_EQ(shownLog.substr(same, 64), w.expected.substr(same, 64))
        << w.description << ", from byte " << same;
  }

  // Running out of memory while reading keeps the failure note.
  proxytest::ScopedAllocationLimit limit(256 * 1024);
  EXPECT_EQ(CoreLogSection(log), kHeader + "(failed to read sing-box log file)\n");
}

TEST(WorkingFilesTest, LastWordsAreTheLastLineThisLaunchAppended) {
  orvanta_test::ScopedTempFolder temp("last words");
  ASSERT_TRUE(CreateDirectoryA(temp.WorkFolder().c_str(), nullptr));
  const std::string log = temp.WorkFolder() + "\\sing-box.log";
  const std::string earlier = "an earlier launch's FATAL\n";
  const long long launch = static_cast<long long>(earlier.size());
  const std::string longLine(70000, 'x');
  std::string euros;
  while (euros.size() < 600) euros += "\xE2\x82\xAC";
  struct Case {
    const char* description;
    std::string appended;
    long long start;
    std::string expected;
  };
  const std::vector<Case> cases = {
      // Not the earlier launch's line: the core said nothing readable.
      {"only blank lines and colour codes appended", "\r\n\x1b[0m\r\n\n", launch, ""},
      {"no log of this launch", "FATAL\n", -1, ""},
      {"only the last 64 KiB, from a line start", "first\n" + longLine + "\nlast", launch, "last"},
      {"a last line that began before them is not quoted", "first\n" + longLine + "\n", launch, ""},
      {"cut to 512 bytes between characters", "FATAL " + euros + "\r\n", launch,
       "FATAL " + euros.substr(0, 504)},
  };
  for (const Case& c : cases) {
    orvanta_test::WriteFileBytes(log, earlier + c.appended);
    EXPECT_EQ(LastCoreLogLine(WideFromUtf8(log), c.start), c.expected) << c.description;
  }
}

TEST(WorkingFilesTest, CoreLogOverSixteenMebibytesIsMovedAsideReplacingTheOlderCopy) {
  orvanta_test::ScopedTempFolder temp("move aside");
  ASSERT_TRUE(CreateDirectoryA(temp.WorkFolder().c_str(), nullptr));
  const std::string log = temp.WorkFolder() + "\\sing-box.log";
  const std::string older = temp.WorkFolder() + "\\sing-box.old.log";
  orvanta_test::WriteFileBytes(older, "an earlier older copy");
  proxytest::RecordedLog recorded;

  proxytest::WriteSparseFile(log, 16 * kMiB, "at the limit\n");
  MoveLargeCoreLogAside(WideFromUtf8(log), recorded.Sink());
  EXPECT_EQ(FileSize(log), 16 * kMiB) << "a file at the limit stays";
  EXPECT_EQ(orvanta_test::ReadFileBytes(older), "an earlier older copy");
  EXPECT_TRUE(recorded.lines.empty());

  proxytest::WriteSparseFile(log, 16 * kMiB + 1, "over the limit\n");
  MoveLargeCoreLogAside(WideFromUtf8(log), recorded.Sink());
  EXPECT_FALSE(orvanta_test::FileExists(log));
  EXPECT_EQ(FileSize(older), 16 * kMiB + 1);
  EXPECT_EQ(recorded.lines, Lines{"Moved sing-box log of 16777217 bytes aside to " + older});
}

}  // namespace
