// The stand-ins must be as strict as the real programs, or a wrong command line or a broken
// configuration from the host would go unnoticed by every other test.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/unique_handle.h"
#include "tests/proxy_core/proxy_test_support.h"

namespace {

struct RunOutcome {
  bool started = false;
  bool stillRunning = false;  // after the grace period; then terminated by the test
  DWORD exitCode = 0;
  std::string errorText;
};

// Runs `commandLine` with standard error captured; a process still alive after `graceMs` is
// terminated and reported as still running.
RunOutcome RunProcess(const std::string& commandLine, DWORD graceMs) {
  RunOutcome run;
  SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) return run;
  orvanta::UniqueHandle reader(readEnd);
  orvanta::UniqueHandle writer(writeEnd);
  SetHandleInformation(reader.Get(), HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writer.Get();
  startup.hStdError = writer.Get();
  std::vector<char> command(commandLine.begin(), commandLine.end());
  command.push_back('\0');
  PROCESS_INFORMATION info = {};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                      nullptr, &startup, &info)) {
    return run;
  }
  orvanta::ProcessHandles child = orvanta::ProcessHandles::Adopt(info);
  writer.Reset();
  run.started = true;
  if (WaitForSingleObject(child.process.Get(), graceMs) == WAIT_TIMEOUT) {
    run.stillRunning = true;
    TerminateProcess(child.process.Get(), 0);
    WaitForSingleObject(child.process.Get(), 5000);
  }
  GetExitCodeProcess(child.process.Get(), &run.exitCode);
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(reader.Get(), buffer, sizeof(buffer), &got, nullptr) && got > 0) {
    run.errorText.append(buffer, got);
  }
  return run;
}

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

TEST(StandinsTest, SingBoxRunsOnlyWithExactArgumentsAndValidJson) {
  proxytest::ScopedTempFolder temp("standin core");
  const std::string core = Quoted(proxytest::ExecutableFolder() + "\\resources\\sing-box.exe");
  const std::string config = temp.Path() + "config.json";

  struct Case {
    const char* description;
    std::string content;
    bool runs;
  };
  const std::vector<Case> cases = {
      {"empty object", "{}", true},
      {"nested with escapes and CR LF",
       "{\r\n \"a\": [1, -2.5e3, true, null, \"x\\\"\\u00fc\\ud83d\\ude00\"],\r\n \"b\": {}\r\n}",
       true},
      {"empty file", "", false},
      {"trailing comma", "{\"a\": 1,}", false},
      {"single quotes", "{'a': 1}", false},
      {"unterminated string", "{\"a\": \"x}", false},
      {"text after the value", "{} {}", false},
      {"lone surrogate", "[\"\\ud800\"]", false},
      {"leading zero", "[01]", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    proxytest::WriteFileBytes(config, c.content);
    const RunOutcome run = RunProcess(core + " run -c " + Quoted(config), c.runs ? 800 : 5000);
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.stillRunning, c.runs) << run.errorText;
    if (!c.runs) {
      EXPECT_EQ(run.exitCode, 1u);
      EXPECT_NE(run.errorText.find("not valid JSON"), std::string::npos) << run.errorText;
    }
  }

  const RunOutcome missing =
      RunProcess(core + " run -c " + Quoted(temp.Path() + "absent.json"), 5000);
  EXPECT_FALSE(missing.stillRunning);
  EXPECT_EQ(missing.exitCode, 1u);
  EXPECT_NE(missing.errorText.find("cannot read configuration file"), std::string::npos);

  proxytest::WriteFileBytes(config, "{}");
  for (const std::string& args : {" run " + Quoted(config), " check -c " + Quoted(config),
                                  " run -c " + Quoted(config) + " extra"}) {
    SCOPED_TRACE(args);
    const RunOutcome run = RunProcess(core + args, 5000);
    EXPECT_FALSE(run.stillRunning);
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_NE(run.errorText.find("usage"), std::string::npos);
  }
}

TEST(StandinsTest, PowerShellAcceptsOnlyTheTwoProxyCommands) {
  proxytest::InternetSettingsGuard settings;
  proxytest::ScopedEnvironment noExitCode("ORVANTA_STANDIN_PS_EXIT_CODE", nullptr);
  proxytest::ScopedEnvironment noHang("ORVANTA_STANDIN_PS_HANG_MS", nullptr);
  const std::string ps = Quoted(proxytest::ExecutableFolder() + "\\powershell.exe");
  const std::string property =
      "Set-ItemProperty -Path 'HKCU:\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet "
      "Settings' ";
  const std::string set = "-Command \"" + property + "-Name ProxyEnable -Value 1; " + property +
                          "-Name ProxyServer -Value '10.1.2.3:8080'; " + property +
                          "-Name ProxyOverride -Value '<-loopback>'\"";
  const std::string clear = "-Command \"" + property + "-Name ProxyEnable -Value 0; " + property +
                            "-Name ProxyServer -Value ''; " + property +
                            "-Name ProxyOverride -Value ''\"";

  const proxytest::ProxySettings sentinel{9, "sentinel:9", "sentinel"};
  proxytest::WriteProxySettings(sentinel);
  for (const std::string& args :
       {set.substr(0, set.size() - 1), " " + set, set + " ", clear + ";",
        std::string("-command") + set.substr(8), std::string("-Command \"Get-ItemProperty\""),
        set.substr(0, set.find("10.1.2.3:8080")) + "10.1.2.3" +
            set.substr(set.find("10.1.2.3:8080") + 13)}) {
    SCOPED_TRACE(args);
    const RunOutcome run = RunProcess(ps + " " + args, 5000);
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_NE(run.errorText.find("unsupported command"), std::string::npos);
    const proxytest::ProxySettings after = proxytest::ReadProxySettings();
    EXPECT_EQ(after.enable, 9);
    EXPECT_EQ(after.server, "sentinel:9");
  }

  RunOutcome run = RunProcess(ps + " " + set, 5000);
  EXPECT_EQ(run.exitCode, 0u) << run.errorText;
  proxytest::ProxySettings after = proxytest::ReadProxySettings();
  EXPECT_EQ(after.enable, 1);
  EXPECT_EQ(after.server, "10.1.2.3:8080");
  EXPECT_EQ(after.override_list, "<-loopback>");

  {
    proxytest::ScopedEnvironment exitCode("ORVANTA_STANDIN_PS_EXIT_CODE", "7");
    run = RunProcess(ps + " " + clear, 5000);
    EXPECT_EQ(run.exitCode, 7u);
    EXPECT_EQ(proxytest::ReadProxySettings().enable, 1);
  }
  run = RunProcess(ps + " " + clear, 5000);
  EXPECT_EQ(run.exitCode, 0u) << run.errorText;
  after = proxytest::ReadProxySettings();
  EXPECT_EQ(after.enable, 0);
  EXPECT_EQ(after.server, "");
  EXPECT_EQ(after.override_list, "");
}

}  // namespace
