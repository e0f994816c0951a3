// The per-user proxy in every view, through the PowerShell stand-in, the stand-in WinINet
// (which keeps each connection's settings as Windows does), the stand-in rasapi32's two
// phonebook entries and the real (Wine) registry.
#include "proxy_core/system_proxy.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "proxy_core/saved_proxy_settings.h"
#include "support/wide_text.h"
#include "tests/proxy_core/proxy_test_support.h"

namespace {

using orvanta_test::ProxySettings;
using orvanta_test::ReadProxySettings;
using Lines = std::vector<std::string>;

const std::string kProperty =
    "Set-ItemProperty -Path 'HKCU:\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet "
    "Settings' ";

const char kOurs[] = "127.0.0.1:10809";
const std::string kLeftAlone = "System proxy not set by Orvanta; left unchanged";
const std::string kRestored = "Restored the proxy settings from before the connection";
const std::string kSetDone = "SUCCESS: System proxy set successfully to 127.0.0.1:10809";
const std::string kCleared = "System proxy cleared successfully";

// The stand-in rasapi32's entries, and the LAN (an empty name), in the order they are set.
const std::wstring kLan;
const std::wstring kOffice = L"Office VPN";
const std::wstring kHome =
    L"\x0414\x043e\x043c\x0430\x0448\x043d\x0438\x0439 \x0438\x043d\x0442\x0435\x0440\x043d"
    L"\x0435\x0442";
const std::vector<std::wstring> kConnections = {kLan, kOffice, kHome};

const std::string kNotices =
    "InternetSetOptionW 0 39 0 0\n"   // INTERNET_OPTION_SETTINGS_CHANGED
    "InternetSetOptionW 0 37 0 0\n";  // INTERNET_OPTION_REFRESH

// The stand-in WinINet's line for a per-connection set of `connection`.
std::string SetLine(const std::wstring& connection, const std::string& options) {
  return "InternetSetOptionW 0 75 1 32 connection=" +
         (connection.empty() ? std::string("LAN") : orvanta::Utf8FromWide(connection)) + " " +
         options + "\n";
}
// Each connection given ours, as a set does.
std::string SetsOfOurs() {
  std::string lines;
  for (const std::wstring& connection : kConnections) {
    lines += SetLine(connection, "flags=3 server=127.0.0.1:10809 bypass=<-loopback>");
  }
  return lines;
}

const wchar_t* StoredName(const std::wstring& connection) {
  return connection.empty() ? L"DefaultConnectionSettings" : connection.c_str();
}

// What the stand-in WinINet keeps for a connection, as "flags|server|bypass|url"; empty while it
// keeps none (the LAN then follows the plain values, an entry is direct).
std::string Stored(const std::wstring& connection) {
  wchar_t text[1024];
  DWORD size = sizeof(text);
  const std::wstring key = orvanta::WideFromUtf8(orvanta_test::kConnections);
  if (RegGetValueW(HKEY_CURRENT_USER, key.c_str(), StoredName(connection), RRF_RT_REG_SZ, nullptr,
                   text, &size) != ERROR_SUCCESS) {
    return std::string();
  }
  std::string stored = orvanta::Utf8FromWide(std::wstring(text));
  for (char& c : stored) {
    if (c == '\x1F') c = '|';
  }
  return stored;
}
// Gives a connection its own settings, as the user would have in Windows' settings.
void Store(const std::wstring& connection, std::string settings) {
  for (char& c : settings) {
    if (c == '|') c = '\x1F';
  }
  const std::wstring key = orvanta::WideFromUtf8(orvanta_test::kConnections);
  const std::wstring value = orvanta::WideFromUtf8(settings);
  ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), StoredName(connection), REG_SZ,
                            value.c_str(), static_cast<DWORD>((value.size() + 1) * 2)),
            ERROR_SUCCESS);
}

class SystemProxyTest : public proxytest::StandInTest {
 protected:
  // What the stand-in WinINet was told since the last call, every call a line.
  std::string Told() {
    if (!orvanta_test::FileExists(notices_)) return "";
    const std::string told = orvanta_test::ReadFileBytes(notices_);
    DeleteFileA(notices_.c_str());
    return told;
  }
  // Only the two notices to running programs among them.
  std::string Notices() {
    std::string notices;
    const std::string told = Told();
    for (size_t at = 0; at < told.size();) {
      const size_t end = told.find('\n', at);
      const std::string line = told.substr(at, end - at + 1);
      if (line.find(" 75 ") == std::string::npos) notices += line;
      at = end + 1;
    }
    return notices;
  }
  bool SetLeftoversGone() {
    return !orvanta_test::FileExists(record_) && !orvanta_test::FileExists(saved_);
  }
  void ForgetEarlierSets() {
    DeleteFileA(record_.c_str());
    DeleteFileA(saved_.c_str());
  }

  orvanta_test::ScopedTempFolder temp_{"system proxy"};
  const std::string record_ = temp_.WorkFolder() + "\\system-proxy-set";
  const std::string saved_ = temp_.WorkFolder() + "\\system-proxy-saved";
  const std::string notices_ = temp_.Path() + "notices.txt";
  orvanta_test::ScopedEnvironment recorder_{"ORVANTA_STANDIN_WININET_LOG", notices_.c_str()};
  proxytest::RecordedLog log_;
};

void ExpectSettings(const ProxySettings& expected) {
  const ProxySettings actual = ReadProxySettings();
  EXPECT_EQ(actual.enable, expected.enable);
  EXPECT_EQ(actual.server, expected.server);
  EXPECT_EQ(actual.override_list, expected.override_list);
}

TEST_F(SystemProxyTest, SetAndRestoreGiveEveryViewOursThenItsOwnBackAndTellRunningPrograms) {
  orvanta_test::WriteProxySettings({0, "never-set", "x"});
  Store(kOffice, "3|office.example:8080|<local>|");
  Store(kHome, "5|||http://wpad.home.example/p.pac");
  SystemProxy proxy(log_.Sink(), kOurs);
  EXPECT_EQ(proxy.Set("127.0.0.1", 10809), true);
  const std::string command = "powershell.exe -Command \"" + kProperty +
                              "-Name ProxyEnable -Value 1; " + kProperty +
                              "-Name ProxyServer -Value '127.0.0.1:10809'; " + kProperty +
                              "-Name ProxyOverride -Value '<-loopback>'\"";
  EXPECT_EQ(log_.lines, (Lines{"Setting system HTTP proxy: 127.0.0.1:10809",
                               "Executing proxy command: " + command, kSetDone}));
  ExpectSettings({1, "127.0.0.1:10809", "<-loopback>"});
  // Each connection, then the notices. A script's address stays, unused under our flags.
  EXPECT_EQ(Told(), SetsOfOurs() + kNotices);
  EXPECT_EQ(Stored(kLan), "3|127.0.0.1:10809|<-loopback>|");
  EXPECT_EQ(Stored(kOffice), "3|127.0.0.1:10809|<-loopback>|");
  EXPECT_EQ(Stored(kHome), "3|127.0.0.1:10809|<-loopback>|http://wpad.home.example/p.pac");

  // What the user had comes back in every view, with no command run; an entry the user turned
  // to direct while connected stays so.
  Store(kHome, "1|||");
  log_.lines.clear();
  EXPECT_TRUE(proxy.Clear());
  EXPECT_EQ(log_.lines, (Lines{"Clearing system proxy", kRestored}));
  ExpectSettings({0, "never-set", "x"});
  EXPECT_EQ(Told(), SetLine(kLan, "flags=1 server=never-set bypass=x url=") +
                        SetLine(kOffice, "flags=3 server=office.example:8080 bypass=<local> url=") +
                        kNotices);
  EXPECT_EQ(Stored(kOffice), "3|office.example:8080|<local>|");
  EXPECT_EQ(Stored(kHome), "1|||");
  EXPECT_TRUE(SetLeftoversGone());

  // The UI's own clear after the disconnect, or with no connection at all, finds the user's
  // settings: nothing is run, changed or announced.
  log_.lines.clear();
  EXPECT_TRUE(proxy.Clear());
  EXPECT_EQ(log_.lines, (Lines{"Clearing system proxy", kLeftAlone}));
  ExpectSettings({0, "never-set", "x"});
  EXPECT_EQ(Told(), "");

  // Saved settings are owed view by view: plain values another program chose while connected,
  // and set over again, come back, not the first connection's; the LAN nobody changed gets what
  // it had before the first set (no value of its own), not our own saved as the user's.
  ASSERT_TRUE(proxy.Set("127.0.0.1", 10809));
  orvanta_test::WriteProxySettings({1, "other.example:1", "<local>"});
  ASSERT_TRUE(proxy.Set("127.0.0.1", 10809));
  EXPECT_TRUE(proxy.Clear());
  ExpectSettings({1, "other.example:1", "<local>"});
  EXPECT_EQ(Stored(kLan), "");
  // A LAN the user chose between two sets is theirs; our own LAN found with nothing saved for it
  // (a leftover of a build that kept none) is nobody's, and is turned off.
  ASSERT_TRUE(proxy.Set("127.0.0.1", 10809));
  Store(kLan, "3|user.example:1|<local>|");
  ASSERT_TRUE(proxy.Set("127.0.0.1", 10809));
  EXPECT_TRUE(proxy.Clear());
  EXPECT_EQ(Stored(kLan), "3|user.example:1|<local>|");
  orvanta_test::WriteProxySettings({0, "", ""});
  Store(kLan, "3|127.0.0.1:10809|<-loopback>|");
  ASSERT_TRUE(proxy.Set("127.0.0.1", 10809));
  EXPECT_TRUE(proxy.Clear());
  EXPECT_EQ(Stored(kLan), "1|||");

  // A notice the system refuses costs one warning, not the result; the refresh still goes out,
  // as some programs hear only that.
  ASSERT_TRUE(proxy.Set("127.0.0.1", 10809));
  Told();
  orvanta_test::ScopedEnvironment refused("ORVANTA_STANDIN_WININET_FAIL_NOTICES", "1");
  log_.lines.clear();
  EXPECT_TRUE(proxy.Clear());
  EXPECT_EQ(log_.lines,
            (Lines{"Clearing system proxy",
                   "WARNING: Running programs were not told of the new proxy setting. Error "
                   "code: 12004",
                   kRestored}));
  EXPECT_EQ(Notices(), kNotices);
}

// A connection WinINet will not set, and a machine whose policy makes the proxy per machine.
TEST_F(SystemProxyTest, AConnectionThatRefusesOrAPerMachinePolicyIsSaidAndOnlyTheLanFails) {
  orvanta_test::WriteProxySettings({0, "", ""});
  const std::string officeWarning =
      "WARNING: Cannot set the proxy for the connection \"Office VPN\". Error code: 12004";
  const struct {
    const char* refused;
    Lines tail;
    bool result;
  } cases[] = {
      {"Office VPN", {officeWarning, kSetDone}, true},
      {"LAN",
       {"WARNING: Cannot set the proxy for the LAN connection. Error code: 12004",
        "ERROR: The LAN connection does not use 127.0.0.1:10809 after the set; browsers and other "
        "programs that follow it bypass sing-box"},
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.refused);
    ForgetEarlierSets();
    // Settings of its own: without them WinINet reports what the plain values say.
    Store(kLan, "1|||");
    SystemProxy proxy(log_.Sink(), kOurs);
    {
      orvanta_test::ScopedEnvironment refused("ORVANTA_STANDIN_WININET_FAIL_SET", c.refused);
      log_.lines.clear();
      EXPECT_EQ(proxy.Set("127.0.0.1", 10809), c.result);
    }
    EXPECT_EQ(Lines(log_.lines.begin() + 2, log_.lines.end()), c.tail);
    EXPECT_EQ(Stored(kHome), "3|127.0.0.1:10809|<-loopback>|");
    EXPECT_TRUE(proxy.Clear());
    EXPECT_EQ(log_.lines.back(), kRestored);
    ExpectSettings({0, "", ""});
  }

  // Under the policy nothing is run or changed, and the start is told why.
  HKEY policy = nullptr;
  ASSERT_EQ(
      RegCreateKeyExA(HKEY_LOCAL_MACHINE,
                      "SOFTWARE\\Policies\\Microsoft\\Windows\\CurrentVersion\\Internet Settings",
                      0, nullptr, 0, KEY_SET_VALUE, nullptr, &policy, nullptr),
      ERROR_SUCCESS);
  const DWORD perMachine = 0;
  RegSetValueExA(policy, "ProxySettingsPerUser", 0, REG_DWORD,
                 reinterpret_cast<const BYTE*>(&perMachine), sizeof(perMachine));
  ForgetEarlierSets();
  Told();
  log_.lines.clear();
  EXPECT_FALSE(SystemProxy(log_.Sink(), kOurs).Set("127.0.0.1", 10809));
  RegDeleteValueA(policy, "ProxySettingsPerUser");
  RegCloseKey(policy);
  EXPECT_EQ(log_.lines,
            (Lines{"Setting system HTTP proxy: 127.0.0.1:10809",
                   "ERROR: A policy makes the proxy settings per machine (ProxySettingsPerUser is "
                   "0 under HKLM\\SOFTWARE\\Policies\\Microsoft\\Windows\\CurrentVersion\\Internet "
                   "Settings); a per-user proxy would have no effect, so none is set"}));
  EXPECT_EQ(Told(), "");
  EXPECT_FALSE(orvanta_test::FileExists(record_) || orvanta_test::FileExists(saved_));
  ExpectSettings({0, "", ""});
}

TEST_F(SystemProxyTest, PowerShellOutcomesDecideTheResult) {
  const auto noPowerShellLeft = [] {
    return proxytest::PumpMessagesUntil(
        [] { return proxytest::ChildProcesses(L"powershell.exe").empty(); }, 10000);
  };
  // Waits far from the stand-in's own times either way, so a loaded machine changes nothing.
  const ProxyCommandWaits patient{60000, 5000};
  const ProxyCommandWaits brief{500, 5000};
  struct Case {
    const char* description;
    const char* exitCode;  // the stand-in's switches
    const char* hangMs;
    std::wstring powerShell;
    ProxyCommandWaits waits;
    std::string last;  // the last line; false unless it is the success line
    // After a set that ends with its owner, cut short or never started writing: what it left
    // is put back exactly.
    bool putBack = false;
    const char* cutMs = nullptr;
  };
  const std::wstring missing = L"C:\\no such folder\\powershell.exe";
  const std::wstring system = SystemPowerShellPath();
  const std::vector<Case> sets = {
      {"slow but within the wait", nullptr, "1500", system, patient, kSetDone, true},
      {"exit code 3", "3", nullptr, system, patient,
       "ERROR: Proxy command failed with exit code: 3"},
      {"not there", nullptr, nullptr, missing, patient,
       "ERROR: Failed to execute proxy command. Error code: 3"},
      {"no system folder: never a search by name", nullptr, nullptr, L"", patient,
       "ERROR: Failed to execute proxy command. Error code: 2"},
      {"outlives its wait", nullptr, "60000", system, brief,
       "ERROR: Proxy command failed with exit code: 259", true},
      {"cut short between its writes", nullptr, nullptr, system, brief,
       "ERROR: Proxy command failed with exit code: 259", true, "60000"},
  };
  // ProxyEnable as text, which WinINet takes as off: made a number for the set, and put back.
  const ProxySettings sentinel{-1, "sentinel:4", "sentinel"};
  const orvanta_test::RawValue enableText = orvanta_test::TextValue(L"1");
  for (const Case& c : sets) {
    SCOPED_TRACE(c.description);
    orvanta_test::WriteProxySettings(sentinel);
    orvanta_test::WriteRawValue(orvanta_test::kInternetSettings, "ProxyEnable", enableText);
    ForgetEarlierSets();
    Told();
    log_.lines.clear();
    {
      orvanta_test::ScopedEnvironment exitCode("ORVANTA_STANDIN_PS_EXIT_CODE", c.exitCode);
      orvanta_test::ScopedEnvironment hang("ORVANTA_STANDIN_PS_SET_HANG_MS", c.hangMs);
      orvanta_test::ScopedEnvironment cut("ORVANTA_STANDIN_PS_SET_CUT_MS", c.cutMs);
      SystemProxy proxy(log_.Sink(), kOurs, c.powerShell, c.waits);
      EXPECT_EQ(proxy.Set("127.0.0.1", 10809), c.last == kSetDone);
      EXPECT_EQ(log_.lines.back(), c.last);
      // Recorded only once the command has started; the connections and running programs hear
      // only of a success.
      EXPECT_EQ(orvanta_test::FileExists(record_),
                c.powerShell != missing && !c.powerShell.empty());
      EXPECT_EQ(Told(), c.last == kSetDone ? SetsOfOurs() + kNotices : "");
      if (c.cutMs != nullptr) {
        EXPECT_TRUE(
            proxytest::PumpMessagesUntil([] { return ReadProxySettings().enable == 1; }, 30000));
      }
    }
    // A set still running ends with its owner, as it would with a crashed host.
    EXPECT_TRUE(noPowerShellLeft());
    log_.lines.clear();
    EXPECT_TRUE(SystemProxy(log_.Sink(), kOurs).Clear());
    EXPECT_EQ(log_.lines.back(), c.putBack ? kRestored : kLeftAlone);
    EXPECT_EQ(ReadProxySettings().server, sentinel.server);
    EXPECT_EQ(ReadProxySettings().override_list, sentinel.override_list);
    EXPECT_TRUE(orvanta_test::ReadRawValue(orvanta_test::kInternetSettings, "ProxyEnable") ==
                enableText);
    EXPECT_TRUE(SetLeftoversGone());
  }

  // Our values with nothing of this connection saved (a leftover of a build that kept none; a
  // saved file without the record of a set is not this connection's): the clear command
  // decides, and every connection still ours is turned off whatever it says. Unlike a set, a
  // clear still running when its owner goes is left to land: it is the last word on the proxy,
  // as when the host exits during one.
  const std::vector<Case> clears = {
      {"exit code 3", "3", nullptr, system, patient,
       "ERROR: Proxy command failed with exit code: 3"},
      {"not there", nullptr, nullptr, missing, patient, "Failed to clear system proxy"},
      {"outlives its wait and lands later", nullptr, "3000", system, brief,
       "ERROR: Proxy command failed with exit code: 259"},
      {"done", nullptr, nullptr, system, patient, kCleared},
  };
  for (const Case& c : clears) {
    SCOPED_TRACE(c.description);
    orvanta_test::WriteProxySettings({1, kOurs, "<-loopback>"});
    Store(kLan, "3|127.0.0.1:10809|<-loopback>|");
    Store(kOffice, "3|127.0.0.1:10809|<-loopback>|");
    Store(kHome, "1|elsewhere:1||");
    orvanta_test::WriteFileBytes(saved_,
                                 "ProxyEnable absent\nProxyServer absent\nProxyOverride absent\n");
    orvanta_test::ScopedEnvironment exitCode("ORVANTA_STANDIN_PS_EXIT_CODE", c.exitCode);
    orvanta_test::ScopedEnvironment hang("ORVANTA_STANDIN_PS_HANG_MS", c.hangMs);
    Told();
    log_.lines.clear();
    EXPECT_EQ(SystemProxy(log_.Sink(), kOurs, c.powerShell, c.waits).Clear(), c.last == kCleared);
    EXPECT_EQ(log_.lines, (Lines{"Clearing system proxy", c.last}));
    EXPECT_EQ(Told(), SetLine(kLan, "flags=1 server= bypass=") +
                          SetLine(kOffice, "flags=1 server= bypass=") +
                          (c.last == kCleared ? kNotices : ""));
    EXPECT_EQ(Stored(kHome), "1|elsewhere:1||");
    EXPECT_TRUE(noPowerShellLeft());
    ExpectSettings({0, "", ""});
  }

  // A clear that outlives its wait, then a connect: the clear is ended first, or it would turn
  // the new connection's proxy off a moment later.
  {
    orvanta_test::WriteProxySettings({1, kOurs, "<-loopback>"});
    ForgetEarlierSets();
    SystemProxy reconnecting(log_.Sink(), kOurs, system, brief);
    {
      orvanta_test::ScopedEnvironment hang("ORVANTA_STANDIN_PS_HANG_MS", "3000");
      EXPECT_FALSE(reconnecting.Clear());
    }
    EXPECT_TRUE(reconnecting.Set("127.0.0.1", 10809));
    EXPECT_TRUE(noPowerShellLeft());
    ExpectSettings({1, kOurs, "<-loopback>"});
    EXPECT_TRUE(reconnecting.Clear());
  }

  // A second set that outlives its wait, then the disconnect: the set is ended before the
  // user's values go back, or it would write ours over them a moment later.
  orvanta_test::WriteProxySettings({4, "sentinel:4", "sentinel"});
  ForgetEarlierSets();
  SystemProxy proxy(log_.Sink(), kOurs, system, brief);
  {
    orvanta_test::ScopedEnvironment cut("ORVANTA_STANDIN_PS_SET_CUT_MS", "1");
    ASSERT_TRUE(SystemProxy(log_.Sink(), kOurs, system, patient).Set("127.0.0.1", 10809));
  }
  {
    orvanta_test::ScopedEnvironment hang("ORVANTA_STANDIN_PS_SET_HANG_MS", "60000");
    EXPECT_FALSE(proxy.Set("127.0.0.1", 10809));
    EXPECT_TRUE(proxy.Clear());
  }
  EXPECT_EQ(log_.lines.back(), kRestored);
  EXPECT_TRUE(noPowerShellLeft());
  ExpectSettings({4, "sentinel:4", "sentinel"});
}

TEST_F(SystemProxyTest, AChangeByAnotherProgramWhileSetIsReportedOnceAndOurOwnNever) {
  // Long enough for a queued notice to be handled; no line may come of it.
  const auto settle = [] { proxytest::PumpMessagesUntil([] { return false; }, 300); };
  const std::string changed =
      "WARNING: Another program changed the system proxy to other.example:3128; traffic may "
      "bypass sing-box";
  const std::string off =
      "WARNING: Another program turned the system proxy off; traffic may bypass sing-box";
  const std::string script =
      "WARNING: Another program changed the system proxy to the configuration script "
      "http://wpad.example/p.pac; traffic may bypass sing-box";
  const std::string detection =
      "WARNING: Another program changed the system proxy to automatic detection; traffic may "
      "bypass sing-box";
  // The last entry, named in Cyrillic, unticked on the settings page: its server stays.
  const std::string home = "WARNING: Another program turned the proxy of the connection \"" +
                           orvanta::Utf8FromWide(kHome) +
                           "\" off; traffic over it may bypass sing-box";
  struct Step {
    const char* description;
    ProxySettings written;  // the plain values, by another program, while connected
    const char* stored;     // or a connection's settings, as the settings page writes them
    Lines reported;
    const std::wstring& connection = kLan;
    // Written through a handle opened before the key was locked: heard, but not readable.
    bool unreadable = false;
  };
  const std::vector<Step> steps = {
      {"another server", {1, "other.example:3128", "<-loopback>"}, nullptr, {changed}},
      {"unreadable while away: nothing judged",
       {1, "hidden.example:1", "<-loopback>"},
       nullptr,
       {},
       kLan,
       true},
      {"another again, still away from ours", {1, "third.example:1", "<local>"}, nullptr, {}},
      {"back to ours", {1, kOurs, "<-loopback>"}, nullptr, {}},
      {"unreadable while ours: nothing judged", {1, kOurs, "<-loopback>"}, nullptr, {}, kLan, true},
      {"a script beside our server, for the LAN alone",
       {},
       "7|127.0.0.1:10809|<-loopback>|http://wpad.example/p.pac",
       {script}},
      {"the LAN back to ours", {}, "3|127.0.0.1:10809|<-loopback>|", {}},
      {"detection beside our server", {}, "11|127.0.0.1:10809|<-loopback>|", {detection}},
      {"the LAN back to ours again", {}, "3|127.0.0.1:10809|<-loopback>|", {}},
      {"an entry turned direct", {}, "1|127.0.0.1:10809|<-loopback>|", {home}, kHome},
      {"the entry back to ours", {}, "3|127.0.0.1:10809|<-loopback>|", {}, kHome},
      {"turned off", {0, kOurs, "<-loopback>"}, nullptr, {off}},
  };
  // The next connection starts afresh: its first change away is reported too, and its own
  // restore is not.
  const std::vector<Step> nextConnection = {steps[0], steps[3]};
  SystemProxy proxy(log_.Sink(), kOurs);
  for (int connection = 0; connection < 2; ++connection) {
    orvanta_test::WriteProxySettings({0, "", ""});
    ASSERT_TRUE(proxy.Set("127.0.0.1", 10809));
    log_.lines.clear();
    settle();
    EXPECT_EQ(log_.lines, Lines{}) << "the set's own write";
    for (const Step& step : connection == 0 ? steps : nextConnection) {
      SCOPED_TRACE(step.description);
      const ULONGLONG writtenAt = GetTickCount64();
      if (step.unreadable) {
        HKEY before = nullptr;
        ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, orvanta_test::kInternetSettings, 0,
                                KEY_SET_VALUE, &before),
                  ERROR_SUCCESS);
        proxytest::LockedInternetSettings locked(KEY_NOTIFY);
        // Wine fires no notice for a value written as it was: where the server stays ours,
        // ProxyEnable becomes the text "1" that PowerShell writes, which is ours too.
        const bool keepsOurs = step.written.server == kOurs;
        const orvanta_test::RawValue text =
            orvanta_test::TextValue(keepsOurs ? L"1" : orvanta::WideFromUtf8(step.written.server));
        EXPECT_EQ(RegSetValueExW(before, keepsOurs ? L"ProxyEnable" : L"ProxyServer", 0, text.type,
                                 text.data.data(), static_cast<DWORD>(text.data.size())),
                  ERROR_SUCCESS);
        RegCloseKey(before);
        settle();
      } else if (step.stored != nullptr) {
        Store(step.connection, step.stored);
      } else {
        orvanta_test::WriteProxySettings(step.written);
      }
      if (!step.reported.empty()) {
        EXPECT_TRUE(proxytest::PumpMessagesUntil([&] { return !log_.lines.empty(); }, 5000));
        std::printf("reported %llu ms after the change\n", GetTickCount64() - writtenAt);
      }
      settle();
      EXPECT_EQ(log_.lines, step.reported);
      log_.lines.clear();
    }
    // The disconnect's own write is never another program's, and the watch ends with it. The
    // LAN, still ours, gets its own back; the plain values another program chose stand.
    EXPECT_TRUE(proxy.Clear());
    orvanta_test::WriteProxySettings({1, "after.example:1", ""});
    settle();
    EXPECT_EQ(log_.lines, (Lines{"Clearing system proxy", kRestored}));
    log_.lines.clear();
  }

  // A program that changes the proxy as soon as ours is written, or as soon as it hears of it:
  // both are reported, though neither change comes after a notice the watch waited for. A script
  // chosen for the LAN on hearing of ours is a change the set reports, not a set that failed;
  // the plain values that Windows keeps in step then say only "off".
  const std::pair<const char*, std::string> reactions[] = {
      {"75:other.example:3128", changed},
      {"39:other.example:3128", changed},
      {"39:script=http://wpad.example/p.pac", script}};
  for (const auto& [reaction, reported] : reactions) {
    SCOPED_TRACE(reaction);
    orvanta_test::WriteProxySettings({0, "", ""});
    orvanta_test::ScopedEnvironment react("ORVANTA_STANDIN_WININET_REACT", reaction);
    log_.lines.clear();
    ASSERT_TRUE(proxy.Set("127.0.0.1", 10809));
    EXPECT_TRUE(proxytest::PumpMessagesUntil(
        [&] {
          return std::find(log_.lines.begin(), log_.lines.end(), reported) != log_.lines.end();
        },
        5000));
    settle();
    EXPECT_EQ(std::count(log_.lines.begin(), log_.lines.end(), reported), 1);
    EXPECT_TRUE(proxy.Clear());
  }
}

TEST_F(SystemProxyTest, ARefusedRestoreKeepsTheSavedSettingsUntilALaterClearPutsThemBack) {
  const ProxySettings company{1, "corp-proxy.example:8080", "*.corp.example;<local>"};
  const std::string companyLan = "3|corp-proxy.example:8080|*.corp.example;<local>|";
  // The LAN takes nothing but direct (then the proxy is turned off instead, and the next start
  // or the next connection's clear tries again), or nothing can be written at all (then the next
  // clear does).
  enum class Then { kNextStart, kConnectAgain, kClearAgain };
  for (Then then : {Then::kNextStart, Then::kConnectAgain, Then::kClearAgain}) {
    const bool turnedOffInstead = then != Then::kClearAgain;
    SCOPED_TRACE(static_cast<int>(then));
    orvanta_test::WriteProxySettings(company);
    Store(kLan, companyLan);
    ForgetEarlierSets();
    SystemProxy proxy(log_.Sink(), kOurs);
    ASSERT_TRUE(proxy.Set("127.0.0.1", 10809));
    log_.lines.clear();
    {
      orvanta_test::ScopedEnvironment lanRefuses("ORVANTA_STANDIN_WININET_FAIL_SET",
                                                 turnedOffInstead ? "LAN" : nullptr);
      std::unique_ptr<proxytest::LockedInternetSettings> locked;
      if (!turnedOffInstead) locked = std::make_unique<proxytest::LockedInternetSettings>();
      Told();
      EXPECT_EQ(proxy.Clear(), turnedOffInstead);
    }
    EXPECT_TRUE(proxy.RestorePending());
    EXPECT_TRUE(orvanta_test::FileExists(record_) && orvanta_test::FileExists(saved_));
    if (turnedOffInstead) {
      EXPECT_EQ(log_.lines, (Lines{"Clearing system proxy",
                                   "ERROR: Failed to restore the proxy settings from before the "
                                   "connection. Error code: 12004",
                                   kCleared}));
      EXPECT_EQ(Stored(kLan), "1|||");
      ExpectSettings(company);
      EXPECT_EQ(Notices(), kNotices);
      log_.lines.clear();
      if (then == Then::kNextStart) {
        SystemProxy(log_.Sink(), kOurs).ClearLeftByEarlierRun();
        EXPECT_EQ(log_.lines.back(), "Cleared the system proxy that an earlier run left set");
      } else {
        // The direct LAN that stood in for the restore is not the user's to save.
        ASSERT_TRUE(proxy.Set("127.0.0.1", 10809));
        EXPECT_TRUE(proxy.Clear());
      }
    } else {
      EXPECT_EQ(log_.lines, (Lines{"Clearing system proxy",
                                   "ERROR: Failed to restore the proxy settings from before the "
                                   "connection. Error code: 5",
                                   "ERROR: Proxy command failed with exit code: 1"}));
      ExpectSettings({1, kOurs, "<-loopback>"});
      EXPECT_EQ(Notices(), "");
      EXPECT_TRUE(proxy.Clear());
      EXPECT_FALSE(proxy.RestorePending());
    }
    EXPECT_EQ(log_.lines[log_.lines.size() - (then == Then::kNextStart ? 2 : 1)], kRestored);
    ExpectSettings(company);
    EXPECT_EQ(Stored(kLan), companyLan);
    EXPECT_TRUE(SetLeftoversGone());
  }
}

// What a new run finds at start-up, with or without the record of a run that ended unclean,
// and with or without the user's settings saved before its set.
TEST_F(SystemProxyTest, TheNextStartPutsBackOnlyWhatAnEarlierRunLeftOurs) {
  const char* const none = "ProxyEnable absent\nProxyServer absent\nProxyOverride absent\n";
  // The user's: a DWORD 1, "corp:1" and "<local>".
  const char* const corp =
      "ProxyEnable 4 01000000\nProxyServer 1 63006f00720070003a0031000000\n"
      "ProxyOverride 1 3c006c006f00630061006c003e000000\n";
  const std::string corpOff =
      std::string("ProxyEnable 4 00000000\n") + (std::strchr(corp, '\n') + 1);
  const ProxySettings corpValues{1, "corp:1", "<local>"};
  const ProxySettings cleared{0, "", ""};
  enum class Outcome { kLeft, kClearCommand, kPutBack };
  struct Case {
    const char* description;
    const char* record;  // null: none
    std::string saved;   // empty: none
    ProxySettings found;
    bool enableAsText;
    Outcome outcome;
    ProxySettings after;
  };
  const std::vector<Case> cases = {
      {"still ours, nothing saved",
       "127.0.0.1:10809",
       "",
       {1, kOurs, "<-loopback>"},
       false,
       Outcome::kClearCommand,
       cleared},
      {"still ours, enable written as text",
       "127.0.0.1:10809\n",
       none,
       {1, kOurs, "<-loopback>"},
       true,
       Outcome::kPutBack,
       ProxySettings{}},
      {"ours, but no record: an ordinary start",
       nullptr,
       none,
       {1, kOurs, "<-loopback>"},
       false,
       Outcome::kLeft,
       {1, kOurs, "<-loopback>"}},
      {"stale: cleared since", "127.0.0.1:10809", none, cleared, false, Outcome::kLeft, cleared},
      {"foreign server",
       "127.0.0.1:10809",
       none,
       {1, "10.0.0.2:3128", "<-loopback>"},
       false,
       Outcome::kLeft,
       {1, "10.0.0.2:3128", "<-loopback>"}},
      {"a server that only begins with ours",
       "127.0.0.1:10809",
       none,
       {1, "127.0.0.1:108090", "<-loopback>"},
       false,
       Outcome::kLeft,
       {1, "127.0.0.1:108090", "<-loopback>"}},
      {"our port with another program's bypass list",
       "127.0.0.1:10809",
       none,
       {1, kOurs, "*.corp.example;<local>"},
       false,
       Outcome::kLeft,
       {1, kOurs, "*.corp.example;<local>"}},
      {"turned off by the user",
       "127.0.0.1:10809",
       none,
       {0, kOurs, "<-loopback>"},
       false,
       Outcome::kLeft,
       {0, kOurs, "<-loopback>"}},
      {"a set cut short after ProxyEnable",
       "127.0.0.1:10809\n",
       corpOff,
       {1, "corp:1", "<local>"},
       false,
       Outcome::kPutBack,
       {0, "corp:1", "<local>"}},
      {"cut short after ProxyServer: ours over the user's",
       "127.0.0.1:10809\n",
       corp,
       {1, kOurs, "<local>"},
       false,
       Outcome::kPutBack,
       corpValues},
      {"turned off for a refused restore, which is still owed", "127.0.0.1:10809\ncleared\n", corp,
       cleared, false, Outcome::kPutBack, corpValues},
      {"turned off for a refused restore, then chosen anew",
       "127.0.0.1:10809\ncleared\n",
       corp,
       {1, "user.example:1", ""},
       false,
       Outcome::kLeft,
       {1, "user.example:1", ""}},
  };
  CreateDirectoryA(temp_.WorkFolder().c_str(), nullptr);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    ForgetEarlierSets();
    orvanta_test::WriteProxySettings(c.found);
    if (c.enableAsText) {
      orvanta_test::WriteRawValue(orvanta_test::kInternetSettings, "ProxyEnable",
                                  orvanta_test::TextValue(L"1"));
    }
    if (c.record != nullptr) orvanta_test::WriteFileBytes(record_, c.record);
    if (!c.saved.empty()) orvanta_test::WriteFileBytes(saved_, c.saved);
    log_.lines.clear();
    SystemProxy(log_.Sink(), kOurs).ClearLeftByEarlierRun();
    // Whatever happened, nothing of the earlier run is left for a later start to act on.
    EXPECT_TRUE(SetLeftoversGone());
    if (c.outcome == Outcome::kLeft) {
      EXPECT_EQ(log_.lines, Lines{});
    } else {
      EXPECT_EQ(log_.lines, (Lines{"Clearing system proxy",
                                   c.outcome == Outcome::kPutBack ? kRestored : kCleared,
                                   "Cleared the system proxy that an earlier run left set"}));
    }
    ExpectSettings(c.after);
  }
}

TEST_F(SystemProxyTest, TheUsersOwnSettingsComeBackExactlyInEveryViewAfterAConnection) {
  using orvanta_test::DwordValue;
  using orvanta_test::RawValue;
  using orvanta_test::TextValue;
  const RawValue absent;
  const std::vector<RawValue> ours = {DwordValue(1), TextValue(L"127.0.0.1:10809"),
                                      TextValue(L"<-loopback>")};
  const std::vector<RawValue> turnedOff = {DwordValue(0), TextValue(L""), TextValue(L"")};
  RawValue binary;
  binary.present = true;
  binary.type = REG_BINARY;
  binary.data = {0x01, 0x00, 0xFF};
  struct Case {
    const char* description;
    std::vector<RawValue> before;
    const char* lanBefore;            // the LAN settings, when set through WinINet
    const wchar_t* changedMeanwhile;  // ProxyServer written by someone else while connected
    std::vector<RawValue> after;
    const char* savedBefore;  // the saved-state file as an earlier run left it
  };
  const std::vector<RawValue> company = {DwordValue(1), TextValue(L"corp-proxy.example:8080"),
                                         TextValue(L"*.corp.example;<local>")};
  const std::vector<RawValue> awkward = {
      DwordValue(1), TextValue(L"it's $env:X `t; \"q\" \x2019s\x2019 %PATH%:8080"),
      TextValue(L"*.\x043f\x0440\x0438\x043c\x0435\x0440.\x0440\x0444;<local>")};
  const std::vector<RawValue> types = {TextValue(L"0"), TextValue(L"%PROXY%:80", REG_EXPAND_SZ),
                                       binary};
  const std::vector<RawValue> nothing = {absent, absent, absent};
  const std::vector<Case> cases = {
      {"a company set-up", company, nullptr, nullptr, company, nullptr},
      {"a company proxy set through WinINet", company,
       "3|corp-proxy.example:8080|*.corp.example;<local>|", nullptr, company, nullptr},
      {"a configuration script", nothing, "5|||http://wpad.corp.example/proxy.pac", nullptr,
       nothing, nullptr},
      {"automatic detection", nothing, "9|||", nullptr, nothing, nullptr},
      {"quotes, $, a backtick, %, Cyrillic", awkward, nullptr, nullptr, awkward, nullptr},
      {"nothing set before", nothing, nullptr, nullptr, nothing, nullptr},
      {"types and bytes as stored", types, nullptr, nullptr, types, nullptr},
      {"a leftover of our own values", ours, nullptr, nullptr, turnedOff, nullptr},
      {"the plain values changed by someone else while connected: they stand",
       company,
       nullptr,
       L"other:3128",
       {ours[0], TextValue(L"other:3128"), ours[2]},
       nullptr},
      {"a cut-off saved file is replaced", company, nullptr, nullptr, company,
       "ProxyEnable 4 0100"},
      {"a stale saved file without its record is replaced", company, nullptr, nullptr, company,
       "ProxyEnable absent\nProxyServer absent\nProxyOverride absent\n"},
  };
  const char* names[] = {"ProxyEnable", "ProxyServer", "ProxyOverride"};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    ForgetEarlierSets();
    RegDeleteTreeA(HKEY_CURRENT_USER, orvanta_test::kConnections);
    if (c.savedBefore != nullptr) {
      CreateDirectoryA(temp_.WorkFolder().c_str(), nullptr);
      orvanta_test::WriteFileBytes(saved_, c.savedBefore);
    }
    for (size_t i = 0; i < 3; ++i) {
      orvanta_test::WriteRawValue(orvanta_test::kInternetSettings, names[i], c.before[i]);
    }
    if (c.lanBefore != nullptr) Store(kLan, c.lanBefore);
    Store(kOffice, "3|office.example:8080|<local>|");
    SystemProxy proxy(log_.Sink(), kOurs);
    ASSERT_TRUE(proxy.Set("127.0.0.1", 10809));
    // A number, whatever was there: clients read only that.
    EXPECT_TRUE(orvanta_test::ReadRawValue(orvanta_test::kInternetSettings, "ProxyEnable") ==
                DwordValue(1));
    EXPECT_EQ(Stored(kLan).rfind("3|127.0.0.1:10809|<-loopback>|", 0), 0u) << Stored(kLan);
    if (c.changedMeanwhile != nullptr) {
      orvanta_test::WriteRawValue(orvanta_test::kInternetSettings, "ProxyServer",
                                  TextValue(c.changedMeanwhile));
    }
    log_.lines.clear();
    EXPECT_TRUE(proxy.Clear());
    EXPECT_EQ(log_.lines.back(), c.after == turnedOff ? kCleared : kRestored);
    for (size_t i = 0; i < 3; ++i) {
      EXPECT_TRUE(orvanta_test::ReadRawValue(orvanta_test::kInternetSettings, names[i]) ==
                  c.after[i])
          << names[i];
    }
    // A LAN with no settings of its own has none again.
    EXPECT_EQ(Stored(kLan), c.lanBefore != nullptr ? c.lanBefore
                            : c.after == turnedOff ? "1|||"
                                                   : "");
    EXPECT_EQ(Stored(kOffice), c.after == turnedOff ? "1|||" : "3|office.example:8080|<local>|");
    EXPECT_TRUE(SetLeftoversGone());
  }
}

}  // namespace

TEST(SavedProxySettingsTest, OnlyWhatSerializeMakesParses) {
  ProxySnapshot snapshot;
  snapshot.plain.enable = {true, REG_DWORD, {1, 0, 0, 0}};
  snapshot.plain.bypass = {true, REG_SZ, {'<', 0, 0, 0}};
  snapshot.connections = {
      {L"", {5, L"", L"<local>", L"http://wpad/p.pac"}, false},
      {L"\x0412\x041f\x041d", {3, L"corp:8080", L"", L""}, true},
  };
  const std::string plain =
      "ProxyEnable 4 01000000\nProxyServer absent\nProxyOverride 1 3c000000\n";
  const std::string text = SerializeProxySnapshot(snapshot);
  EXPECT_EQ(text,
            plain +
                "Connection - 5 - 3c006c006f00630061006c003e00 "
                "68007400740070003a002f002f0077007000610064002f0070002e00700061006300 none\n"
                "Connection 12041f041d04 3 63006f00720070003a003800300038003000 - - stored\n");
  ProxySnapshot parsed;
  ASSERT_TRUE(ParseProxySnapshot(text, parsed));
  EXPECT_TRUE(parsed.plain == snapshot.plain);
  ASSERT_EQ(parsed.connections.size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_TRUE(parsed.connections[i].name == snapshot.connections[i].name) << i;
    EXPECT_TRUE(parsed.connections[i].settings == snapshot.connections[i].settings) << i;
    EXPECT_EQ(parsed.connections[i].stored, snapshot.connections[i].stored) << i;
  }
  // What an earlier version saved: the plain values alone.
  ASSERT_TRUE(ParseProxySnapshot(plain, parsed));
  EXPECT_TRUE(parsed.plain == snapshot.plain);
  EXPECT_TRUE(parsed.connections.empty());
  const std::string lan = "Connection - 5 - - - stored\n";
  const std::vector<std::pair<const char*, std::string>> broken = {
      {"empty", ""},
      {"a line missing", "ProxyEnable 4 01000000\nProxyServer absent\n"},
      {"no final line end", text.substr(0, text.size() - 1)},
      {"something after", text + "x"},
      {"lines out of order",
       "ProxyServer absent\nProxyEnable 4 01000000\nProxyOverride 1 3c000000\n"},
      {"odd number of hex digits",
       "ProxyEnable 4 0100000\nProxyServer absent\nProxyOverride absent\n"},
      {"not hex", "ProxyEnable 4 01g00000\nProxyServer absent\nProxyOverride absent\n"},
      {"type beyond 32 bits",
       "ProxyEnable 4294967296 00\nProxyServer absent\nProxyOverride absent\n"},
      {"no type", "ProxyEnable  00\nProxyServer absent\nProxyOverride absent\n"},
      {"a CR LF line end", "ProxyEnable absent\r\nProxyServer absent\nProxyOverride absent\n"},
      {"a connection before the plain values", lan + plain},
      {"a connection with a field missing", plain + "Connection - 5 - - stored\n"},
      {"a connection with a field too many", plain + "Connection - 5 - - - - stored\n"},
      {"flags beyond 32 bits", plain + "Connection - 4294967296 - - - none\n"},
      {"flags not decimal", plain + "Connection - 0x5 - - - none\n"},
      {"half a UTF-16 unit", plain + "Connection 41 5 - - - none\n"},
      {"an empty field instead of -", plain + "Connection  5 - - - none\n"},
      {"another tag", plain + "Connexion - 5 - - - none\n"},
      {"neither stored nor none", plain + "Connection - 5 - - - kept\n"},
  };
  for (const auto& [description, input] : broken) {
    EXPECT_FALSE(ParseProxySnapshot(input, parsed)) << description;
  }
}
