// The UI window against the stand-in runtime, plug-ins, core and PowerShell, laid out beside
// the test executable as in the product.
#include "runner/flutter_window.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tests/support/standin_runtime.h"
#include "tests/support/test_environment.h"

namespace {

using flutter::EncodableMap;
using flutter::EncodableValue;
using orvanta_test::CallMethod;
using orvanta_test::ChannelUserData;
using orvanta_test::PumpUntil;
using orvanta_test::StateJson;

constexpr char kVpn[] = "v2ray.windows.channel";
constexpr char kSpeed[] = "network_speed_channel";

class FlutterWindowTest : public ::testing::Test {
 protected:
  static RuntimeProject Project() {
    RuntimeProject project(L"data");
    project.entrypointArguments = {"--first", "with space"};
    return project;
  }
  // True or false as the host answered "isRunning"; anything else fails the caller.
  static bool CoreRunning() {
    const orvanta_test::MethodAnswer answer = CallMethod(kVpn, "isRunning");
    EXPECT_EQ(answer.kind, "success");
    const bool* running = std::get_if<bool>(&answer.value);
    return running != nullptr && *running;
  }
  static bool StartCore() {
    const orvanta_test::MethodAnswer answer = CallMethod(
        kVpn, "startV2Ray", EncodableMap{{EncodableValue("config"), EncodableValue("{}")}});
    return answer.kind == "success" && std::get<bool>(answer.value);
  }

  orvanta_test::ScopedTempFolder temp_{"runner"};
  orvanta_test::InternetSettingsGuard settings_;
};

TEST_F(FlutterWindowTest, CreationRegistersPluginsInOrderAndChannelsAndShowsOnFirstFrame) {
  FlutterWindow window(Project());
  ASSERT_TRUE(window.CreateHostWindow(L"Orvanta", {10, 10}, {420, 720}));
  HWND handle = window.GetHandle();
  ASSERT_NE(handle, nullptr);
  EXPECT_FALSE(::IsWindowVisible(handle)) << "visible before the first frame";

  const std::string state = StateJson();
  const char* plugins[][2] = {{"connectivity_plus_plugin.dll", "ConnectivityPlusWindowsPlugin"},
                              {"screen_retriever_plugin.dll", "ScreenRetrieverPlugin"},
                              {"system_tray_plugin.dll", "SystemTrayPlugin"},
                              {"url_launcher_windows_plugin.dll", "UrlLauncherWindows"},
                              {"window_manager_plugin.dll", "WindowManagerPlugin"}};
  size_t previousLibrary = 0;
  size_t previousRegistrar = 0;
  for (const auto& plugin : plugins) {
    const size_t library = state.find(std::string("\"library\":\"") + plugin[0] + "\"");
    const size_t registrar = state.find(std::string("\"name\":\"") + plugin[1] + "\"");
    ASSERT_NE(library, std::string::npos) << plugin[0] << " not registered: " << state;
    ASSERT_NE(registrar, std::string::npos) << plugin[1] << " never asked for: " << state;
    EXPECT_GT(library, previousLibrary) << plugin[0] << " out of order";
    EXPECT_GT(registrar, previousRegistrar) << plugin[1] << " out of order";
    previousLibrary = library;
    previousRegistrar = registrar;
  }
  EXPECT_NE(state.find("\"arguments\":[\"--first\",\"with space\"]"), std::string::npos) << state;
  EXPECT_NE(state.find("\"assets_path\":\"data\\\\flutter_assets\""), std::string::npos) << state;

  // The view fills the client area of the window.
  HWND view = ::GetWindow(handle, GW_CHILD);
  ASSERT_NE(view, nullptr) << "the runtime's view was not attached";
  RECT client{};
  RECT viewClient{};
  ::GetClientRect(handle, &client);
  ::GetClientRect(view, &viewClient);
  EXPECT_EQ(viewClient.right, client.right);
  EXPECT_EQ(viewClient.bottom, client.bottom);

  EXPECT_TRUE(PumpUntil([&] { return ::IsWindowVisible(handle) != FALSE; }))
      << "never shown after the first frame";
  EXPECT_FALSE(::IsIconic(handle) || ::IsZoomed(handle));

  // Both channels answer through their handlers.
  EXPECT_FALSE(CoreRunning());
  EXPECT_EQ(CallMethod(kVpn, "noSuchMethod").errorCode, "INVALID_METHOD");
  EXPECT_EQ(CallMethod(kSpeed, "initNetworkSpeed").kind, "success");

  // Fonts: the runtime sees the reload, then the message still gets the default handling.
  EXPECT_EQ(orvanta_test::JsonNumber(StateJson(), "font_reloads"), 0);
  ::SendMessageW(handle, WM_FONTCHANGE, 0, 0);
  EXPECT_EQ(orvanta_test::JsonNumber(StateJson(), "font_reloads"), 1);
}

TEST_F(FlutterWindowTest, FailedViewControllerFailsCreationWithoutPluginsOrChannels) {
  orvanta_test::ScopedEnvironment fail("ORVANTA_STANDIN_FAIL_VIEW", "1");
  FlutterWindow window(Project());
  EXPECT_FALSE(window.CreateHostWindow(L"Orvanta", {10, 10}, {420, 720}));
  EXPECT_EQ(ChannelUserData(kVpn), nullptr);
  EXPECT_EQ(ChannelUserData(kSpeed), nullptr);
  EXPECT_NE(StateJson().find("\"plugin_registrations\":[]"), std::string::npos);
}

TEST_F(FlutterWindowTest, EndOfSessionStopsTheCoreAndClearsTheProxy) {
  FlutterWindow window(Project());
  ASSERT_TRUE(window.CreateHostWindow(L"Orvanta", {10, 10}, {420, 720}));
  ASSERT_TRUE(StartCore()) << "the stand-in core did not start";
  EXPECT_EQ(orvanta_test::ReadProxySettings().enable, 1);

  // A cancelled end of session (FALSE) leaves the core alone.
  ::SendMessageW(window.GetHandle(), WM_QUERYENDSESSION, 0, 0);
  ::SendMessageW(window.GetHandle(), WM_ENDSESSION, FALSE, 0);
  EXPECT_TRUE(CoreRunning());
  EXPECT_EQ(orvanta_test::ReadProxySettings().enable, 1);

  ::SendMessageW(window.GetHandle(), WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
  EXPECT_FALSE(CoreRunning()) << "core still running after the session";
  EXPECT_EQ(orvanta_test::ReadProxySettings().enable, 0) << "proxy left pointing at the core";
}

TEST_F(FlutterWindowTest, ClosingEndsTheRuntimeFirstAndTheCoreOnlyWithTheObject) {
  auto window = std::make_unique<FlutterWindow>(Project());
  ASSERT_TRUE(window->CreateHostWindow(L"Orvanta", {10, 10}, {420, 720}));
  window->SetExitOnClose(true);
  ASSERT_TRUE(StartCore());

  ::SendMessageW(window->GetHandle(), WM_CLOSE, 0, 0);
  EXPECT_EQ(window->GetHandle(), nullptr);
  MSG quit{};
  EXPECT_TRUE(::PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(ChannelUserData(kVpn), nullptr) << "runtime outlived the window";
  EXPECT_EQ(orvanta_test::ReadProxySettings().enable, 1) << "the services must outlive the runtime";

  window.reset();
  EXPECT_EQ(orvanta_test::ReadProxySettings().enable, 0) << "destroying the window kept the proxy";
}

}  // namespace
