// SingBoxService through its public operations: the states, the exact log of a whole
// session, and what a stop or the service's end leaves behind.
#include "proxy_core/sing_box_service.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "tests/proxy_core/proxy_test_support.h"
#include "tests/support/stream_capture.h"

namespace {

using proxytest::CoreChildren;
using proxytest::Messages;
using proxytest::MessagesFrom;
using Lines = std::vector<std::string>;

constexpr char kConfig[] = "{\"log\": {\"level\": \"info\"}}";

class SingBoxServiceTest : public proxytest::StandInTest {
 protected:
  orvanta_test::ScopedTempFolder temp_{"service"};
};

// Opens the only running core for waiting on it, so its end can be checked without races.
HANDLE OpenOnlyCore(DWORD& pid) {
  const std::vector<DWORD> cores = CoreChildren();
  if (cores.size() != 1) return nullptr;
  pid = cores[0];
  return OpenProcess(SYNCHRONIZE, FALSE, pid);
}

TEST_F(SingBoxServiceTest, StartRunStopRestartWalksEveryStateWithExactLog) {
  orvanta_test::WriteProxySettings({0, "", ""});
  SingBoxService service;
  const std::string configPath = temp_.WorkFolder() + "\\config.json";

  // Idle -> Running. Standard output carries the same lines with the prefix.
  StreamCapture out(std::cout);
  ASSERT_TRUE(service.Start(kConfig));
  DWORD pid = 0;
  HANDLE core = OpenOnlyCore(pid);
  ASSERT_NE(core, nullptr);
  // The parts' own lines are checked where the parts are tested; here, that the service runs
  // them in order between its own lines.
  const Lines started = MessagesFrom(service.GetLogs(), 1);
  const Lines order = {"Starting sing-box...",
                       "sing-box config created: " + configPath,
                       "SUCCESS: sing-box process started with PID: " + std::to_string(pid),
                       "sing-box process is running successfully",
                       "sing-box started successfully",
                       "SUCCESS: System proxy set successfully to 127.0.0.1:10809",
                       "System proxy configured successfully"};
  auto at = started.begin();
  for (const std::string& line : order) {
    at = std::find(at, started.end(), line);
    ASSERT_NE(at, started.end()) << "missing or out of order: " << line;
  }
  EXPECT_EQ(started.front(), order.front());
  EXPECT_EQ(started.back(), order.back());
  const Lines outLines = out.Lines();
  ASSERT_EQ(outLines.size(), started.size());
  for (size_t i = 0; i < outLines.size(); ++i) {
    EXPECT_EQ(outLines[i].rfind("SingBoxService: [", 0), 0u);
    EXPECT_EQ(outLines[i].substr(outLines[i].find("] ") + 2), started[i]);
  }
  EXPECT_TRUE(service.IsRunning());
  EXPECT_EQ(orvanta_test::ReadProxySettings().server, "127.0.0.1:10809");

  // Start while started: one line, nothing rewritten, even with another configuration.
  size_t mark = Messages(service.GetLogs()).size();
  EXPECT_TRUE(service.Start("{\"other\": true}"));
  EXPECT_EQ(MessagesFrom(service.GetLogs(), mark), Lines{"sing-box is already running"});
  EXPECT_EQ(orvanta_test::ReadFileBytes(configPath), kConfig);

  // The core ends by itself: its end reaches the message loop without any call, its last line
  // is quoted, the proxy is cleared at once and the service counts as stopped.
  const std::string header = "\n----- sing-box stdout/stderr -----\n";
  const std::string serving = "sing-box stand-in: serving 0 inbound(s)";
  auto coresServing = [&] {
    const std::string logs = service.GetLogs();
    size_t count = 0;
    for (size_t found = logs.find(serving, logs.find(header)); found != std::string::npos;
         found = logs.find(serving, found + 1)) {
      ++count;
    }
    return count;
  };
  // The core writes at its own pace: it serves only after its report of inherited handles,
  // which asks the Wine server about every handle value and takes seconds while it is busy.
  ASSERT_TRUE(proxytest::PumpMessagesUntil([&] { return coresServing() == 1; }, 60000));
  ASSERT_TRUE(proxytest::KillProcess(pid));  // exit code 9
  CloseHandle(core);
  EXPECT_FALSE(service.IsRunning()) << "ended, though its notice is not handled yet";
  // The clear puts back what the user had before the set.
  const std::string restored = "Restored the proxy settings from before the connection";
  const Lines died = {"sing-box exited unexpectedly with exit code 9", "sing-box said: " + serving,
                      "Clearing system proxy", restored};
  EXPECT_TRUE(proxytest::PumpMessagesUntil(
      [&] { return Messages(service.GetLogs()).size() >= mark + 1 + died.size(); }, 10000));
  EXPECT_EQ(MessagesFrom(service.GetLogs(), mark + 1), died);
  EXPECT_EQ(orvanta_test::ReadProxySettings().server, "");
  EXPECT_FALSE(service.IsRunning());
  mark = Messages(service.GetLogs()).size();
  EXPECT_TRUE(service.Stop());
  EXPECT_EQ(Messages(service.GetLogs()).size(), mark) << "Stop after the core's end";

  // Started afresh; the core log keeps the output of both launches.
  ASSERT_TRUE(service.Start(kConfig));
  EXPECT_EQ(MessagesFrom(service.GetLogs(), mark).front(), "Starting sing-box...");
  core = OpenOnlyCore(pid);
  ASSERT_NE(core, nullptr);
  EXPECT_TRUE(proxytest::PumpMessagesUntil([&] { return coresServing() == 2; }, 60000))
      << service.GetLogs();

  // A core that ended before its notice was handled: Start handles the end first, quoting the
  // end of the file, then starts afresh over a large core log, which the launch moves aside.
  // The late notice changes nothing.
  ASSERT_TRUE(proxytest::KillProcess(pid));
  CloseHandle(core);
  const std::string coreLog = temp_.WorkFolder() + "\\sing-box.log";
  proxytest::WriteSparseFile(coreLog, 16 * 1024 * 1024 + 1, "\nlarge\n");
  mark = Messages(service.GetLogs()).size();
  ASSERT_TRUE(service.Start(kConfig));
  const Lines restarted = MessagesFrom(service.GetLogs(), mark);
  ASSERT_GT(restarted.size(), died.size() + 1);
  EXPECT_EQ(Lines(restarted.begin(), restarted.begin() + 5),
            (Lines{died[0], "sing-box said: large", died[2], died[3], "Starting sing-box..."}));
  EXPECT_NE(std::find(restarted.begin(), restarted.end(),
                      "Moved sing-box log of 16777217 bytes aside to " + temp_.WorkFolder() +
                          "\\sing-box.old.log"),
            restarted.end());
  EXPECT_EQ(restarted.back(), "System proxy configured successfully");
  mark = Messages(service.GetLogs()).size();
  proxytest::PumpMessagesUntil([] { return false; }, 300);
  EXPECT_EQ(Messages(service.GetLogs()).size(), mark) << "a late notice of the earlier core";
  EXPECT_TRUE(service.IsRunning());

  // Stop clears the proxy before terminating, and returns only once the core has ended.
  core = OpenOnlyCore(pid);
  ASSERT_NE(core, nullptr);
  EXPECT_TRUE(service.Stop());
  EXPECT_EQ(MessagesFrom(service.GetLogs(), mark),
            (Lines{"Stopping sing-box...", "Clearing system proxy", restored,
                   "sing-box process terminated", "sing-box stopped"}));
  EXPECT_EQ(orvanta_test::ReadProxySettings().server, "");
  EXPECT_EQ(WaitForSingleObject(core, 0), WAIT_OBJECT_0);
  CloseHandle(core);
}

TEST_F(SingBoxServiceTest, FailedLaunchOrProxyDecideTheStartAsSpecified) {
  const orvanta_test::ProxySettings sentinel{5, "untouched:1", "untouched"};
  orvanta_test::WriteProxySettings(sentinel);
  StreamCapture out(std::cout);
  SingBoxService service;
  // "[<ms>] SingBoxService initialized\n" and nothing else: no core log section, and an idle
  // Stop logs nothing.
  EXPECT_TRUE(service.Stop());
  const std::string fresh = service.GetLogs();
  EXPECT_EQ(fresh.front(), '[');
  EXPECT_EQ(fresh.substr(fresh.find_first_not_of("0123456789", 1)),
            "] SingBoxService initialized\n");
  EXPECT_EQ(out.Text(), "SingBoxService: " + fresh);
  EXPECT_TRUE(out.AllFlushed());
  // A core that rejects its configuration: the start fails, nothing runs, the proxy is left.
  // The text is not even UTF-8, yet the log that quotes it is. (Judged when the core ends,
  // however long a loaded machine takes to start and end it.)
  SingBoxService patient(ServiceWaits{120000, ProxyCommandWaits()});
  EXPECT_FALSE(patient.Start("this is not JSON \xFF"));
  EXPECT_NE(patient.GetLogs().find("] Config preview: this is not JSON \xEF\xBF\xBD...\n"),
            std::string::npos);
  Lines messages = Messages(patient.GetLogs());
  ASSERT_GE(messages.size(), 3u);
  EXPECT_EQ(Lines(messages.end() - 3, messages.end()),
            (Lines{"ERROR: sing-box process exited immediately with code: 1",
                   "sing-box said: sing-box stand-in: FATAL: configuration is not valid JSON: "
                   "invalid literal at byte 1",
                   "Failed to start sing-box process"}));
  EXPECT_FALSE(patient.IsRunning());
  EXPECT_TRUE(CoreChildren().empty());
  EXPECT_EQ(orvanta_test::ReadProxySettings().server, "untouched:1");
  size_t mark = Messages(patient.GetLogs()).size();
  EXPECT_TRUE(patient.Stop());
  EXPECT_EQ(Messages(patient.GetLogs()).size(), mark) << "Stop on a service never started";

  // A failing proxy command: the core runs on with a warning. The user's values were never
  // replaced, so Stop leaves them.
  orvanta_test::ScopedEnvironment exitCode("ORVANTA_STANDIN_PS_EXIT_CODE", "3");
  EXPECT_TRUE(service.Start("{}"));
  messages = Messages(service.GetLogs());
  EXPECT_EQ(messages.back(), "WARNING: Failed to configure system proxy");
  EXPECT_TRUE(service.IsRunning());
  mark = Messages(service.GetLogs()).size();
  EXPECT_TRUE(service.Stop());
  EXPECT_TRUE(service.Stop()) << "a second Stop has nothing to do";
  EXPECT_EQ(MessagesFrom(service.GetLogs(), mark),
            (Lines{"Stopping sing-box...", "Clearing system proxy",
                   "System proxy not set by Orvanta; left unchanged", "sing-box process terminated",
                   "sing-box stopped"}));
  EXPECT_TRUE(CoreChildren().empty());
  EXPECT_EQ(orvanta_test::ReadProxySettings().server, "untouched:1");
}

// A Stop whose restore the registry refuses still ends the core; the service's end, idle by
// then, tries the restore once more.
TEST_F(SingBoxServiceTest, TheEndOfAServiceRetriesARestoreThatWasRefused) {
  const orvanta_test::ProxySettings company{1, "corp-proxy.example:8080", "<local>"};
  orvanta_test::WriteProxySettings(company);
  auto service = std::make_unique<SingBoxService>();
  ASSERT_TRUE(service->Start(kConfig));
  {
    proxytest::LockedInternetSettings locked;
    EXPECT_TRUE(service->Stop());
  }
  EXPECT_TRUE(CoreChildren().empty());
  EXPECT_EQ(orvanta_test::ReadProxySettings().server, "127.0.0.1:10809");
  StreamCapture out(std::cout);
  service.reset();
  EXPECT_NE(out.Text().find("] Restored the proxy settings from before the connection\n"),
            std::string::npos)
      << out.Text();
  EXPECT_EQ(orvanta_test::ReadProxySettings().server, company.server);
  EXPECT_EQ(orvanta_test::ReadProxySettings().enable, company.enable);
}

}  // namespace
