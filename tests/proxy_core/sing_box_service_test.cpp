// SingBoxService states and transitions against the stand-in core and PowerShell.
#include <winsock2.h>

#include "proxy_core/sing_box_service.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/proxy_core/proxy_test_support.h"
#include "tests/proxy_core/sing_box_service_test_peer.h"

namespace {

using proxytest::CoreChildren;
using proxytest::Messages;
using proxytest::MessagesFrom;
using Lines = std::vector<std::string>;

constexpr char kConfig[] = "{\"log\": {\"level\": \"info\"}}";

class SingBoxServiceTest : public proxytest::StandInTest {
 protected:
  proxytest::ScopedTempFolder temp_{"service"};
};

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(pos, end - pos));
    pos = end + 1;
  }
  return lines;
}

TEST_F(SingBoxServiceTest, FreshServiceLogsOneStampedLineAndIdleOperationsDoNothing) {
  const proxytest::ProxySettings sentinel{7, "sentinel:1", "sentinel-override"};
  proxytest::WriteProxySettings(sentinel);
  testing::internal::CaptureStdout();
  {
    SingBoxService service;
    const std::string logs = service.GetLogs();
    // "[<ms>] SingBoxService initialized\n" and nothing else: no core log section yet.
    ASSERT_EQ(logs.front(), '[');
    const size_t close = logs.find("] ");
    ASSERT_NE(close, std::string::npos);
    EXPECT_EQ(logs.find_first_not_of("0123456789", 1), close);
    EXPECT_EQ(logs.substr(close), "] SingBoxService initialized\n");

    EXPECT_TRUE(service.Stop());
    EXPECT_FALSE(service.IsRunning());
    EXPECT_EQ(service.GetLogs(), logs);
  }  // Destroying an idle service runs no PowerShell.
  const std::string out = testing::internal::GetCapturedStdout();
  const Lines outLines = SplitLines(out);
  ASSERT_EQ(outLines.size(), 1u) << out;
  EXPECT_EQ(outLines[0].rfind("SingBoxService: [", 0), 0u) << out;
  EXPECT_NE(outLines[0].find("] SingBoxService initialized"), std::string::npos);
  const proxytest::ProxySettings after = proxytest::ReadProxySettings();
  EXPECT_EQ(after.enable, 7);
  EXPECT_EQ(after.server, "sentinel:1");
  EXPECT_EQ(after.override_list, "sentinel-override");
}

TEST_F(SingBoxServiceTest, StartRunStopRestartWalksEveryStateWithExactLog) {
  proxytest::WriteProxySettings({0, "", ""});
  SingBoxService service;
  SingBoxServiceTestPeer peer(service);
  const std::string exe = SingBoxServiceTestPeer::DefaultExecutablePath();
  const std::string configPath = temp_.WorkFolder() + "\\config.json";

  // Idle -> Running. Standard output carries the same lines with the prefix.
  testing::internal::CaptureStdout();
  ASSERT_TRUE(service.Start(kConfig));
  const std::string out = testing::internal::GetCapturedStdout();
  const std::string command = "\"" + exe + "\" run -c \"" + configPath + "\"";
  const Lines started = MessagesFrom(peer.LogBuffer(), 1);
  const DWORD pid = peer.ProcessId();
  const std::string setCommand =
      "powershell.exe -Command \"Set-ItemProperty -Path "
      "'HKCU:\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings' -Name "
      "ProxyEnable -Value 1; Set-ItemProperty -Path "
      "'HKCU:\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings' -Name "
      "ProxyServer -Value '127.0.0.1:10809'; Set-ItemProperty -Path "
      "'HKCU:\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings' -Name "
      "ProxyOverride -Value '<-loopback>'\"";
  EXPECT_EQ(
      started,
      (Lines{"Starting sing-box...",
             "Using provided config (" + std::to_string(sizeof(kConfig) - 1) + " characters)",
             std::string("Config preview: ") + kConfig + "...",
             "sing-box config created: " + configPath, "Checking sing-box executable path: " + exe,
             "Executing command: " + command, "Creating sing-box process...",
             "SUCCESS: sing-box process started with PID: " + std::to_string(pid),
             "sing-box process is running successfully", "sing-box started successfully",
             "Setting system HTTP proxy: 127.0.0.1:10809", "Executing proxy command: " + setCommand,
             "SUCCESS: System proxy set successfully to 127.0.0.1:10809",
             "System proxy configured successfully"}));
  const Lines outLines = SplitLines(out);
  const Lines bufferLines = SplitLines(peer.LogBuffer());
  ASSERT_EQ(outLines.size(), started.size());
  for (size_t i = 0; i < outLines.size(); ++i) {
    EXPECT_EQ(outLines[i], "SingBoxService: " + bufferLines[i + 1]);
  }
  EXPECT_TRUE(service.IsRunning());
  EXPECT_EQ(CoreChildren(), std::vector<DWORD>{pid});
  proxytest::ProxySettings set = proxytest::ReadProxySettings();
  EXPECT_EQ(set.enable, 1);
  EXPECT_EQ(set.server, "127.0.0.1:10809");
  EXPECT_EQ(set.override_list, "<-loopback>");

  // Start while started: one line, nothing rewritten, even with another configuration.
  size_t mark = Messages(peer.LogBuffer()).size();
  EXPECT_TRUE(service.Start("{\"other\": true}"));
  EXPECT_EQ(MessagesFrom(peer.LogBuffer(), mark), Lines{"sing-box is already running"});
  EXPECT_EQ(proxytest::ReadFileBytes(configPath), kConfig);

  // Running, core gone: only IsRunning notices; Start still answers already running.
  ASSERT_TRUE(proxytest::KillProcess(pid));
  EXPECT_FALSE(service.IsRunning());
  EXPECT_TRUE(peer.Running());
  mark = Messages(peer.LogBuffer()).size();
  EXPECT_TRUE(service.Start(kConfig));
  EXPECT_EQ(MessagesFrom(peer.LogBuffer(), mark), Lines{"sing-box is already running"});

  // Stop clears the proxy before terminating.
  mark = Messages(peer.LogBuffer()).size();
  EXPECT_TRUE(service.Stop());
  EXPECT_EQ(
      MessagesFrom(peer.LogBuffer(), mark),
      (Lines{"Stopping sing-box...", "Clearing system proxy", "System proxy cleared successfully",
             "sing-box process terminated", "sing-box stopped"}));
  EXPECT_EQ(peer.ProcessHandle(), nullptr);
  EXPECT_EQ(peer.ProcessId(), 0u);
  set = proxytest::ReadProxySettings();
  EXPECT_EQ(set.enable, 0);
  EXPECT_EQ(set.server, "");
  EXPECT_EQ(set.override_list, "");

  // Restart after stop launches a new core; its output is appended to the same log file.
  mark = Messages(peer.LogBuffer()).size();
  ASSERT_TRUE(service.Start(kConfig));
  EXPECT_EQ(MessagesFrom(peer.LogBuffer(), mark).at(4),
            "Checking sing-box executable path: " + exe);
  EXPECT_TRUE(service.IsRunning());
  EXPECT_EQ(CoreChildren(), std::vector<DWORD>{peer.ProcessId()});
  const std::string logs = service.GetLogs();
  const std::string header = "\n----- sing-box stdout/stderr -----\n";
  ASSERT_NE(logs.find(header), std::string::npos);
  EXPECT_EQ(logs.substr(0, logs.find(header)), peer.LogBuffer());
  const std::string coreLog = logs.substr(logs.find(header) + header.size());
  EXPECT_EQ(coreLog, proxytest::ReadFileBytes(peer.LogPath()));
  const std::string startLine = "sing-box stand-in: started with configuration " + configPath;
  const size_t first = coreLog.find(startLine);
  ASSERT_NE(first, std::string::npos) << coreLog;
  EXPECT_NE(coreLog.find(startLine, first + 1), std::string::npos) << coreLog;
  EXPECT_NE(coreLog.find("sing-box stand-in: serving 0 inbound(s)"), std::string::npos);
  EXPECT_TRUE(service.Stop());
  EXPECT_TRUE(CoreChildren().empty());
}

TEST_F(SingBoxServiceTest, CoreRejectingItsConfigFailsStartAndLeavesNoHandleOrProxy) {
  const proxytest::ProxySettings sentinel{5, "untouched:1", "untouched"};
  proxytest::WriteProxySettings(sentinel);
  SingBoxService service;
  SingBoxServiceTestPeer peer(service);
  EXPECT_FALSE(service.Start("this is not JSON"));
  const Lines messages = Messages(peer.LogBuffer());
  ASSERT_GE(messages.size(), 2u);
  EXPECT_EQ(messages[messages.size() - 2],
            "ERROR: sing-box process exited immediately with code: 1");
  EXPECT_EQ(messages.back(), "Failed to start sing-box process");
  EXPECT_FALSE(service.IsRunning());
  EXPECT_FALSE(peer.Running());
  // The ended core's handle is closed at once instead of lingering in the fields.
  EXPECT_EQ(peer.ProcessHandle(), nullptr);
  EXPECT_EQ(peer.ProcessId(), 0u);
  EXPECT_TRUE(CoreChildren().empty());
  const proxytest::ProxySettings after = proxytest::ReadProxySettings();
  EXPECT_EQ(after.enable, 5);
  EXPECT_EQ(after.server, "untouched:1");
  EXPECT_NE(service.GetLogs().find("configuration is not valid JSON"), std::string::npos);
  // Stop has nothing to do: the service never started.
  const size_t mark = Messages(peer.LogBuffer()).size();
  EXPECT_TRUE(service.Stop());
  EXPECT_EQ(Messages(peer.LogBuffer()).size(), mark);
}

TEST_F(SingBoxServiceTest, CoreServesTheDeclaredInboundWhileRunning) {
  const int port = 20000 + static_cast<int>(GetCurrentProcessId() % 20000);
  const std::string config =
      "{\"inbounds\": [{\"type\": \"mixed\", \"listen\": \"127.0.0.1\", "
      "\"listen_port\": " +
      std::to_string(port) + "}]}";
  SingBoxService service;
  ASSERT_TRUE(service.Start(config));
  WSADATA wsa;
  ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &wsa), 0);
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<u_short>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  EXPECT_EQ(connect(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
  closesocket(s);
  EXPECT_TRUE(service.Stop());
  s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  EXPECT_NE(connect(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
  closesocket(s);
  WSACleanup();
}

TEST_F(SingBoxServiceTest, DestroyingStartedServiceStopsCoreAndClearsProxy) {
  DWORD pid = 0;
  testing::internal::CaptureStdout();
  {
    SingBoxService service;
    ASSERT_TRUE(service.Start(kConfig));
    pid = SingBoxServiceTestPeer(service).ProcessId();
    ASSERT_EQ(proxytest::ReadProxySettings().enable, 1);
  }
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("] Stopping sing-box...\n"), std::string::npos);
  EXPECT_NE(out.find("] sing-box stopped\n"), std::string::npos);
  EXPECT_TRUE(CoreChildren().empty());
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
  if (process != nullptr) {
    EXPECT_EQ(WaitForSingleObject(process, 0), WAIT_OBJECT_0);
    CloseHandle(process);
  }
  const proxytest::ProxySettings after = proxytest::ReadProxySettings();
  EXPECT_EQ(after.enable, 0);
  EXPECT_EQ(after.server, "");
  EXPECT_EQ(after.override_list, "");
}

}  // namespace
