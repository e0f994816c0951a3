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

TEST_F(SystemProxyTest, RecordOfASetLetsTheNextRunClearOnlyAProxyStillOurs) {
  const std::string record = temp_.WorkFolder() + "\\system-proxy-set";
  proxytest::WriteProxySettings({0, "", ""});
  {
    // A set writes the record; a failed clear keeps it, a successful one removes it.
    SingBoxService service;
    SingBoxServiceTestPeer peer(service);
    ASSERT_TRUE(peer.SetSystemProxy("127.0.0.1", 10809));
    EXPECT_EQ(proxytest::ReadFileBytes(record), "127.0.0.1:10809");
    {
      proxytest::ScopedEnvironment fails("ORVANTA_STANDIN_PS_EXIT_CODE", "5");
      EXPECT_FALSE(service.ClearSystemProxy());
    }
    EXPECT_TRUE(proxytest::FileExists(record));
    ASSERT_TRUE(service.ClearSystemProxy());
    EXPECT_FALSE(proxytest::FileExists(record));
  }

  // What a new service finds at construction, with the record of a run that ended unclean.
  struct Case {
    const char* description;
    const char* enableType;  // "dword" or "text"
    const char* enable;
    const char* server;
    bool cleared;
  };
  const std::vector<Case> cases = {
      {"still ours", "dword", "1", "127.0.0.1:10809", true},
      {"still ours, enable written as text", "text", "1", "127.0.0.1:10809", true},
      {"stale: cleared since", "dword", "0", "", false},
      {"foreign server", "dword", "1", "10.0.0.2:3128", false},
      {"turned off by the user", "dword", "0", "127.0.0.1:10809", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    proxytest::WriteProxySettings({1, c.server, "keep"});
    if (std::string(c.enableType) == "text") {
      ASSERT_EQ(RegSetKeyValueA(HKEY_CURRENT_USER,
                                "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings",
                                "ProxyEnable", REG_SZ, c.enable, 2),
                ERROR_SUCCESS);
    } else {
      proxytest::WriteProxySettings({std::stoll(c.enable), c.server, "keep"});
    }
    proxytest::WriteFileBytes(record, "127.0.0.1:10809");
    SingBoxService service;
    SingBoxServiceTestPeer peer(service);
    EXPECT_FALSE(proxytest::FileExists(record));
    if (c.cleared) {
      EXPECT_EQ(MessagesFrom(peer.LogBuffer(), 1),
                (Lines{"Clearing system proxy", "System proxy cleared successfully",
                       "Cleared the system proxy that an earlier run left set"}));
      ExpectSettings({0, "", ""});
    } else {
      EXPECT_EQ(MessagesFrom(peer.LogBuffer(), 1), Lines{});
      EXPECT_EQ(ReadProxySettings().server, c.server);
      EXPECT_EQ(ReadProxySettings().override_list, "keep");
    }
  }
}

}  // namespace
