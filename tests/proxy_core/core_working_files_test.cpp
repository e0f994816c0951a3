// config.json and sing-box.log in the working folder under the temporary folder.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "proxy_core/sing_box_service.h"
#include "tests/proxy_core/proxy_test_support.h"
#include "tests/proxy_core/sing_box_service_test_peer.h"

namespace {

using proxytest::Messages;
using proxytest::MessagesFrom;
using Lines = std::vector<std::string>;

const std::string kHeader = "\n----- sing-box stdout/stderr -----\n";

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
  // 199 ASCII bytes, then a three-byte character straddling byte 200: the cut splits it.
  const std::string straddle = std::string(199, 'a') + "\xE2\x82\xAC" + std::string(798, 'b');
  const std::vector<Case> cases = {
      {"50 bytes preview whole", fifty, fifty, fifty},
      {"LF becomes CR LF", "{\n  \"a\": 1\n}\n", "{\n  \"a\": 1\n}\n", "{\r\n  \"a\": 1\r\n}\r\n"},
      {"CR LF becomes CR CR LF", "{\r\n}", "{\r\n}", "{\r\r\n}"},
      {"1000 bytes cut at byte 200", straddle, straddle.substr(0, 200), straddle},
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

TEST_F(CoreWorkingFilesTest, GetLogsAppendsCoreLogByteForByteUnderHeader) {
  proxytest::ScopedTempFolder temp("core log");
  SingBoxService service;
  SingBoxServiceTestPeer peer(service);
  ASSERT_TRUE(peer.CreateConfigFile("{}"));
  EXPECT_EQ(service.GetLogs(), peer.LogBuffer());

  const std::string content("line one\r\nline two\n\0binary\xff tail", 32);
  proxytest::WriteFileBytes(peer.LogPath(), content);
  EXPECT_EQ(service.GetLogs(), peer.LogBuffer() + kHeader + content);

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
