// config.json and sing-box.log in the working folder under the temporary folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "proxy_core/sing_box_service.h"
#include "tests/proxy_core/failing_allocator.h"
#include "tests/proxy_core/proxy_test_support.h"
#include "tests/proxy_core/sing_box_service_test_peer.h"

namespace {

using proxytest::Messages;
using proxytest::MessagesFrom;
using Lines = std::vector<std::string>;

const std::string kHeader = "\n----- sing-box stdout/stderr -----\n";
const std::string kFffd = "\xEF\xBF\xBD";

class CoreWorkingFilesTest : public proxytest::StandInTest {};

TEST_F(CoreWorkingFilesTest, ConfigIsWrittenUnderTempWithCrLfAndPreviewedByBytes) {
  // Missing parents of the temporary folder are created too; blanks in the path are fine.
  proxytest::ScopedTempFolder temp("working files");
  const std::string nested = temp.Path() + "a\\b c\\";
  proxytest::ScopedEnvironment tmp("TMP", nested.c_str());
  SingBoxService service;
  SingBoxServiceTestPeer peer(service);

  struct Case {
    const char* description;
    std::string config;
    std::string preview;
    std::string onDisk;
  };
  const std::string fifty(50, 'x');
  // A character straddling byte 200 is left out of the preview whole, never cut.
  const std::string euro = std::string(199, 'a') + "\xE2\x82\xAC" + std::string(798, 'b');
  const std::string emoji = std::string(198, 'a') + "\xF0\x9F\x98\x80" + std::string(798, 'b');
  const std::string ascii(1000, 'c');
  const std::vector<Case> cases = {
      {"50 bytes preview whole", fifty, fifty, fifty},
      {"LF becomes CR LF", "{\n  \"a\": 1\n}\n", "{\n  \"a\": 1\n}\n", "{\r\n  \"a\": 1\r\n}\r\n"},
      {"CR LF becomes CR CR LF", "{\r\n}", "{\r\n}", "{\r\r\n}"},
      {"1000 ASCII bytes cut at byte 200", ascii, ascii.substr(0, 200), ascii},
      {"three-byte character at bytes 199-201", euro, euro.substr(0, 199), euro},
      {"four-byte character at bytes 198-201", emoji, emoji.substr(0, 198), emoji},
  };
  const std::string folder = nested + "Orvanta";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    const size_t mark = Messages(peer.LogBuffer()).size();
    ASSERT_TRUE(peer.CreateConfigFile(c.config));
    EXPECT_EQ(peer.ConfigPath(), folder + "\\config.json");
    EXPECT_EQ(peer.LogPath(), folder + "\\sing-box.log");
    EXPECT_EQ(MessagesFrom(peer.LogBuffer(), mark),
              (Lines{"Using provided config (" + std::to_string(c.config.size()) + " characters)",
                     "Config preview: " + c.preview + "...",
                     "sing-box config created: " + folder + "\\config.json"}));
    EXPECT_EQ(proxytest::ReadFileBytes(peer.ConfigPath()), c.onDisk);
  }
  // A shorter configuration replaces the longer one completely.
  ASSERT_TRUE(peer.CreateConfigFile("{}"));
  EXPECT_EQ(proxytest::ReadFileBytes(peer.ConfigPath()), "{}");
}

TEST_F(CoreWorkingFilesTest, EmptyConfigFailsStartButSetsBothPaths) {
  proxytest::ScopedTempFolder temp("empty");
  SingBoxService service;
  SingBoxServiceTestPeer peer(service);
  EXPECT_FALSE(service.Start(""));
  EXPECT_EQ(MessagesFrom(peer.LogBuffer(), 1),
            (Lines{"Starting sing-box...", "ERROR: No config provided for sing-box",
                   "Failed to create sing-box config"}));
  EXPECT_EQ(peer.ConfigPath(), temp.WorkFolder() + "\\config.json");
  EXPECT_EQ(peer.LogPath(), temp.WorkFolder() + "\\sing-box.log");
  EXPECT_FALSE(proxytest::FileExists(peer.ConfigPath()));
  // No sing-box.log yet: the logs carry no core section.
  EXPECT_EQ(service.GetLogs(), peer.LogBuffer());
  EXPECT_TRUE(proxytest::CoreChildren().empty());
}

TEST_F(CoreWorkingFilesTest, ConfigThatCannotBeWrittenIsNotReportedAsCreated) {
  proxytest::ScopedTempFolder temp("unwritable");
  {
    // config.json is a folder: the file cannot be opened at all.
    SingBoxService service;
    SingBoxServiceTestPeer peer(service);
    ASSERT_TRUE(CreateDirectoryA(temp.WorkFolder().c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA((temp.WorkFolder() + "\\config.json").c_str(), nullptr));
    EXPECT_FALSE(service.Start("{}"));
    const Lines messages = Messages(peer.LogBuffer());
    ASSERT_GE(messages.size(), 2u);
    EXPECT_EQ(messages[messages.size() - 2],
              "Failed to create config file: " + temp.WorkFolder() + "\\config.json");
    EXPECT_EQ(messages.back(), "Failed to create sing-box config");
  }
  {
    // The working folder cannot exist (a file has its name), or the temporary folder does
    // not fit the 260-character buffer: the start fails before any file is written.
    const std::string blocked = temp.Path() + "blocked\\";
    ASSERT_TRUE(CreateDirectoryA(blocked.c_str(), nullptr));
    proxytest::WriteFileBytes(blocked + "Orvanta", "a file, not a folder");
    const std::string tooLong = temp.Path() + std::string(260, 'x') + "\\";
    for (const std::string& tmpPath : {blocked, tooLong}) {
      SCOPED_TRACE(tmpPath);
      proxytest::ScopedEnvironment tmp("TMP", tmpPath.c_str());
      SingBoxService service;
      SingBoxServiceTestPeer peer(service);
      EXPECT_FALSE(service.Start("{}"));
      const Lines messages = MessagesFrom(peer.LogBuffer(), 1);
      ASSERT_EQ(messages.size(), 3u);
      EXPECT_EQ(messages[0], "Starting sing-box...");
      EXPECT_EQ(messages[1].rfind("ERROR: Cannot ", 0), 0u) << messages[1];
      EXPECT_EQ(messages[2], "Failed to create sing-box config");
      EXPECT_TRUE(peer.ConfigPath().empty());
    }
  }
  // config.json opens but every write fails (a device that is always full): the truncated
  // file must not be reported as created, and no core may be launched with it.
  const std::string fullDisk = proxytest::ExecutableFolder() + "\\disk_full\\";
  if (!proxytest::FileExists(fullDisk + "Orvanta")) {
    GTEST_SKIP() << "no always-full device prepared at " << fullDisk;
  }
  proxytest::ScopedEnvironment tmp("TMP", fullDisk.c_str());
  SingBoxService service;
  SingBoxServiceTestPeer peer(service);
  EXPECT_FALSE(service.Start(std::string(5000, ' ') + "{}"));
  const Lines messages = Messages(peer.LogBuffer());
  ASSERT_GE(messages.size(), 2u);
  EXPECT_EQ(messages[messages.size() - 2],
            "Failed to create config file: " + fullDisk + "Orvanta\\config.json");
  EXPECT_EQ(messages.back(), "Failed to create sing-box config");
  EXPECT_TRUE(proxytest::CoreChildren().empty());
}

TEST_F(CoreWorkingFilesTest, GetLogsAppendsCoreLogUnderHeaderAsValidUtf8) {
  proxytest::ScopedTempFolder temp("core log");
  SingBoxService service;
  SingBoxServiceTestPeer peer(service);
  ASSERT_TRUE(peer.CreateConfigFile("{}"));
  EXPECT_EQ(service.GetLogs(), peer.LogBuffer());

  // Valid content comes byte for byte; a code page 1251 line and a character the core has
  // not finished writing become U+FFFD.
  const std::string valid("line one\r\nline \xD0\xB4\xE4\xB8\xAD\xF0\x9F\x98\x80\n\0nul\n", 30);
  proxytest::WriteFileBytes(peer.LogPath(), valid);
  EXPECT_EQ(service.GetLogs(), peer.LogBuffer() + kHeader + valid);
  proxytest::WriteFileBytes(peer.LogPath(), valid + "\xCF\xF0\n\xE2\x82");
  EXPECT_EQ(service.GetLogs(), peer.LogBuffer() + kHeader + valid + kFffd + kFffd + "\n" + kFffd);

  // An empty core log still gets its header.
  proxytest::WriteFileBytes(peer.LogPath(), "");
  EXPECT_EQ(service.GetLogs(), peer.LogBuffer() + kHeader);

  // The running core holds the file open for appending; reading shares it.
  HANDLE writer =
      CreateFileA(peer.LogPath().c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(writer, "live\n", 5, &written, nullptr);
  EXPECT_EQ(service.GetLogs(), peer.LogBuffer() + kHeader + "live\n");
  CloseHandle(writer);
}

}  // namespace

namespace {

// Writes `tail` so that the file ends with it and is `size` bytes long; the bytes before it
// are a hole, so a file of hundreds of megabytes costs no disk.
void WriteSparseFile(const std::string& path, long long size, const std::string& tail) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
  LARGE_INTEGER at;
  at.QuadPart = size - static_cast<long long>(tail.size());
  ASSERT_TRUE(SetFilePointerEx(file, at, nullptr, FILE_BEGIN));
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(file, tail.data(), static_cast<DWORD>(tail.size()), &written, nullptr));
  CloseHandle(file);
}

long long FileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

TEST_F(CoreWorkingFilesTest, HugeCoreLogShowsOnlyItsLastMebibyteFromALineStart) {
  proxytest::ScopedTempFolder temp("huge log");
  SingBoxService service;
  SingBoxServiceTestPeer peer(service);
  ASSERT_TRUE(peer.CreateConfigFile("{}"));
  std::string lines;
  for (int i = 0; lines.size() < 3 * 1024 * 1024; ++i) {
    lines += "core line " + std::to_string(1000000 + i) + " \xE4\xB8\xAD\n";
  }
  const long long size = 300LL * 1024 * 1024;
  WriteSparseFile(peer.LogPath(), size, lines);

  const std::string logs = service.GetLogs();
  const std::string prefix = peer.LogBuffer() + kHeader + "(";
  ASSERT_EQ(logs.compare(0, prefix.size(), prefix), 0);
  const size_t close = logs.find(" earlier bytes not shown)\n", prefix.size());
  ASSERT_NE(close, std::string::npos);
  const long long skipped = std::stoll(logs.substr(prefix.size(), close - prefix.size()));
  const std::string shown = logs.substr(logs.find('\n', close) + 1);
  EXPECT_EQ(skipped + static_cast<long long>(shown.size()), size);
  EXPECT_LE(shown.size(), 1024u * 1024u);
  EXPECT_GT(shown.size(), 1024u * 1024u - 64u);
  EXPECT_EQ(shown.compare(0, 10, "core line "), 0) << shown.substr(0, 40);
  EXPECT_EQ(lines.compare(lines.size() - shown.size(), shown.size(), shown), 0);
}

TEST_F(CoreWorkingFilesTest, CoreLogOverSixteenMebibytesIsMovedAsideBeforeALaunch) {
  proxytest::ScopedTempFolder temp("move aside");
  ASSERT_TRUE(CreateDirectoryA(temp.WorkFolder().c_str(), nullptr));
  const std::string log = temp.WorkFolder() + "\\sing-box.log";
  const std::string older = temp.WorkFolder() + "\\sing-box.old.log";
  const long long limit = 16LL * 1024 * 1024;
  proxytest::WriteFileBytes(older, "an earlier older copy");
  SingBoxService service;
  SingBoxServiceTestPeer peer(service);

  // A configuration the stand-in refuses keeps each launch short; what counts happens before.
  WriteSparseFile(log, limit, "at the limit\n");
  EXPECT_FALSE(service.Start("not json"));
  EXPECT_GT(FileSize(log), limit) << "a file at the limit stays and is appended to";
  EXPECT_EQ(proxytest::ReadFileBytes(older), "an earlier older copy");

  const size_t mark = Messages(peer.LogBuffer()).size();
  EXPECT_FALSE(service.Start("not json"));
  EXPECT_GT(FileSize(older), limit);
  EXPECT_LT(FileSize(log), 4096);
  const Lines messages = MessagesFrom(peer.LogBuffer(), mark);
  const std::string moved =
      "Moved sing-box log of " + std::to_string(FileSize(older)) + " bytes aside to " + older;
  EXPECT_NE(std::find(messages.begin(), messages.end(), moved), messages.end()) << moved;
}

TEST_F(CoreWorkingFilesTest, AllocationFailureWhileReadingKeepsTheFailureLine) {
  proxytest::ScopedTempFolder temp("no memory");
  SingBoxService service;
  SingBoxServiceTestPeer peer(service);
  ASSERT_TRUE(peer.CreateConfigFile("{}"));
  proxytest::WriteFileBytes(peer.LogPath(), std::string(2 * 1024 * 1024, 'x'));
  const std::string expected = peer.LogBuffer() + kHeader + "(failed to read sing-box log file)\n";
  std::string logs;
  {
    proxytest::ScopedAllocationLimit limit(256 * 1024);
    logs = service.GetLogs();
  }
  EXPECT_EQ(logs, expected);
}

}  // namespace
