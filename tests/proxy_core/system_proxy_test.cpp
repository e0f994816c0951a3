// The per-user proxy through the PowerShell stand-in, the WinINet recorder and the real (Wine)
// registry.
#include "proxy_core/system_proxy.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "proxy_core/saved_proxy_settings.h"
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

const std::string kNotices =
    "InternetSetOptionW 0 39 0 0\n"   // INTERNET_OPTION_SETTINGS_CHANGED
    "InternetSetOptionW 0 37 0 0\n";  // INTERNET_OPTION_REFRESH

class SystemProxyTest : public proxytest::StandInTest {
 protected:
  // What running programs were told since the last call (the WinINet recorder's calls).
  std::string Notices() {
    if (!orvanta_test::FileExists(notices_)) return "";
    const std::string told = orvanta_test::ReadFileBytes(notices_);
    DeleteFileA(notices_.c_str());
    return told;
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

// Takes the right to write values of the Internet Settings key from everyone, as a policy that
// locks the proxy does; Wine checks a key's DACL as Windows does, so a write there fails with
// ERROR_ACCESS_DENIED. The key's own security comes back at destruction through the handle
// opened before, since the DACL set here grants no WRITE_DAC.
class ReadOnlyInternetSettings {
 public:
  ReadOnlyInternetSettings() {
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, orvanta_test::kInternetSettings, 0,
                            READ_CONTROL | WRITE_DAC, &key_),
              ERROR_SUCCESS);
    DWORD size = 0;
    RegGetKeySecurity(key_, DACL_SECURITY_INFORMATION, nullptr, &size);
    original_.resize(size);
    EXPECT_EQ(RegGetKeySecurity(key_, DACL_SECURITY_INFORMATION, original_.data(), &size),
              ERROR_SUCCESS);
    BYTE everyone[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof(everyone);
    EXPECT_TRUE(CreateWellKnownSid(WinWorldSid, nullptr, everyone, &sidSize));
    PACL acl = reinterpret_cast<PACL>(acl_);
    EXPECT_TRUE(InitializeAcl(acl, sizeof(acl_), ACL_REVISION));
    EXPECT_TRUE(AddAccessAllowedAce(acl, ACL_REVISION, KEY_READ, everyone));
    SECURITY_DESCRIPTOR readOnly;
    EXPECT_TRUE(InitializeSecurityDescriptor(&readOnly, SECURITY_DESCRIPTOR_REVISION));
    EXPECT_TRUE(SetSecurityDescriptorDacl(&readOnly, TRUE, acl, FALSE));
    EXPECT_EQ(RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, &readOnly), ERROR_SUCCESS);
  }
  ~ReadOnlyInternetSettings() {
    EXPECT_EQ(RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, original_.data()), ERROR_SUCCESS);
    RegCloseKey(key_);
  }
  ReadOnlyInternetSettings(const ReadOnlyInternetSettings&) = delete;
  ReadOnlyInternetSettings& operator=(const ReadOnlyInternetSettings&) = delete;

 private:
  HKEY key_ = nullptr;
  std::vector<BYTE> original_;
  alignas(DWORD) BYTE acl_[128];
};

void ExpectSettings(const ProxySettings& expected) {
  const ProxySettings actual = ReadProxySettings();
  EXPECT_EQ(actual.enable, expected.enable);
  EXPECT_EQ(actual.server, expected.server);
  EXPECT_EQ(actual.override_list, expected.override_list);
}

TEST_F(SystemProxyTest, SetRestoreAndClearRunTheExactCommandsAndTellRunningPrograms) {
  orvanta_test::WriteProxySettings({0, "never-set", "x"});
  SystemProxy proxy(log_.Sink(), kOurs);
  EXPECT_EQ(proxy.Set("127.0.0.1", 10809), true);
  const std::string command = "powershell.exe -Command \"" + kProperty +
                              "-Name ProxyEnable -Value 1; " + kProperty +
                              "-Name ProxyServer -Value '127.0.0.1:10809'; " + kProperty +
                              "-Name ProxyOverride -Value '<-loopback>'\"";
  EXPECT_EQ(log_.lines, (Lines{"Setting system HTTP proxy: 127.0.0.1:10809",
                               "Executing proxy command: " + command,
                               "SUCCESS: System proxy set successfully to 127.0.0.1:10809"}));
  ExpectSettings({1, "127.0.0.1:10809", "<-loopback>"});
  EXPECT_EQ(Notices(), kNotices);

  // What the user had comes back, with no command run.
  log_.lines.clear();
  EXPECT_TRUE(proxy.Clear());
  EXPECT_EQ(log_.lines, (Lines{"Clearing system proxy",
                               "Restored the proxy settings from before the connection"}));
  ExpectSettings({0, "never-set", "x"});
  EXPECT_EQ(Notices(), kNotices);
  EXPECT_TRUE(SetLeftoversGone());

  // The UI's own clear after the disconnect, or with no connection at all, finds the user's
  // values: nothing is run, changed or announced.
  log_.lines.clear();
  EXPECT_TRUE(proxy.Clear());
  EXPECT_EQ(log_.lines, (Lines{"Clearing system proxy", kLeftAlone}));
  ExpectSettings({0, "never-set", "x"});
  EXPECT_EQ(Notices(), "");

  // A configuration script lets programs bypass the proxy: the set says so, only then.
  const std::string bypassWarning =
      "WARNING: An automatic proxy configuration script is set (AutoConfigURL); programs that "
      "use it may bypass sing-box";
  for (const wchar_t* script : {L"http://wpad.corp.example/proxy.pac", L""}) {
    orvanta_test::WriteRawValue(orvanta_test::kInternetSettings, "AutoConfigURL",
                                orvanta_test::TextValue(script));
    log_.lines.clear();
    ASSERT_TRUE(proxy.Set("127.0.0.1", 10809));
    EXPECT_EQ(log_.lines.back() == bypassWarning, *script != L'\0') << log_.lines.back();
    EXPECT_EQ(Notices(), kNotices);
    // A notice the system refuses costs one warning, not the result; the refresh still goes
    // out, as some programs hear only that.
    orvanta_test::ScopedEnvironment refused("ORVANTA_STANDIN_WININET_FAIL", "1");
    log_.lines.clear();
    EXPECT_TRUE(proxy.Clear());
    EXPECT_EQ(log_.lines,
              (Lines{"Clearing system proxy",
                     "WARNING: Running programs were not told of the new proxy setting. Error "
                     "code: 12004",
                     "Restored the proxy settings from before the connection"}));
    EXPECT_EQ(Notices(), kNotices);
  }
}

TEST_F(SystemProxyTest, PowerShellOutcomesDecideTheResult) {
  const auto noPowerShellLeft = [] {
    return proxytest::PumpMessagesUntil(
        [] { return proxytest::ChildProcesses(L"powershell.exe").empty(); }, 10000);
  };
  struct Case {
    const char* description;
    const char* exitCode;  // the stand-in's switches
    const char* hangMs;
    std::wstring powerShell;
    std::string last;          // the last line; false unless it is the success line
    bool leftRunning = false;  // a set that never ended: the number ProxyEnable became stays
  };
  const std::wstring missing = L"C:\\no such folder\\powershell.exe";
  const std::string setDone = "SUCCESS: System proxy set successfully to 127.0.0.1:10809";
  const std::vector<Case> sets = {
      {"slow but within the wait", nullptr, "3500", SystemPowerShellPath(), setDone},
      {"exit code 3", "3", nullptr, SystemPowerShellPath(),
       "ERROR: Proxy command failed with exit code: 3"},
      {"not there", nullptr, nullptr, missing,
       "ERROR: Failed to execute proxy command. Error code: 3"},
      {"outlives its wait", nullptr, "6500", SystemPowerShellPath(),
       "ERROR: Proxy command failed with exit code: 259", true},
  };
  // ProxyEnable as text, which WinINet takes as off: made a number for the set, and put back.
  const ProxySettings sentinel{-1, "sentinel:4", "sentinel"};
  const orvanta_test::RawValue enableText = orvanta_test::TextValue(L"1");
  for (const Case& c : sets) {
    SCOPED_TRACE(c.description);
    orvanta_test::WriteProxySettings(sentinel);
    orvanta_test::WriteRawValue(orvanta_test::kInternetSettings, "ProxyEnable", enableText);
    ForgetEarlierSets();
    Notices();
    log_.lines.clear();
    {
      orvanta_test::ScopedEnvironment exitCode("ORVANTA_STANDIN_PS_EXIT_CODE", c.exitCode);
      orvanta_test::ScopedEnvironment hang("ORVANTA_STANDIN_PS_SET_HANG_MS", c.hangMs);
      SystemProxy proxy(log_.Sink(), kOurs, c.powerShell);
      EXPECT_EQ(proxy.Set("127.0.0.1", 10809), c.last == setDone);
      EXPECT_EQ(log_.lines.back(), c.last);
      // Recorded only once the command has started; running programs hear only of a success.
      EXPECT_EQ(orvanta_test::FileExists(record_), c.powerShell != missing);
      EXPECT_EQ(Notices(), c.last == setDone ? kNotices : "");
    }
    // A set still running ends with its owner, as it would with a crashed host.
    EXPECT_TRUE(noPowerShellLeft());
    // The disconnect puts back what a successful set replaced; after a failed one the user's
    // values are still there, and stay.
    log_.lines.clear();
    EXPECT_TRUE(SystemProxy(log_.Sink(), kOurs).Clear());
    EXPECT_EQ(log_.lines.back(), c.last == setDone
                                     ? "Restored the proxy settings from before the connection"
                                     : kLeftAlone);
    EXPECT_EQ(orvanta_test::ReadProxySettings().server, sentinel.server);
    EXPECT_TRUE(orvanta_test::ReadRawValue(orvanta_test::kInternetSettings, "ProxyEnable") ==
                (c.leftRunning ? orvanta_test::DwordValue(0) : enableText));
    EXPECT_TRUE(SetLeftoversGone());
  }

  // Our values with nothing of this connection saved (a leftover of a build that kept none; a
  // saved file without the record of a set is not this connection's): the clear command
  // decides. Unlike a set, a clear still running when its owner goes is left to land: it is
  // the last word on the proxy, as when the host exits during one.
  const std::string clearDone = "System proxy cleared successfully";
  const std::vector<Case> clears = {
      {"exit code 3", "3", nullptr, SystemPowerShellPath(),
       "ERROR: Proxy command failed with exit code: 3"},
      {"not there", nullptr, nullptr, missing, "Failed to clear system proxy"},
      {"outlives its wait and lands later", nullptr, "5500", SystemPowerShellPath(),
       "ERROR: Proxy command failed with exit code: 259"},
      {"done", nullptr, nullptr, SystemPowerShellPath(), clearDone},
  };
  for (const Case& c : clears) {
    SCOPED_TRACE(c.description);
    orvanta_test::WriteProxySettings({1, kOurs, "<-loopback>"});
    orvanta_test::WriteFileBytes(saved_,
                                 "ProxyEnable absent\nProxyServer absent\nProxyOverride absent\n");
    orvanta_test::ScopedEnvironment exitCode("ORVANTA_STANDIN_PS_EXIT_CODE", c.exitCode);
    orvanta_test::ScopedEnvironment hang("ORVANTA_STANDIN_PS_HANG_MS", c.hangMs);
    log_.lines.clear();
    EXPECT_EQ(SystemProxy(log_.Sink(), kOurs, c.powerShell).Clear(), c.last == clearDone);
    EXPECT_EQ(log_.lines, (Lines{"Clearing system proxy", c.last}));
    EXPECT_EQ(Notices(), c.last == clearDone ? kNotices : "");
    EXPECT_TRUE(noPowerShellLeft());
    ExpectSettings(c.exitCode == nullptr && c.powerShell != missing
                       ? ProxySettings{0, "", ""}
                       : ProxySettings{1, kOurs, "<-loopback>"});
  }

  // A second set that outlives its wait, then the disconnect: the set is ended before the
  // user's values go back, or it would write ours over them a moment later.
  orvanta_test::WriteProxySettings({4, "sentinel:4", "sentinel"});
  ForgetEarlierSets();
  SystemProxy proxy(log_.Sink(), kOurs);
  ASSERT_TRUE(proxy.Set("127.0.0.1", 10809));
  {
    orvanta_test::ScopedEnvironment hang("ORVANTA_STANDIN_PS_SET_HANG_MS", "6500");
    EXPECT_FALSE(proxy.Set("127.0.0.1", 10809));
    EXPECT_TRUE(proxy.Clear());
  }
  EXPECT_EQ(log_.lines.back(), "Restored the proxy settings from before the connection");
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
  struct Step {
    const char* description;
    ProxySettings written;  // by another program, while connected
    Lines reported;
  };
  const std::vector<Step> steps = {
      {"another server", {1, "other.example:3128", "<-loopback>"}, {changed}},
      {"another again, still away from ours", {1, "third.example:1", "<local>"}, {}},
      {"back to ours", {1, kOurs, "<-loopback>"}, {}},
      {"turned off", {0, kOurs, "<-loopback>"}, {off}},
  };
  // The next connection starts afresh: its first change away is reported too, and its own
  // restore is not.
  const std::vector<Step> nextConnection = {steps[0], steps[2]};
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
      orvanta_test::WriteProxySettings(step.written);
      if (!step.reported.empty()) {
        EXPECT_TRUE(proxytest::PumpMessagesUntil([&] { return !log_.lines.empty(); }, 5000));
        std::printf("reported %llu ms after the change\n", GetTickCount64() - writtenAt);
      }
      settle();
      EXPECT_EQ(log_.lines, step.reported);
      log_.lines.clear();
    }
    // The disconnect's own write is never another program's, and the watch ends with it.
    EXPECT_TRUE(proxy.Clear());
    orvanta_test::WriteProxySettings({1, "after.example:1", ""});
    settle();
    EXPECT_EQ(log_.lines,
              (Lines{"Clearing system proxy",
                     connection == 0 ? kLeftAlone
                                     : "Restored the proxy settings from before the connection"}));
  }
}

TEST_F(SystemProxyTest, RecordOfASetLetsTheNextRunClearOnlyAProxyStillOurs) {
  const std::string& record = record_;
  orvanta_test::WriteProxySettings({0, "", ""});
  {
    // A restore the registry refuses falls back to the clear command; when that is refused
    // too, the record and the saved values stay for the next try and no program is told. The
    // next set keeps them while our values are still there; once the user has chosen anew,
    // that choice is what the disconnect puts back, never the stale values.
    const ProxySettings company{1, "corp-proxy.example:8080", "*.corp.example;<local>"};
    const ProxySettings chosenSince{1, "user-b.example:3128", "<local>"};
    for (const ProxySettings* then : {&company, &chosenSince}) {
      SCOPED_TRACE(then->server);
      orvanta_test::WriteProxySettings(company);
      ForgetEarlierSets();
      SystemProxy proxy(log_.Sink(), kOurs);
      ASSERT_TRUE(proxy.Set("127.0.0.1", 10809));
      Notices();
      {
        ReadOnlyInternetSettings locked;
        log_.lines.clear();
        EXPECT_FALSE(proxy.Clear());
      }
      EXPECT_EQ(log_.lines, (Lines{"Clearing system proxy",
                                   "ERROR: Failed to restore the proxy settings from before the "
                                   "connection. Error code: 5",
                                   "ERROR: Proxy command failed with exit code: 1"}));
      EXPECT_EQ(Notices(), "");
      EXPECT_TRUE(orvanta_test::FileExists(record) && orvanta_test::FileExists(saved_));
      ExpectSettings({1, kOurs, "<-loopback>"});
      if (then != &company) orvanta_test::WriteProxySettings(*then);
      ASSERT_TRUE(proxy.Set("127.0.0.1", 10809));
      log_.lines.clear();
      EXPECT_TRUE(proxy.Clear());
      EXPECT_EQ(log_.lines.back(), "Restored the proxy settings from before the connection");
      ExpectSettings(*then);
      EXPECT_TRUE(SetLeftoversGone());
    }
  }
  // What a new run finds at start-up, with or without the record of a run that ended unclean,
  // and with or without the user's values saved before its set (here: none of them present).
  struct Case {
    const char* description;
    bool recorded;
    bool saved;
    bool enableAsText;
    DWORD enable;
    const char* server;
    const char* bypass;
    bool cleared;
  };
  const std::vector<Case> cases = {
      {"still ours, nothing saved", true, false, false, 1, "127.0.0.1:10809", "<-loopback>", true},
      {"still ours, enable written as text", true, true, true, 1, "127.0.0.1:10809", "<-loopback>",
       true},
      {"ours, but no record: an ordinary start", false, true, false, 1, "127.0.0.1:10809",
       "<-loopback>", false},
      {"stale: cleared since", true, true, false, 0, "", "", false},
      {"foreign server", true, true, false, 1, "10.0.0.2:3128", "<-loopback>", false},
      {"a server that only begins with ours", true, true, false, 1, "127.0.0.1:108090",
       "<-loopback>", false},
      {"our port with another program's bypass list", true, true, false, 1, "127.0.0.1:10809",
       "*.corp.example;<local>", false},
      {"turned off by the user", true, true, false, 0, "127.0.0.1:10809", "<-loopback>", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    orvanta_test::WriteProxySettings({c.enable, c.server, c.bypass});
    if (c.enableAsText) {
      orvanta_test::WriteRawValue(orvanta_test::kInternetSettings, "ProxyEnable",
                                  orvanta_test::TextValue(L"1"));
    }
    if (c.recorded) orvanta_test::WriteFileBytes(record, "127.0.0.1:10809");
    if (c.saved) {
      orvanta_test::WriteFileBytes(
          saved_, "ProxyEnable absent\nProxyServer absent\nProxyOverride absent\n");
    }
    log_.lines.clear();
    SystemProxy proxy(log_.Sink(), kOurs);
    proxy.ClearLeftByEarlierRun();
    // Whatever happened, nothing of the earlier run is left for a later start to act on.
    EXPECT_TRUE(SetLeftoversGone());
    if (c.cleared) {
      EXPECT_EQ(log_.lines,
                (Lines{"Clearing system proxy",
                       c.saved ? "Restored the proxy settings from before the connection"
                               : "System proxy cleared successfully",
                       "Cleared the system proxy that an earlier run left set"}));
      ExpectSettings(c.saved ? ProxySettings{} : ProxySettings{0, "", ""});
    } else {
      EXPECT_EQ(log_.lines, Lines{});
      EXPECT_EQ(ReadProxySettings().server, c.server);
      EXPECT_EQ(ReadProxySettings().override_list, c.bypass);
    }
  }
}

}  // namespace

TEST_F(SystemProxyTest, TheUsersOwnValuesComeBackExactlyAfterAConnection) {
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
  const std::vector<Case> cases = {
      {"a company set-up", company, nullptr, company, nullptr},
      {"quotes, $, a backtick, %, Cyrillic", awkward, nullptr, awkward, nullptr},
      {"nothing set before", {absent, absent, absent}, nullptr, {absent, absent, absent}, nullptr},
      {"types and bytes as stored", types, nullptr, types, nullptr},
      {"a leftover of our own values", ours, nullptr, turnedOff, nullptr},
      {"changed by someone else while connected: it stands",
       company,
       L"other:3128",
       {ours[0], TextValue(L"other:3128"), ours[2]},
       nullptr},
      {"a cut-off saved file is replaced", company, nullptr, company, "ProxyEnable 4 0100"},
      {"a stale saved file without its record is replaced", company, nullptr, company,
       "ProxyEnable absent\nProxyServer absent\nProxyOverride absent\n"},
  };
  const char* names[] = {"ProxyEnable", "ProxyServer", "ProxyOverride"};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    ForgetEarlierSets();
    if (c.savedBefore != nullptr) {
      CreateDirectoryA(temp_.WorkFolder().c_str(), nullptr);
      orvanta_test::WriteFileBytes(saved_, c.savedBefore);
    }
    for (size_t i = 0; i < 3; ++i) {
      orvanta_test::WriteRawValue(orvanta_test::kInternetSettings, names[i], c.before[i]);
    }
    SystemProxy proxy(log_.Sink(), kOurs);
    ASSERT_TRUE(proxy.Set("127.0.0.1", 10809));
    // A number, whatever was there: clients read only that.
    EXPECT_TRUE(orvanta_test::ReadRawValue(orvanta_test::kInternetSettings, "ProxyEnable") ==
                DwordValue(1));
    if (c.changedMeanwhile != nullptr) {
      orvanta_test::WriteRawValue(orvanta_test::kInternetSettings, "ProxyServer",
                                  TextValue(c.changedMeanwhile));
    }
    log_.lines.clear();
    EXPECT_TRUE(proxy.Clear());
    EXPECT_EQ(log_.lines.back(), c.after == turnedOff ? "System proxy cleared successfully"
                                 : c.changedMeanwhile == nullptr
                                     ? "Restored the proxy settings from before the connection"
                                     : kLeftAlone);
    for (size_t i = 0; i < 3; ++i) {
      EXPECT_TRUE(orvanta_test::ReadRawValue(orvanta_test::kInternetSettings, names[i]) ==
                  c.after[i])
          << names[i];
    }
    EXPECT_TRUE(SetLeftoversGone());
  }
}

TEST(SavedProxySettingsTest, OnlyWhatSerializeMakesParses) {
  ::ProxySettings settings;
  settings.enable = {true, REG_DWORD, {1, 0, 0, 0}};
  settings.bypass = {true, REG_SZ, {'<', 0, 0, 0}};
  const std::string text = SerializeProxySettings(settings);
  EXPECT_EQ(text, "ProxyEnable 4 01000000\nProxyServer absent\nProxyOverride 1 3c000000\n");
  ::ProxySettings parsed;
  ASSERT_TRUE(ParseProxySettings(text, parsed));
  EXPECT_TRUE(parsed.enable == settings.enable && parsed.server == settings.server &&
              parsed.bypass == settings.bypass);
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
  };
  for (const auto& [description, input] : broken) {
    EXPECT_FALSE(ParseProxySettings(input, parsed)) << description;
  }
}
