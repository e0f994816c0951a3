// The per-user proxy through the PowerShell stand-in and the real (Wine) registry.
#include "proxy_core/system_proxy.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/proxy_core/proxy_test_support.h"

namespace {

using orvanta_test::ProxySettings;
using orvanta_test::ReadProxySettings;
using Lines = std::vector<std::string>;

const std::string kProperty =
    "Set-ItemProperty -Path 'HKCU:\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet "
    "Settings' ";

class SystemProxyTest : public proxytest::StandInTest {
 protected:
  orvanta_test::ScopedTempFolder temp_{"system proxy"};
  proxytest::RecordedLog log_;
};

void ExpectSettings(const ProxySettings& expected) {
  const ProxySettings actual = ReadProxySettings();
  EXPECT_EQ(actual.enable, expected.enable);
  EXPECT_EQ(actual.server, expected.server);
  EXPECT_EQ(actual.override_list, expected.override_list);
}

TEST_F(SystemProxyTest, SetAndClearRunTheExactCommandsAndWriteTheThreeValues) {
  orvanta_test::WriteProxySettings({0, "never-set", "x"});
  SystemProxy proxy(log_.Sink());
  EXPECT_EQ(proxy.Set("127.0.0.1", 10809), true);
  const std::string command = "powershell.exe -Command \"" + kProperty +
                              "-Name ProxyEnable -Value 1; " + kProperty +
                              "-Name ProxyServer -Value '127.0.0.1:10809'; " + kProperty +
                              "-Name ProxyOverride -Value '<-loopback>'\"";
  EXPECT_EQ(log_.lines, (Lines{"Setting system HTTP proxy: 127.0.0.1:10809",
                               "Executing proxy command: " + command,
                               "SUCCESS: System proxy set successfully to 127.0.0.1:10809"}));
  ExpectSettings({1, "127.0.0.1:10809", "<-loopback>"});

  log_.lines.clear();
  EXPECT_TRUE(proxy.Clear());
  EXPECT_EQ(log_.lines, (Lines{"Clearing system proxy", "System proxy cleared successfully"}));
  ExpectSettings({0, "", ""});
}

TEST_F(SystemProxyTest, PowerShellOutcomesDecideTheResult) {
  struct Case {
    const char* description;
    const char* exitCode;  // the stand-in's switches
    const char* setHangMs;
    std::wstring powerShell;
    std::string setLast;  // the last line of the set; false unless it is the success line
    std::string clearLast;
  };
  const std::string setDone = "SUCCESS: System proxy set successfully to 127.0.0.1:10809";
  const std::string clearDone = "System proxy cleared successfully";
  const std::vector<Case> cases = {
      {"slow but within the wait", "0", "3500", SystemPowerShellPath(), setDone, clearDone},
      {"exit code 3", "3", nullptr, SystemPowerShellPath(),
       "ERROR: Proxy command failed with exit code: 3",
       "ERROR: Proxy command failed with exit code: 3"},
      {"not there", nullptr, nullptr, L"C:\\no such folder\\powershell.exe",
       "ERROR: Failed to execute proxy command. Error code: 3", "Failed to clear system proxy"},
      {"set outlives its wait", "0", "6500", SystemPowerShellPath(),
       "ERROR: Proxy command failed with exit code: 259", clearDone},
  };
  const ProxySettings sentinel{4, "sentinel:4", "sentinel"};
  const std::string record = temp_.WorkFolder() + "\\system-proxy-set";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    orvanta_test::WriteProxySettings(sentinel);
    orvanta_test::ScopedEnvironment exitCode("ORVANTA_STANDIN_PS_EXIT_CODE", c.exitCode);
    orvanta_test::ScopedEnvironment hang("ORVANTA_STANDIN_PS_SET_HANG_MS", c.setHangMs);
    log_.lines.clear();
    {
      SystemProxy proxy(log_.Sink(), c.powerShell);
      EXPECT_EQ(proxy.Set("127.0.0.1", 10809), c.setLast == setDone);
      EXPECT_EQ(log_.lines.back(), c.setLast);
      // Recorded only once the command has started.
      EXPECT_EQ(orvanta_test::FileExists(record), c.powerShell == SystemPowerShellPath());
    }
    // A set still running ends with its owner, as it would with a crashed host.
    EXPECT_TRUE(proxytest::PumpMessagesUntil(
        [] { return proxytest::ChildProcesses(L"powershell.exe").empty(); }, 3000));
    DeleteFileA(record.c_str());
    SystemProxy proxy(log_.Sink(), c.powerShell);
    log_.lines.clear();
    EXPECT_EQ(proxy.Clear(), c.clearLast == clearDone);
    EXPECT_EQ(log_.lines, (Lines{"Clearing system proxy", c.clearLast}));
    // The stand-in was told to write nothing; no write may come from anywhere else.
    ExpectSettings(sentinel);
  }

  // Unlike a set, a clear still running when its owner goes is left to land: it is the last
  // word on the proxy, as when the host exits during one.
  orvanta_test::WriteProxySettings({1, "127.0.0.1:10809", "<-loopback>"});
  {
    orvanta_test::ScopedEnvironment slow("ORVANTA_STANDIN_PS_HANG_MS", "5500");
    SystemProxy proxy(log_.Sink());
    log_.lines.clear();
    EXPECT_FALSE(proxy.Clear());
    EXPECT_EQ(log_.lines,
              (Lines{"Clearing system proxy", "ERROR: Proxy command failed with exit code: 259"}));
  }
  EXPECT_TRUE(proxytest::PumpMessagesUntil(
      [] { return proxytest::ChildProcesses(L"powershell.exe").empty(); }, 10000));
  ExpectSettings({0, "", ""});
}

TEST_F(SystemProxyTest, RecordOfASetLetsTheNextRunClearOnlyAProxyStillOurs) {
  const std::string record = temp_.WorkFolder() + "\\system-proxy-set";
  orvanta_test::WriteProxySettings({0, "", ""});
  {
    // A set writes the record; a failed clear keeps it, a successful one removes it.
    SystemProxy proxy(log_.Sink());
    ASSERT_TRUE(proxy.Set("127.0.0.1", 10809));
    EXPECT_EQ(orvanta_test::ReadFileBytes(record), "127.0.0.1:10809");
    {
      orvanta_test::ScopedEnvironment fails("ORVANTA_STANDIN_PS_EXIT_CODE", "5");
      EXPECT_FALSE(proxy.Clear());
    }
    EXPECT_TRUE(orvanta_test::FileExists(record));
    ASSERT_TRUE(proxy.Clear());
    EXPECT_FALSE(orvanta_test::FileExists(record));
  }

  // What a new run finds at start-up, with or without the record of a run that ended unclean.
  struct Case {
    const char* description;
    bool recorded;
    bool enableAsText;
    DWORD enable;
    const char* server;
    const char* bypass;
    bool cleared;
  };
  const std::vector<Case> cases = {
      {"still ours", true, false, 1, "127.0.0.1:10809", "<-loopback>", true},
      {"still ours, enable written as text", true, true, 1, "127.0.0.1:10809", "<-loopback>", true},
      {"ours, but no record: an ordinary start", false, false, 1, "127.0.0.1:10809", "<-loopback>",
       false},
      {"stale: cleared since", true, false, 0, "", "", false},
      {"foreign server", true, false, 1, "10.0.0.2:3128", "<-loopback>", false},
      {"our port with another program's bypass list", true, false, 1, "127.0.0.1:10809",
       "*.corp.example;<local>", false},
      {"turned off by the user", true, false, 0, "127.0.0.1:10809", "<-loopback>", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    orvanta_test::WriteProxySettings({c.enable, c.server, c.bypass});
    if (c.enableAsText) {
      ASSERT_EQ(RegSetKeyValueA(HKEY_CURRENT_USER, orvanta_test::kInternetSettings, "ProxyEnable",
                                REG_SZ, "1", 2),
                ERROR_SUCCESS);
    }
    if (c.recorded) orvanta_test::WriteFileBytes(record, "127.0.0.1:10809");
    log_.lines.clear();
    SystemProxy proxy(log_.Sink());
    proxy.ClearLeftByEarlierRun("127.0.0.1:10809");
    EXPECT_FALSE(orvanta_test::FileExists(record));
    if (c.cleared) {
      EXPECT_EQ(log_.lines, (Lines{"Clearing system proxy", "System proxy cleared successfully",
                                   "Cleared the system proxy that an earlier run left set"}));
      ExpectSettings({0, "", ""});
    } else {
      EXPECT_EQ(log_.lines, Lines{});
      EXPECT_EQ(ReadProxySettings().server, c.server);
      EXPECT_EQ(ReadProxySettings().override_list, c.bypass);
    }
  }
}

}  // namespace
