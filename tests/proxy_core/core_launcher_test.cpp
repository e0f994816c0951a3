// Finding sing-box.exe and launching it, driven directly against the core stand-in, and the
// program named that holds the core's port (the end-to-end test reads the system's table).
#include "proxy_core/core_launcher.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "proxy_core/port_holder.h"
#include "support/wide_text.h"
#include "tests/proxy_core/proxy_test_support.h"

namespace {

using Lines = std::vector<std::string>;
using orvanta::Utf8FromWide;
using orvanta::WideFromUtf8;

class CoreLauncherTest : public proxytest::StandInTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(CreateDirectoryA(temp_.WorkFolder().c_str(), nullptr));
    files_.configPath = WideFromUtf8(temp_.WorkFolder() + "\\config.json");
    files_.logPath = WideFromUtf8(temp_.WorkFolder() + "\\sing-box.log");
    Config("{}");
  }
  void Config(const std::string& text) {
    orvanta_test::WriteFileBytes(Utf8FromWide(files_.configPath), text);
  }
  std::string LogFile() const { return Utf8FromWide(files_.logPath); }

  orvanta_test::ScopedTempFolder temp_{"launcher"};
  WorkingFiles files_;
  orvanta::UniqueHandle job_;
  proxytest::RecordedLog log_;
};

TEST_F(CoreLauncherTest, ExecutableIsFoundBesideTheHostOrInTheCurrentFolder) {
  const std::string beside = orvanta_test::ExecutableFolder() + "\\resources\\sing-box.exe";
  EXPECT_EQ(Utf8FromWide(GetSingBoxPath()), beside);
  const std::string current = temp_.Path() + "current folder";
  ASSERT_TRUE(CreateDirectoryA(current.c_str(), nullptr));
  orvanta_test::ScopedCurrentFolder inCurrent(current);
  const std::string fallback = current + "\\sing-box.exe";
  const std::string missing = temp_.Path() + "no such\\sing-box.exe";

  std::wstring executable = WideFromUtf8(beside);
  ASSERT_TRUE(ResolveSingBoxPath(executable, log_.Sink()));
  EXPECT_EQ(log_.lines, Lines{"Checking sing-box executable path: " + beside});

  log_.lines.clear();
  executable = WideFromUtf8(missing);
  EXPECT_FALSE(ResolveSingBoxPath(executable, log_.Sink()));
  EXPECT_EQ(log_.lines, (Lines{"Checking sing-box executable path: " + missing,
                               "ERROR: sing-box executable not found: " + missing,
                               "Trying alternative path: " + fallback,
                               "ERROR: sing-box executable not found in any location",
                               "sing-box.exe is missing: antivirus software may have removed it. "
                               "Restore it from quarantine or reinstall Orvanta."}));
  EXPECT_EQ(Utf8FromWide(executable), missing);

  ASSERT_TRUE(CopyFileA(beside.c_str(), fallback.c_str(), FALSE));
  log_.lines.clear();
  ASSERT_TRUE(ResolveSingBoxPath(executable, log_.Sink()));
  EXPECT_EQ(log_.lines,
            (Lines{"Checking sing-box executable path: " + missing,
                   "ERROR: sing-box executable not found: " + missing,
                   "Trying alternative path: " + fallback, "Found sing-box at: " + fallback}));
  EXPECT_EQ(Utf8FromWide(executable), fallback) << "the fallback is looked at first from now on";
}

TEST_F(CoreLauncherTest, CoreRunsInTheJobWithItsOutputAppendedToTheLog) {
  const std::wstring executable = GetSingBoxPath();
  const std::string config = temp_.WorkFolder() + "\\config.json";
  orvanta_test::WriteFileBytes(LogFile(), "from an earlier launch\n");
  // An inheritable handle of the host, as the UI runtime's sockets are: the core must not get it.
  SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
  orvanta::UniqueHandle hostHandle(CreateEventW(&inheritable, TRUE, FALSE, nullptr));
  ASSERT_TRUE(hostHandle);
  CoreProcess core;
  ASSERT_TRUE(LaunchCore(executable, files_, job_, core, log_.Sink()));
  EXPECT_EQ(
      log_.lines,
      (Lines{"Executing command: \"" + Utf8FromWide(executable) + "\" run -c \"" + config + "\"",
             "Creating sing-box process...",
             "SUCCESS: sing-box process started with PID: " + std::to_string(core.id),
             "sing-box process is running successfully"}));
  EXPECT_EQ(proxytest::CoreChildren(), std::vector<DWORD>{core.id});
  BOOL inJob = FALSE;
  ASSERT_TRUE(job_);
  ASSERT_TRUE(IsProcessInJob(core.handle.Get(), job_.Get(), &inJob));
  EXPECT_TRUE(inJob);
  // The core writes at its own pace; its report of inherited handles asks the Wine server about
  // every handle value, which takes seconds while the server is busy.
  const std::string written =
      "from an earlier launch\nsing-box stand-in: started with "
      "configuration " +
      config +
      "\r\nsing-box stand-in: in a job: yes; other inherited handles: "
      "none\r\n";
  EXPECT_TRUE(proxytest::PumpMessagesUntil(
      [&] { return orvanta_test::ReadFileBytes(LogFile()).size() >= written.size(); }, 60000));
  EXPECT_EQ(orvanta_test::ReadFileBytes(LogFile()).rfind(written, 0), 0u)
      << orvanta_test::ReadFileBytes(LogFile());

  // Closing the job ends the core, as the host's end does. Then no copy of the log handle is
  // left anywhere: the host closed its own right after the launch.
  job_.Reset();
  EXPECT_EQ(WaitForSingleObject(core.handle.Get(), 10000), WAIT_OBJECT_0);
  HANDLE exclusive = CreateFileA(LogFile().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_NE(exclusive, INVALID_HANDLE_VALUE);
  if (exclusive != INVALID_HANDLE_VALUE) CloseHandle(exclusive);
}

TEST_F(CoreLauncherTest, LaunchProblemsAreLoggedAndOnlySomeFailTheLaunch) {
  // A log file that cannot be opened sends the core's output to the host's own streams; a
  // job that refuses the core costs a warning. Neither stops the core.
  ASSERT_TRUE(CreateDirectoryA(LogFile().c_str(), nullptr));
  job_.Reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  CoreProcess core;
  ASSERT_TRUE(LaunchCore(GetSingBoxPath(), files_, job_, core, log_.Sink()));
  ASSERT_EQ(log_.lines.size(), 6u);
  EXPECT_EQ(log_.lines[1], "WARNING: Failed to open sing-box log file for redirection");
  EXPECT_EQ(
      log_.lines[3].rfind("WARNING: sing-box will not end together with the host. Error code: ", 0),
      0u)
      << log_.lines[3];
  EXPECT_EQ(log_.lines[5], "sing-box process is running successfully");
  TerminateProcess(core.handle.Get(), 0);
  WaitForSingleObject(core.handle.Get(), 5000);
  ASSERT_TRUE(RemoveDirectoryA(LogFile().c_str()));

  // A core that ends within its first second fails, and its handle is released at once. Its
  // last line of this launch is quoted without colour codes; an earlier launch's never is.
  job_.Reset();
  orvanta_test::WriteFileBytes(LogFile(), "an earlier launch's last line\n");
  struct Ending {
    const char* config;
    const char* exitCode;
    std::string said;  // empty: no quote
  };
  const std::vector<Ending> endings = {
      {R"({"standin": {"mode": "fatal"}})", "1",
       "FATAL[0000] start service: stand-in told to fail"},
      {R"({"standin": {"mode": "silent"}})", "3", ""},
  };
  CoreProcess ended;
  for (const Ending& e : endings) {
    SCOPED_TRACE(e.config);
    log_.lines.clear();
    Config(e.config);
    // Given all the time it may take to end on a loaded machine: it is judged when it ends.
    EXPECT_FALSE(LaunchCore(GetSingBoxPath(), files_, job_, ended, log_.Sink(), 120000));
    Lines expected = {std::string("ERROR: sing-box process exited immediately with code: ") +
                      e.exitCode};
    if (!e.said.empty()) expected.push_back("sing-box said: " + e.said);
    ASSERT_GE(log_.lines.size(), expected.size());
    EXPECT_EQ(Lines(log_.lines.end() - static_cast<long>(expected.size()), log_.lines.end()),
              expected);
    EXPECT_FALSE(ended.handle);
    EXPECT_EQ(ended.id, 0u);
  }

  // A file that is not a program: the error code and the system's text for it.
  log_.lines.clear();
  const std::string bogus = temp_.Path() + "sing-box.exe";
  orvanta_test::WriteFileBytes(bogus, "this is not a program");
  EXPECT_FALSE(LaunchCore(WideFromUtf8(bogus), files_, job_, ended, log_.Sink()));
  ASSERT_EQ(log_.lines.size(), 4u);
  const std::string prefix = "ERROR: Failed to start sing-box process. Error code: ";
  ASSERT_EQ(log_.lines[2].rfind(prefix, 0), 0u) << log_.lines[2];
  const std::string code = log_.lines[2].substr(prefix.size());
  EXPECT_EQ(code.find_first_not_of("0123456789"), std::string::npos) << code;
  EXPECT_NE(code[0], '0');
  EXPECT_GT(log_.lines[3].size(), std::string("Error details: ").size()) << log_.lines[3];
  EXPECT_EQ(log_.lines[3].rfind("Error details: ", 0), 0u);
  // The host's copy of the log handle is closed on this path too: the file can be deleted,
  // once Wine has let go of the copies of the cores that ended a moment ago.
  bool deleted = false;
  for (int attempt = 0; attempt < 200 && !deleted; ++attempt) {
    deleted = DeleteFileA(LogFile().c_str()) != 0;
    if (!deleted) Sleep(50);
  }
  EXPECT_TRUE(deleted) << GetLastError();
  EXPECT_TRUE(proxytest::CoreChildren().empty());
}

// An IPv6 address from its eight 16-bit groups.
ListenerAddress Ipv6(std::initializer_list<uint16_t> groups) {
  ListenerAddress address = {};
  size_t at = 0;
  for (uint16_t group : groups) {
    address[at++] = static_cast<uint8_t>(group >> 8);
    address[at++] = static_cast<uint8_t>(group);
  }
  return address;
}

TEST(PortHolderTest, TheProgramOnTheCorePortIsNamedOrCalledAnotherProgram) {
  // The host itself is process 4242 here, so this test's own process counts as another one.
  const DWORD self = GetCurrentProcessId();
  const std::string prefix = "WARNING: 127.0.0.1:10809 is already in use by ";
  const std::string named =
      prefix + "proxy_core_service_test.exe (PID " + std::to_string(self) + ")";
  const ListenerAddress loopback = MappedIpv4(0x7F000001);
  struct Case {
    const char* description;
    std::vector<TcpListener> listeners;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"on every address, its owner hidden (Wine reports PID 0)",
       {{MappedIpv4(0), 10809, 0}},
       prefix + "another program"},
      {"a process that has ended", {{loopback, 10809, 0xFFFFFFF0}}, prefix + "another program"},
      {"the host's own, another address, another port: the first that counts is named",
       {{loopback, 10809, 4242},
        {MappedIpv4(0xC0A80102), 10809, 0},
        {loopback, 10808, 0},
        {loopback, 10809, self},
        {MappedIpv4(0), 10809, 0}},
       named},
      {"IPv6 on every address, dual-stack as Go listens",
       {{Ipv6({0xfe80, 0, 0, 0, 0, 0, 0, 1}), 10809, 0}, {Ipv6({}), 10809, self}},
       named},
      {"IPv6 loopback", {{Ipv6({0, 0, 0, 0, 0, 0, 0, 1}), 10809, self}}, named},
      // A socket bound to it holds the IPv4 port.
      {"IPv4-mapped 127.0.0.1 from the IPv6 table",
       {{Ipv6({0, 0, 0, 0, 0, 0xffff, 0x7f00, 1}), 10809, self}},
       named},
      {"none that counts: another loopback, link-local, another mapped address, ::2",
       {{loopback, 10809, 4242},
        {MappedIpv4(0x7F000002), 10809, 0},
        {Ipv6({0xfe80, 0, 0, 0, 0, 0, 0, 1}), 10809, 0},
        {Ipv6({0, 0, 0, 0, 0, 0xffff, 0xc0a8, 0x0102}), 10809, 0},
        {Ipv6({0, 0, 0, 0, 0, 0, 0, 2}), 10809, 0},
        {Ipv6({}), 10808, 0}},
       ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PortInUseWarning(c.listeners, 10809, 4242), c.expected) << c.description;
  }
}

}  // namespace
