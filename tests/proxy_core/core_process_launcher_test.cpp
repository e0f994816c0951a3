// Finding and launching sing-box.exe: beside the host, the current-folder fallback, neither.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "proxy_core/sing_box_service.h"
#include "tests/proxy_core/proxy_test_support.h"
#include "tests/proxy_core/sing_box_service_test_peer.h"

namespace {

using proxytest::CoreChildren;
using proxytest::Messages;
using proxytest::MessagesFrom;
using Lines = std::vector<std::string>;

class CoreProcessLauncherTest : public proxytest::StandInTest {};

TEST_F(CoreProcessLauncherTest, DefaultPathIsResourcesFolderBesideTheHost) {
  const std::string expected = proxytest::ExecutableFolder() + "\\resources\\sing-box.exe";
  EXPECT_EQ(SingBoxServiceTestPeer::DefaultExecutablePath(), expected);
  EXPECT_TRUE(proxytest::FileExists(expected));
}

TEST_F(CoreProcessLauncherTest, FallbackToCurrentFolderSticksAndQuotesPathsWithBlanks) {
  proxytest::ScopedTempFolder temp("launch with blanks");
  const std::string folder = temp.Path() + "current folder";
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  ASSERT_TRUE(CopyFileA(SingBoxServiceTestPeer::DefaultExecutablePath().c_str(),
                        (folder + "\\sing-box.exe").c_str(), FALSE));
  proxytest::ScopedCurrentFolder current(folder);

  SingBoxService service;
  SingBoxServiceTestPeer peer(service);
  const std::string missing = temp.Path() + "no such\\resources\\sing-box.exe";
  peer.SetExecutablePath(missing);
  const std::string fallback = folder + "\\sing-box.exe";
  const std::string configPath = temp.WorkFolder() + "\\config.json";

  size_t mark = Messages(peer.LogBuffer()).size();
  ASSERT_TRUE(service.Start("{}"));
  Lines messages = MessagesFrom(peer.LogBuffer(), mark);
  ASSERT_GE(messages.size(), 10u);
  EXPECT_EQ(Lines(messages.begin() + 4, messages.begin() + 10),
            (Lines{"Checking sing-box executable path: " + missing,
                   "ERROR: sing-box executable not found: " + missing,
                   "Trying alternative path: " + fallback, "Found sing-box at: " + fallback,
                   "Executing command: \"" + fallback + "\" run -c \"" + configPath + "\"",
                   "Creating sing-box process..."}));
  EXPECT_TRUE(service.IsRunning());
  EXPECT_EQ(CoreChildren().size(), 1u);
  EXPECT_TRUE(service.Stop());

  // The fallback is now the first place looked at: no fallback lines any more.
  mark = Messages(peer.LogBuffer()).size();
  ASSERT_TRUE(service.Start("{}"));
  messages = MessagesFrom(peer.LogBuffer(), mark);
  ASSERT_GE(messages.size(), 6u);
  EXPECT_EQ(messages[4], "Checking sing-box executable path: " + fallback);
  EXPECT_EQ(messages[5], "Executing command: \"" + fallback + "\" run -c \"" + configPath + "\"");
  EXPECT_TRUE(service.Stop());
}

TEST_F(CoreProcessLauncherTest, ExecutableNowhereFailsWithoutProcessOrLogFile) {
  proxytest::ScopedTempFolder temp("nowhere");
  const std::string folder = temp.Path() + "empty";
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  proxytest::ScopedCurrentFolder current(folder);
  SingBoxService service;
  SingBoxServiceTestPeer peer(service);
  const std::string missing = temp.Path() + "missing\\sing-box.exe";
  peer.SetExecutablePath(missing);
  EXPECT_FALSE(service.Start("{}"));
  const Lines messages = MessagesFrom(peer.LogBuffer(), 5);
  EXPECT_EQ(messages, (Lines{"Checking sing-box executable path: " + missing,
                             "ERROR: sing-box executable not found: " + missing,
                             "Trying alternative path: " + folder + "\\sing-box.exe",
                             "ERROR: sing-box executable not found in any location",
                             "Failed to start sing-box process"}));
  EXPECT_EQ(peer.ExecutablePath(), missing);
  EXPECT_FALSE(proxytest::FileExists(peer.LogPath()));
  EXPECT_TRUE(CoreChildren().empty());
  EXPECT_EQ(peer.ProcessHandle(), nullptr);
  EXPECT_FALSE(service.IsRunning());
}

TEST_F(CoreProcessLauncherTest, ExecutableThatCannotRunReportsErrorCodeAndSystemText) {
  proxytest::ScopedTempFolder temp("not an exe");
  const std::string folder = temp.Path() + "resources";
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  const std::string bogus = folder + "\\sing-box.exe";
  proxytest::WriteFileBytes(bogus, "this is not a program");
  SingBoxService service;
  SingBoxServiceTestPeer peer(service);
  peer.SetExecutablePath(bogus);
  EXPECT_FALSE(service.Start("{}"));
  const Lines messages = Messages(peer.LogBuffer());
  ASSERT_GE(messages.size(), 3u);
  const std::string codeLine = messages[messages.size() - 3];
  const std::string prefix = "ERROR: Failed to start sing-box process. Error code: ";
  ASSERT_EQ(codeLine.rfind(prefix, 0), 0u) << codeLine;
  const std::string code = codeLine.substr(prefix.size());
  EXPECT_FALSE(code.empty());
  EXPECT_EQ(code.find_first_not_of("0123456789"), std::string::npos) << code;
  EXPECT_NE(code[0], '0');
  EXPECT_EQ(messages[messages.size() - 2].rfind("Error details: ", 0), 0u);
  EXPECT_EQ(messages.back(), "Failed to start sing-box process");
  EXPECT_TRUE(CoreChildren().empty());
  // The host's copy of the log handle is closed on this path too: the file can be deleted.
  EXPECT_TRUE(DeleteFileA(peer.LogPath().c_str()));
}

TEST_F(CoreProcessLauncherTest, CoreRunsInTheKillOnCloseJobOrStartsWithAWarning) {
  proxytest::ScopedTempFolder temp("job");
  proxytest::ScopedEnvironment psSucceeds("ORVANTA_STANDIN_PS_EXIT_CODE", "0");
  {
    SingBoxService service;
    SingBoxServiceTestPeer peer(service);
    ASSERT_TRUE(service.Start("{}"));
    BOOL inJob = FALSE;
    ASSERT_NE(peer.CoreJob(), nullptr);
    ASSERT_TRUE(IsProcessInJob(peer.ProcessHandle(), peer.CoreJob(), &inJob));
    EXPECT_TRUE(inJob);
    // Wine reports no limit flags back; the end-to-end crash test proves the kill on close.
    for (const std::string& message : Messages(peer.LogBuffer())) {
      EXPECT_EQ(message.find("WARNING"), std::string::npos) << message;
    }
  }
  // A job that refuses the core costs one warning; the core still starts and serves.
  SingBoxService service;
  SingBoxServiceTestPeer peer(service);
  peer.SetCoreJob(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  ASSERT_TRUE(service.Start("{}"));
  const Lines messages = Messages(peer.LogBuffer());
  const auto warning = std::find_if(messages.begin(), messages.end(), [](const std::string& m) {
    return m.rfind("WARNING: sing-box will not end together with the host. Error code: ", 0) == 0;
  });
  ASSERT_NE(warning, messages.end());
  EXPECT_EQ(*(warning + 1),
            "SUCCESS: sing-box process started with PID: " + std::to_string(peer.ProcessId()));
  EXPECT_TRUE(service.IsRunning());
  EXPECT_TRUE(service.Stop());
}

}  // namespace
