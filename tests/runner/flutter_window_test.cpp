// The UI window against the stand-in runtime, the stand-in plug-ins, the stand-in core and the
// stand-in PowerShell, all beside the test executable as in the product's layout.
#include "runner/flutter_window.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "messaging/method_call.h"
#include "messaging/method_result.h"
#include "messaging/standard_method_codec.h"
#include "standins/flutter_windows/standin_hooks.h"

namespace {

using flutter::EncodableMap;
using flutter::EncodableValue;

constexpr wchar_t kInternetSettings[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

template <typename Function>
Function Hook(const char* name) {
  HMODULE runtime = ::GetModuleHandleA("flutter_windows.dll");
  if (runtime == nullptr) return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(runtime, name)));
}

std::string RuntimeState() {
  auto describe = Hook<OrvantaStandinDescribeStateFn>("OrvantaStandinDescribeState");
  if (describe == nullptr) return std::string();
  std::string state(describe(nullptr, 0), '\0');
  describe(&state[0], state.size());
  return state;
}

bool ChannelRegistered(const char* channel) {
  auto user_data = Hook<OrvantaStandinChannelUserDataFn>("OrvantaStandinChannelUserData");
  return user_data != nullptr && user_data(channel) != nullptr;
}

// What the host answered to one call, decoded with the same codec the UI uses.
struct Answer {
  bool delivered = false;
  bool answered = false;
  std::string kind;  // "success", "error" or "not implemented"
  EncodableValue value;
  std::string errorCode;
};

class CapturingResult : public flutter::MethodResult<EncodableValue> {
 public:
  explicit CapturingResult(Answer* answer) : answer_(answer) {}

 protected:
  void DeliverSuccess(const EncodableValue* result) override {
    answer_->kind = "success";
    if (result != nullptr) answer_->value = *result;
  }
  void DeliverError(const std::string& code, const std::string&, const EncodableValue*) override {
    answer_->kind = "error";
    answer_->errorCode = code;
  }
  void DeliverNotImplemented() override { answer_->kind = "not implemented"; }

 private:
  Answer* answer_;
};

void OnResponse(const uint8_t* data, size_t size, void* user_data) {
  auto* answer = static_cast<Answer*>(user_data);
  answer->answered = true;
  CapturingResult result(answer);
  if (!flutter::StandardMethodCodec::SharedInstance().DecodeReply(data, size, &result)) {
    answer->kind = "undecodable";
  }
}

Answer Call(const char* channel, const std::string& method,
            std::unique_ptr<EncodableValue> arguments = nullptr) {
  Answer answer;
  auto deliver = Hook<OrvantaStandinDeliverMessageFn>("OrvantaStandinDeliverMessage");
  if (deliver == nullptr) return answer;
  flutter::MethodCall<EncodableValue> call(method, std::move(arguments));
  std::unique_ptr<std::vector<uint8_t>> bytes =
      flutter::StandardMethodCodec::SharedInstance().EncodeCall(call);
  answer.delivered = deliver(channel, bytes->data(), bytes->size(), OnResponse, &answer) == 0;
  return answer;
}

std::optional<bool> AsBool(const EncodableValue& value) {
  const bool* flag = std::get_if<bool>(&value);
  if (flag == nullptr) return std::nullopt;
  return *flag;
}

std::optional<bool> IsRunning() {
  Answer answer = Call("v2ray.windows.channel", "isRunning");
  if (!answer.answered || answer.kind != "success") return std::nullopt;
  return AsBool(answer.value);
}

std::optional<DWORD> ProxyEnable() {
  DWORD value = 0;
  DWORD size = sizeof(value);
  if (::RegGetValueW(HKEY_CURRENT_USER, kInternetSettings, L"ProxyEnable", RRF_RT_REG_DWORD,
                     nullptr, &value, &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return value;
}

// Puts the registry's proxy values back as they were, and gives the services a temporary
// folder of the test's own (GetTempPath ignores the Linux TMP under Wine).
class FlutterWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char base[MAX_PATH] = {};
    ASSERT_NE(::GetTempPathA(MAX_PATH, base), 0u);
    tempDir_ = std::string(base) + "orvanta_runner_test_" + std::to_string(::GetCurrentProcessId());
    ::CreateDirectoryA(tempDir_.c_str(), nullptr);
    ::GetEnvironmentVariableA("TMP", savedTmp_, MAX_PATH);
    ASSERT_TRUE(::SetEnvironmentVariableA("TMP", tempDir_.c_str()));
    for (const wchar_t* name : {L"ProxyEnable", L"ProxyServer", L"ProxyOverride"}) {
      Saved value{name, {}, 0, false};
      value.present = ReadRaw(name, &value.data, &value.type);
      saved_.push_back(std::move(value));
    }
  }

  void TearDown() override {
    ::SetEnvironmentVariableA("ORVANTA_STANDIN_FAIL_VIEW", nullptr);
    ::SetEnvironmentVariableA("TMP", savedTmp_[0] != '\0' ? savedTmp_ : nullptr);
    for (const Saved& value : saved_) {
      if (value.present) {
        ::RegSetKeyValueW(HKEY_CURRENT_USER, kInternetSettings, value.name, value.type,
                          value.data.data(), static_cast<DWORD>(value.data.size()));
      } else {
        ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kInternetSettings, value.name);
      }
    }
    const std::string orvanta = tempDir_ + "\\Orvanta";
    ::DeleteFileA((orvanta + "\\config.json").c_str());
    ::DeleteFileA((orvanta + "\\sing-box.log").c_str());
    ::RemoveDirectoryA(orvanta.c_str());
    ::RemoveDirectoryA(tempDir_.c_str());
  }

  // Runs the thread's messages until `done` holds or a generous bound passes.
  template <typename Predicate>
  static bool PumpUntil(Predicate done) {
    const ULONGLONG give_up = ::GetTickCount64() + 20000;
    while (!done()) {
      if (::GetTickCount64() > give_up) return false;
      MSG message;
      while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
      }
      ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    return true;
  }

  static RuntimeProject Project() {
    RuntimeProject project(L"data");
    project.entrypointArguments = {"--first", "with space"};
    return project;
  }

 private:
  struct Saved {
    const wchar_t* name;
    std::vector<BYTE> data;
    DWORD type;
    bool present;
  };

  static bool ReadRaw(const wchar_t* name, std::vector<BYTE>* data, DWORD* type) {
    DWORD size = 0;
    if (::RegGetValueW(HKEY_CURRENT_USER, kInternetSettings, name, RRF_RT_ANY, type, nullptr,
                       &size) != ERROR_SUCCESS) {
      return false;
    }
    data->resize(size);
    return ::RegGetValueW(HKEY_CURRENT_USER, kInternetSettings, name, RRF_RT_ANY, type,
                          data->data(), &size) == ERROR_SUCCESS;
  }

  std::string tempDir_;
  char savedTmp_[MAX_PATH] = {};
  std::vector<Saved> saved_;
};

TEST_F(FlutterWindowTest, CreationRegistersPluginsInOrderAndChannelsAndShowsOnFirstFrame) {
  FlutterWindow window(Project());
  ASSERT_TRUE(window.CreateHostWindow(L"Orvanta", {10, 10}, {420, 720}));
  HWND handle = window.GetHandle();
  ASSERT_NE(handle, nullptr);
  EXPECT_FALSE(::IsWindowVisible(handle)) << "visible before the first frame";

  const std::string state = RuntimeState();
  ASSERT_FALSE(state.empty()) << "the stand-in runtime is not loaded";
  const char* libraries[] = {"connectivity_plus_plugin.dll", "screen_retriever_plugin.dll",
                             "system_tray_plugin.dll", "url_launcher_windows_plugin.dll",
                             "window_manager_plugin.dll"};
  const char* registrars[] = {"ConnectivityPlusWindowsPlugin", "ScreenRetrieverPlugin",
                              "SystemTrayPlugin", "UrlLauncherWindows", "WindowManagerPlugin"};
  size_t previous_library = 0;
  size_t previous_registrar = 0;
  for (size_t i = 0; i < 5; ++i) {
    const size_t library = state.find(std::string("\"library\":\"") + libraries[i] + "\"");
    ASSERT_NE(library, std::string::npos) << libraries[i] << " not registered: " << state;
    EXPECT_GT(library, previous_library) << libraries[i] << " out of order";
    previous_library = library;
    const size_t registrar = state.find(std::string("\"name\":\"") + registrars[i] + "\"");
    ASSERT_NE(registrar, std::string::npos) << registrars[i] << " never asked for: " << state;
    EXPECT_GT(registrar, previous_registrar) << registrars[i] << " out of order";
    previous_registrar = registrar;
  }
  EXPECT_NE(state.find("\"arguments\":[\"--first\",\"with space\"]"), std::string::npos) << state;
  EXPECT_NE(state.find("\"assets_path\":\"data\\\\flutter_assets\""), std::string::npos) << state;

  EXPECT_TRUE(ChannelRegistered("v2ray.windows.channel"));
  EXPECT_TRUE(ChannelRegistered("network_speed_channel"));

  // The view fills the client area of the window.
  HWND view = ::GetWindow(handle, GW_CHILD);
  ASSERT_NE(view, nullptr) << "the runtime's view was not attached";
  RECT client{};
  RECT view_client{};
  ::GetClientRect(handle, &client);
  ::GetClientRect(view, &view_client);
  EXPECT_EQ(view_client.right, client.right);
  EXPECT_EQ(view_client.bottom, client.bottom);

  EXPECT_TRUE(PumpUntil([&] { return ::IsWindowVisible(handle) != FALSE; }))
      << "never shown after the first frame";
  EXPECT_FALSE(::IsIconic(handle));
  EXPECT_FALSE(::IsZoomed(handle));

  EXPECT_EQ(IsRunning(), std::optional<bool>(false));
  Answer unknown = Call("v2ray.windows.channel", "noSuchMethod");
  EXPECT_EQ(unknown.kind, "error");
  EXPECT_EQ(unknown.errorCode, "INVALID_METHOD");
  Answer speed = Call("network_speed_channel", "initNetworkSpeed");
  EXPECT_TRUE(speed.answered);
  EXPECT_EQ(speed.kind, "success");

  // Fonts: the runtime sees the reload, then the message still gets the default handling.
  const std::string before = RuntimeState();
  ::SendMessageW(handle, WM_FONTCHANGE, 0, 0);
  const std::string after = RuntimeState();
  EXPECT_NE(before.find("\"font_reloads\":0"), std::string::npos) << before;
  EXPECT_NE(after.find("\"font_reloads\":1"), std::string::npos) << after;
}

TEST_F(FlutterWindowTest, FailedViewControllerFailsCreationWithoutPluginsOrChannels) {
  ASSERT_TRUE(::SetEnvironmentVariableA("ORVANTA_STANDIN_FAIL_VIEW", "1"));
  FlutterWindow window(Project());
  EXPECT_FALSE(window.CreateHostWindow(L"Orvanta", {10, 10}, {420, 720}));
  EXPECT_FALSE(ChannelRegistered("v2ray.windows.channel"));
  EXPECT_FALSE(ChannelRegistered("network_speed_channel"));
  const std::string state = RuntimeState();
  EXPECT_NE(state.find("\"plugin_registrations\":[]"), std::string::npos) << state;
  EXPECT_FALSE(::IsWindowVisible(window.GetHandle()));
}

TEST_F(FlutterWindowTest, EndOfSessionStopsTheCoreAndClearsTheProxy) {
  FlutterWindow window(Project());
  ASSERT_TRUE(window.CreateHostWindow(L"Orvanta", {10, 10}, {420, 720}));
  HWND handle = window.GetHandle();

  Answer started = Call("v2ray.windows.channel", "startV2Ray",
                        std::make_unique<EncodableValue>(EncodableMap{
                            {EncodableValue("config"), EncodableValue("{\"log\":{}}")}}));
  ASSERT_TRUE(started.answered);
  ASSERT_EQ(started.kind, "success");
  ASSERT_EQ(AsBool(started.value), std::optional<bool>(true)) << "the stand-in core did not start";
  ASSERT_EQ(IsRunning(), std::optional<bool>(true));
  EXPECT_EQ(ProxyEnable(), std::optional<DWORD>(1));

  // A cancelled end of session (FALSE) leaves the core alone.
  ::SendMessageW(handle, WM_QUERYENDSESSION, 0, 0);
  ::SendMessageW(handle, WM_ENDSESSION, FALSE, 0);
  EXPECT_EQ(IsRunning(), std::optional<bool>(true));
  EXPECT_EQ(ProxyEnable(), std::optional<DWORD>(1));

  ::SendMessageW(handle, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
  EXPECT_EQ(IsRunning(), std::optional<bool>(false)) << "core still running after the session";
  EXPECT_EQ(ProxyEnable(), std::optional<DWORD>(0)) << "proxy left pointing at the core";
}

TEST_F(FlutterWindowTest, ClosingEndsTheRuntimeFirstAndTheCoreOnlyWithTheObject) {
  auto window = std::make_unique<FlutterWindow>(Project());
  ASSERT_TRUE(window->CreateHostWindow(L"Orvanta", {10, 10}, {420, 720}));
  window->SetExitOnClose(true);
  Answer started = Call("v2ray.windows.channel", "startV2Ray",
                        std::make_unique<EncodableValue>(
                            EncodableMap{{EncodableValue("config"), EncodableValue("{}")}}));
  ASSERT_EQ(AsBool(started.value), std::optional<bool>(true));

  ::SendMessageW(window->GetHandle(), WM_CLOSE, 0, 0);
  EXPECT_EQ(window->GetHandle(), nullptr);
  MSG quit{};
  EXPECT_TRUE(::PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_FALSE(ChannelRegistered("v2ray.windows.channel")) << "runtime outlived the window";
  EXPECT_FALSE(Call("v2ray.windows.channel", "isRunning").delivered);
  EXPECT_EQ(ProxyEnable(), std::optional<DWORD>(1)) << "the services must outlive the runtime";

  window.reset();
  EXPECT_EQ(ProxyEnable(), std::optional<DWORD>(0)) << "destroying the window kept the proxy";
}

}  // namespace
