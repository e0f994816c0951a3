// The UI window against the stand-in runtime, plug-ins, core and PowerShell, laid out beside
// the test executable as in the product.
#include "runner/flutter_window.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "runner/console_control.h"
#include "tests/support/standin_runtime.h"
#include "tests/support/test_environment.h"

namespace {

using orvanta_test::ChannelUserData;
using orvanta_test::StateJson;

constexpr char kVpn[] = "v2ray.windows.channel";
const std::vector<uint8_t> kTrue = {0x00, 0x01};

// Registered before the host's console handler, so it runs only when that one passes an event
// on. The system's default handler, next in line otherwise, ends the process at once; under
// Wine with exit code 0, so a test process ended that way would even pass.
std::atomic<bool> controlEventPassedOn{false};
BOOL WINAPI RecordPassedOn(DWORD) {
  controlEventPassedOn = true;
  return TRUE;
}

class FlutterWindowTest : public ::testing::Test {
 protected:
  static RuntimeProject Project() {
    RuntimeProject project(L"data");
    project.entrypointArguments = {"--first", "with space"};
    return project;
  }
  // True when the host answers the call, encoded as the UI encodes it, with success true.
  static bool AnswersTrue(const std::vector<uint8_t>& call) {
    orvanta_test::Answer answer;
    orvanta_test::Deliver(kVpn, call, &answer);
    return answer.bytes == kTrue;
  }
  static bool CoreRunning() {
    return AnswersTrue({0x07, 0x09, 'i', 's', 'R', 'u', 'n', 'n', 'i', 'n', 'g', 0x00});
  }
  // Starts the core with the configuration "{}".
  static bool StartCore() {
    return AnswersTrue({0x07, 0x0a, 's',  't', 'a', 'r', 't', 'V', '2', 'R',  'a',  'y', 0x0d,
                        0x01, 0x07, 0x06, 'c', 'o', 'n', 'f', 'i', 'g', 0x07, 0x02, '{', '}'});
  }

  void SetUp() override {
    // The proxy is off before; a stop puts that back.
    orvanta_test::WriteProxySettings({0, "", ""});
  }

  orvanta_test::ScopedTempFolder temp_{"runner"};
  orvanta_test::InternetSettingsGuard settings_;
};

// Plug-in order, paths, arguments, showing after the first frame and both channels are checked
// end to end on the real executable; what only a test inside the process can see is here.
TEST_F(FlutterWindowTest, ViewFillsTheWindowFontsReloadAndTheEndOfSessionStopsTheServices) {
  FlutterWindow window(Project());
  ASSERT_TRUE(window.CreateHostWindow(L"Orvanta", {10, 10}, {420, 720}));
  HWND handle = window.GetHandle();
  HWND view = ::GetWindow(handle, GW_CHILD);
  ASSERT_NE(view, nullptr) << "the runtime's view was not attached";
  RECT client{};
  RECT viewClient{};
  ::GetClientRect(handle, &client);
  ::GetClientRect(view, &viewClient);
  EXPECT_EQ(viewClient.right, client.right);
  EXPECT_EQ(viewClient.bottom, client.bottom);

  // Fonts: the runtime sees the reload, then the message still gets the default handling.
  EXPECT_EQ(orvanta_test::JsonNumber(StateJson(), "font_reloads"), 0);
  ::SendMessageW(handle, WM_FONTCHANGE, 0, 0);
  EXPECT_EQ(orvanta_test::JsonNumber(StateJson(), "font_reloads"), 1);

  ASSERT_TRUE(StartCore()) << "the stand-in core did not start";
  // A cancelled end of session (FALSE) leaves the core alone.
  ::SendMessageW(handle, WM_QUERYENDSESSION, 0, 0);
  ::SendMessageW(handle, WM_ENDSESSION, FALSE, 0);
  EXPECT_TRUE(CoreRunning());
  EXPECT_EQ(orvanta_test::ReadProxySettings().enable, 1);
  ::SendMessageW(handle, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
  EXPECT_FALSE(CoreRunning()) << "core still running after the session";
  EXPECT_EQ(orvanta_test::ReadProxySettings().enable, 0) << "proxy left pointing at the core";
}

TEST_F(FlutterWindowTest, FailedViewControllerFailsCreationWithoutPluginsOrChannels) {
  orvanta_test::ScopedEnvironment fail("ORVANTA_STANDIN_FAIL_VIEW", "1");
  FlutterWindow window(Project());
  EXPECT_FALSE(window.CreateHostWindow(L"Orvanta", {10, 10}, {420, 720}));
  EXPECT_EQ(ChannelUserData(kVpn), nullptr);
  EXPECT_NE(StateJson().find("\"plugin_registrations\":[]"), std::string::npos);
}

// Runs the thread's messages until the quit message, for at most 10 s; false on the time-out.
bool PumpUntilQuit() {
  orvanta_test::PumpMessagesUntil([] { return false; }, 10000);
  MSG quit;
  return ::PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != 0;
}

// Notes ProxyEnable when the window is destroyed, which is when the runtime ends.
class ObservedWindow : public FlutterWindow {
 public:
  using FlutterWindow::FlutterWindow;
  long long proxyAtDestroy = -2;

 protected:
  LRESULT HandleMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam) override {
    if (message == WM_DESTROY) proxyAtDestroy = orvanta_test::ReadProxySettings().enable;
    return FlutterWindow::HandleMessage(window, message, wparam, lparam);
  }
};

TEST_F(FlutterWindowTest, ClosingEndsTheRuntimeFirstAndTheCoreOnlyWithTheObject) {
  auto window = std::make_unique<ObservedWindow>(Project());
  ASSERT_TRUE(window->CreateHostWindow(L"Orvanta", {10, 10}, {420, 720}));
  window->SetExitOnClose(true);
  ASSERT_TRUE(StartCore());

  ASSERT_TRUE(::PostMessageW(window->GetHandle(), WM_CLOSE, 0, 0));
  EXPECT_TRUE(PumpUntilQuit()) << "closing did not end the loop";
  EXPECT_EQ(window->GetHandle(), nullptr);
  EXPECT_EQ(ChannelUserData(kVpn), nullptr) << "runtime outlived the window";
  EXPECT_EQ(window->proxyAtDestroy, 1) << "the services must outlive the runtime";

  window.reset();
  EXPECT_EQ(orvanta_test::ReadProxySettings().enable, 0) << "destroying the window kept the proxy";
}

// What reaches the thread's queue is handled; nothing is waited for.
void PumpQueuedMessages() {
  MSG message;
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
}

// Ctrl+C and Ctrl+Break end the host only in a console of its own; a closing console always
// does, and only then does the handler hold the process until the teardown is over.
TEST_F(FlutterWindowTest, ConsoleEventsEndTheHostFromItsOwnConsoleOrAClosingOneOnly) {
  using Owner = ConsoleOwner;
  const struct {
    const char* description;
    DWORD event;
    Owner owner;
    bool endHost;
    bool waitForTeardown;
    BOOL handled;
  } cases[] = {
      {"Ctrl+C in its own console", CTRL_C_EVENT, Owner::kHost, true, false, TRUE},
      {"Ctrl+Break in its own console", CTRL_BREAK_EVENT, Owner::kHost, true, false, TRUE},
      {"Ctrl+C meant for another program, swallowed", CTRL_C_EVENT, Owner::kParent, false, false,
       TRUE},
      {"Ctrl+Break meant for another program, swallowed", CTRL_BREAK_EVENT, Owner::kParent, false,
       false, TRUE},
      {"its own console closes", CTRL_CLOSE_EVENT, Owner::kHost, true, true, TRUE},
      {"the parent's console closes", CTRL_CLOSE_EVENT, Owner::kParent, true, true, TRUE},
      {"log-off comes as WM_ENDSESSION", CTRL_LOGOFF_EVENT, Owner::kParent, false, false, FALSE},
      {"shutdown comes as WM_ENDSESSION", CTRL_SHUTDOWN_EVENT, Owner::kHost, false, false, FALSE},
  };
  for (const auto& c : cases) {
    const ConsoleEventResponse response = RespondToConsoleEvent(c.event, c.owner);
    EXPECT_EQ(response.endHost, c.endHost) << c.description;
    EXPECT_EQ(response.waitForTeardown, c.waitForTeardown) << c.description;
    EXPECT_EQ(response.handled, c.handled) << c.description;
  }

  // In the parent's console (Wine delivers no event from another process, so the handler is
  // called as the system would): the host keeps running, and so does the core.
  // Not ending the loop when it goes: a quit message left queued would end the next test's.
  auto window = std::make_unique<ObservedWindow>(Project());
  ASSERT_TRUE(window->CreateHostWindow(L"Orvanta", {10, 10}, {420, 720}));
  ASSERT_TRUE(StartCore());
  {
    ConsoleControl parents;
    parents.ForwardControlEvents(window->GetHandle(), FlutterWindow::EndHostMessage(),
                                 Owner::kParent);
    EXPECT_EQ(ConsoleControl::HandleEvent(CTRL_C_EVENT), TRUE);
    EXPECT_EQ(ConsoleControl::HandleEvent(CTRL_BREAK_EVENT), TRUE);
  }
  // With the plug-ins' own WM_APP + 1, posted when they registered.
  PumpQueuedMessages();
  ASSERT_TRUE(::IsWindow(window->GetHandle())) << "an event for another program ended the host";
  EXPECT_TRUE(CoreRunning());

  // A closing console: the handler holds the process (here for as long as two minutes)
  // until the teardown is over, which the owner's end says, then lets it go at once.
  auto closing = std::make_unique<ConsoleControl>(120000);
  closing->ForwardControlEvents(window->GetHandle(), FlutterWindow::EndHostMessage(),
                                Owner::kParent);
  std::future<BOOL> handled = std::async(std::launch::async, ConsoleControl::HandleEvent,
                                         static_cast<DWORD>(CTRL_CLOSE_EVENT));
  EXPECT_EQ(handled.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout)
      << "returned before the teardown";
  closing.reset();
  ASSERT_EQ(handled.wait_for(std::chrono::seconds(60)), std::future_status::ready)
      << "still waiting after the teardown";
  EXPECT_EQ(handled.get(), TRUE);
}

// Ctrl+C in a console of the host's own (the only console event Wine can raise) ends the host
// even under a UI that keeps its window open on close: the services stop, then the window goes,
// without the runtime seeing anything.
TEST_F(FlutterWindowTest, CtrlCStopsTheServicesThenEndsTheWindowThoughTheUiKeepsItOnClose) {
  orvanta_test::ScopedEnvironment keepsWindow("ORVANTA_STANDIN_HIDE_ON_CLOSE", "1");
  ::FreeConsole();
  ASSERT_TRUE(::AllocConsole());
  auto window = std::make_unique<ObservedWindow>(Project());
  ASSERT_TRUE(window->CreateHostWindow(L"Orvanta", {10, 10}, {420, 720}));
  window->SetExitOnClose(true);
  ASSERT_TRUE(StartCore());
  ::SendMessageW(window->GetHandle(), WM_CLOSE, 0, 0);
  ASSERT_TRUE(::IsWindow(window->GetHandle())) << "the UI was to keep its window on close";

  ASSERT_TRUE(::SetConsoleCtrlHandler(RecordPassedOn, TRUE));
  auto console = std::make_unique<ConsoleControl>();
  console->ForwardControlEvents(window->GetHandle(), FlutterWindow::EndHostMessage(),
                                ConsoleOwner::kHost);
  ASSERT_TRUE(::GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0));
  EXPECT_TRUE(PumpUntilQuit()) << "Ctrl+C did not end the loop";
  // Only now: a handler that passed the event on calls the next one right after it posted,
  // long before the window is gone.
  EXPECT_FALSE(controlEventPassedOn) << "Ctrl+C went on to the handler that ends the process";
  EXPECT_EQ(window->GetHandle(), nullptr);
  EXPECT_EQ(ChannelUserData(kVpn), nullptr) << "runtime outlived the window";
  EXPECT_EQ(window->proxyAtDestroy, 0) << "the proxy was still set when the window went";

  // The host's handler goes with its owner: a Ctrl+C afterwards reaches the one before it.
  window.reset();
  console.reset();
  ASSERT_TRUE(::GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0));
  EXPECT_TRUE(orvanta_test::PumpMessagesUntil([] { return controlEventPassedOn.load(); }, 10000));
  ::SetConsoleCtrlHandler(RecordPassedOn, FALSE);
  ::FreeConsole();
}

}  // namespace
