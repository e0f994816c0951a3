// The per-user proxy through the powershell.exe stand-in and the real (Wine) registry.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "proxy_core/sing_box_service.h"
#include "tests/proxy_core/proxy_test_support.h"
#include "tests/proxy_core/sing_box_service_test_peer.h"

namespace {

using proxytest::CoreChildren;
using proxytest::Messages;
using proxytest::MessagesFrom;
using proxytest::ProxySettings;
using proxytest::ReadProxySettings;
using Lines = std::vector<std::string>;

const std::string kProperty =
    "Set-ItemProperty -Path 'HKCU:\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet "
    "Settings' ";

class SystemProxyTest : public proxytest::StandInTest {
 protected:
  proxytest::ScopedTempFolder temp_{"system proxy"};
};

void ExpectSettings(const ProxySettings& expected) {
  const ProxySettings actual = ReadProxySettings();
  EXPECT_EQ(actual.enable, expected.enable);
  EXPECT_EQ(actual.server, expected.server);
  EXPECT_EQ(actual.override_list, expected.override_list);
}

TEST_F(SystemProxyTest, SetAndClearWriteTheThreeValuesWithExactCommands) {
  proxytest::WriteProxySettings({0, "", ""});
  SingBoxService service;
  SingBoxServiceTestPeer peer(service);

  size_t mark = Messages(peer.LogBuffer()).size();
  ASSERT_TRUE(peer.SetSystemProxy("127.0.0.1", 10809));
  const std::string command = "powershell.exe -Command \"" + kProperty +
                              "-Name ProxyEnable -Value 1; " + kProperty +
                              "-Name ProxyServer -Value '127.0.0.1:10809'; " + kProperty +
                              "-Name ProxyOverride -Value '<-loopback>'\"";
  EXPECT_EQ(
      MessagesFrom(peer.LogBuffer(), mark),
      (Lines{"Setting system HTTP proxy: 127.0.0.1:10809", "Executing proxy command: " + command,
             "SUCCESS: System proxy set successfully to 127.0.0.1:10809"}));
  ExpectSettings({1, "127.0.0.1:10809", "<-loopback>"});

  mark = Messages(peer.LogBuffer()).size();
  ASSERT_TRUE(service.ClearSystemProxy());
  EXPECT_EQ(MessagesFrom(peer.LogBuffer(), mark),
            (Lines{"Clearing system proxy", "System proxy cleared successfully"}));
  ExpectSettings({0, "", ""});

  // Clearing a proxy that was never set still runs the command.
  proxytest::WriteProxySettings({0, "never-set", "x"});
  EXPECT_TRUE(service.ClearSystemProxy());
  ExpectSettings({0, "", ""});

  // A negative port is printed with its sign and reaches the command as it is.
  mark = Messages(peer.LogBuffer()).size();
  ASSERT_TRUE(peer.SetSystemProxy("localhost", -1));
  EXPECT_EQ(MessagesFrom(peer.LogBuffer(), mark).front(),
            "Setting system HTTP proxy: localhost:-1");
  ExpectSettings({1, "localhost:-1", "<-loopback>"});
}

TEST_F(SystemProxyTest, PowerShellFailureFailsSetAndClearButNotStart) {
  const ProxySettings sentinel{3, "sentinel:3", "sentinel"};
  proxytest::WriteProxySettings(sentinel);
  proxytest::ScopedEnvironment exitCode("ORVANTA_STANDIN_PS_EXIT_CODE", "3");
  SingBoxService service;
  SingBoxServiceTestPeer peer(service);

  size_t mark = Messages(peer.LogBuffer()).size();
  EXPECT_FALSE(peer.SetSystemProxy("127.0.0.1", 10809));
  EXPECT_EQ(MessagesFrom(peer.LogBuffer(), mark).back(),
            "ERROR: Proxy command failed with exit code: 3");

  // A failed clear is a failure too, reported like the failed set.
  mark = Messages(peer.LogBuffer()).size();
  EXPECT_FALSE(service.ClearSystemProxy());
  EXPECT_EQ(MessagesFrom(peer.LogBuffer(), mark),
            (Lines{"Clearing system proxy", "ERROR: Proxy command failed with exit code: 3"}));
  ExpectSettings(sentinel);

  // Start keeps the core running with a warning; Stop ignores the failed clear.
  mark = Messages(peer.LogBuffer()).size();
  EXPECT_TRUE(service.Start("{}"));
  const Lines started = MessagesFrom(peer.LogBuffer(), mark);
  ASSERT_GE(started.size(), 2u);
  EXPECT_EQ(started[started.size() - 2], "ERROR: Proxy command failed with exit code: 3");
  EXPECT_EQ(started.back(), "WARNING: Failed to configure system proxy");
  EXPECT_TRUE(service.IsRunning());
  mark = Messages(peer.LogBuffer()).size();
  EXPECT_TRUE(service.Stop());
  EXPECT_EQ(MessagesFrom(peer.LogBuffer(), mark),
            (Lines{"Stopping sing-box...", "Clearing system proxy",
                   "ERROR: Proxy command failed with exit code: 3", "sing-box process terminated",
                   "sing-box stopped"}));
  EXPECT_TRUE(CoreChildren().empty());
  ExpectSettings(sentinel);
}

TEST_F(SystemProxyTest, PowerShellOutlastingTheWaitReportsStillActive) {
  const ProxySettings sentinel{4, "sentinel:4", "sentinel"};
  proxytest::WriteProxySettings(sentinel);
  // The late stand-ins write nothing when they finally end, so the registry stays ours.
  proxytest::ScopedEnvironment hang("ORVANTA_STANDIN_PS_HANG_MS", "6500");
  proxytest::ScopedEnvironment exitCode("ORVANTA_STANDIN_PS_EXIT_CODE", "0");
  SingBoxService service;
  SingBoxServiceTestPeer peer(service);

  size_t mark = Messages(peer.LogBuffer()).size();
  EXPECT_FALSE(peer.SetSystemProxy("127.0.0.1", 10809));
  EXPECT_EQ(MessagesFrom(peer.LogBuffer(), mark).back(),
            "ERROR: Proxy command failed with exit code: 259");

  mark = Messages(peer.LogBuffer()).size();
  EXPECT_FALSE(service.ClearSystemProxy());
  EXPECT_EQ(MessagesFrom(peer.LogBuffer(), mark),
            (Lines{"Clearing system proxy", "ERROR: Proxy command failed with exit code: 259"}));
  ExpectSettings(sentinel);
}

}  // namespace
