// HandleVpnControlCall against the real SingBoxService and the stand-ins. PowerShell is told to
// succeed (or fail) without writing; the per-user proxy is written only to make a clear fail.
#include "channels/vpn_control_channel.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/channels/recording_method_result.h"
#include "tests/proxy_core/proxy_test_support.h"
#include "tests/support/stream_capture.h"

namespace {

using flutter::EncodableMap;
using flutter::EncodableValue;
using Lines = std::vector<std::string>;

using Answers = RecordedAnswers;

struct Outcome {
  Answers answers;
  Lines channelLines;  // standard output lines with the "MethodChannel: " prefix, prefix kept
};

Outcome Call(SingBoxService& service, const std::string& method,
             std::unique_ptr<EncodableValue> arguments) {
  Outcome outcome;
  const flutter::MethodCall<EncodableValue> call(method, std::move(arguments));
  StdoutCapture out;
  HandleVpnControlCall(service, call, std::make_unique<RecordingMethodResult>(outcome.answers));
  for (const std::string& line : out.Lines()) {
    if (line.rfind("MethodChannel: ", 0) == 0) outcome.channelLines.push_back(line);
  }
  EXPECT_EQ(outcome.answers.count, 1) << method;
  EXPECT_EQ(outcome.answers.releases, 1) << method << ": the result was not released";
  return outcome;
}

std::unique_ptr<EncodableValue> Value(EncodableValue value) {
  return std::make_unique<EncodableValue>(std::move(value));
}

void ExpectBoolSuccess(const Answers& answers, bool expected) {
  EXPECT_EQ(answers.kind, "success");
  ASSERT_TRUE(answers.hasValue);
  const bool* value = std::get_if<bool>(&answers.value);
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(*value, expected);
}

class VpnControlChannelTest : public testing::Test {
 protected:
  orvanta_test::ScopedTempFolder temp_{"vpn channel"};
  orvanta_test::ScopedEnvironment psSucceeds_{"ORVANTA_STANDIN_PS_EXIT_CODE", "0"};
  orvanta_test::ScopedEnvironment noHang_{"ORVANTA_STANDIN_PS_HANG_MS", nullptr};

  void TearDown() override {
    for (DWORD pid : proxytest::CoreChildren()) proxytest::KillProcess(pid);
  }
};

TEST_F(VpnControlChannelTest, UnknownOrMiscasedNamesAnswerInvalidMethodError) {
  SingBoxService service;
  const std::string logBefore = service.GetLogs();
  struct Case {
    std::string name;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"startv2ray", "Method not implemented: startv2ray"},
      {"getLogs ", "Method not implemented: getLogs "},
      {"", "Method not implemented: "},
      // Bytes that are not UTF-8 never reach the UI as such.
      {"get\xFFLogs", "Method not implemented: get\xEF\xBF\xBDLogs"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("method '" + c.name + "'");
    const Outcome outcome = Call(service, c.name, Value(EncodableValue()));
    EXPECT_EQ(outcome.answers.kind, "error");
    EXPECT_EQ(outcome.answers.code, "INVALID_METHOD");
    EXPECT_EQ(outcome.answers.message, c.message);
    EXPECT_FALSE(outcome.answers.hasDetails);
    EXPECT_EQ(outcome.channelLines, (Lines{"MethodChannel: Received call for method: " + c.name,
                                           "MethodChannel: Unknown method: " + c.name}));
  }
  EXPECT_EQ(service.GetLogs(), logBefore);

  // Running out of memory while the log answer is encoded still answers, once.
  Answers answers;
  answers.failNextSuccess = true;
  testing::internal::CaptureStdout();
  HandleVpnControlCall(service, flutter::MethodCall<EncodableValue>("getLogs", nullptr),
                       std::make_unique<RecordingMethodResult>(answers));
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(answers.count, 1);
  const std::string* text = std::get_if<std::string>(&answers.value);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(*text, "(logs too large to send)\n");
}

TEST_F(VpnControlChannelTest, StartWithoutUsableConfigStartsWithEmptyTextAndAnswersFalse) {
  SingBoxService service;
  struct Case {
    const char* description;
    std::unique_ptr<EncodableValue> arguments;
  };
  std::vector<Case> cases;
  cases.push_back({"no argument value", nullptr});
  cases.push_back({"plain string", Value(EncodableValue(std::string("{}")))});
  cases.push_back(
      {"config is a number",
       Value(EncodableValue(EncodableMap{{EncodableValue("config"), EncodableValue(42)}}))});
  cases.push_back({"config key as bytes",
                   Value(EncodableValue(EncodableMap{
                       {EncodableValue(std::vector<uint8_t>{'c', 'o', 'n', 'f', 'i', 'g'}),
                        EncodableValue("{}")}}))});
  for (Case& c : cases) {
    SCOPED_TRACE(c.description);
    const size_t mark = proxytest::Messages(service.GetLogs()).size();
    const Outcome outcome = Call(service, "startV2Ray", std::move(c.arguments));
    ExpectBoolSuccess(outcome.answers, false);
    EXPECT_EQ(outcome.channelLines, (Lines{"MethodChannel: Received call for method: startV2Ray",
                                           "MethodChannel: Starting sing-box...",
                                           "MethodChannel: sing-box start result: FAILED"}));
    EXPECT_EQ(proxytest::MessagesFrom(service.GetLogs(), mark),
              (Lines{"Starting sing-box...", "ERROR: No config provided for sing-box",
                     "Failed to create sing-box config"}));
  }
}

TEST_F(VpnControlChannelTest, EveryMethodReachesTheServiceAndAnswersItsResult) {
  SingBoxService service;

  // Lengths count bytes: "ü" and "€" are 2 and 3 bytes.
  const std::string config = "{\"note\": \"\xC3\xBC\xE2\x82\xAC\"}";
  ASSERT_EQ(config.size(), 17u);
  Outcome outcome =
      Call(service, "startV2Ray",
           Value(EncodableValue(EncodableMap{{EncodableValue("other"), EncodableValue(1)},
                                             {EncodableValue("config"), EncodableValue(config)}})));
  ExpectBoolSuccess(outcome.answers, true);
  EXPECT_EQ(outcome.channelLines, (Lines{"MethodChannel: Received call for method: startV2Ray",
                                         "MethodChannel: Starting sing-box...",
                                         "MethodChannel: Received config (17 characters)",
                                         "MethodChannel: sing-box start result: SUCCESS"}));
  EXPECT_EQ(orvanta_test::ReadFileBytes(temp_.WorkFolder() + "\\config.json"), config);

  outcome = Call(service, "isRunning", Value(EncodableValue()));
  ExpectBoolSuccess(outcome.answers, true);
  EXPECT_EQ(outcome.channelLines, (Lines{"MethodChannel: Received call for method: isRunning",
                                         "MethodChannel: sing-box running status: RUNNING"}));

  outcome = Call(service, "getLogs", Value(EncodableValue()));
  EXPECT_EQ(outcome.answers.kind, "success");
  const std::string* logs = std::get_if<std::string>(&outcome.answers.value);
  ASSERT_NE(logs, nullptr);
  EXPECT_EQ(*logs, service.GetLogs());
  EXPECT_NE(logs->find("\n----- sing-box stdout/stderr -----\n"), std::string::npos);
  EXPECT_EQ(outcome.channelLines, (Lines{"MethodChannel: Received call for method: getLogs",
                                         "MethodChannel: Returning logs (" +
                                             std::to_string(logs->size()) + " characters)"}));

  outcome = Call(service, "clearSystemProxy", Value(EncodableValue()));
  ExpectBoolSuccess(outcome.answers, true);
  EXPECT_EQ(outcome.channelLines,
            (Lines{"MethodChannel: Received call for method: clearSystemProxy",
                   "MethodChannel: Clearing system proxy...",
                   "MethodChannel: Clear system proxy result: SUCCESS"}));

  outcome = Call(service, "stopV2Ray", Value(EncodableValue()));
  ExpectBoolSuccess(outcome.answers, true);
  EXPECT_EQ(outcome.channelLines, (Lines{"MethodChannel: Received call for method: stopV2Ray",
                                         "MethodChannel: Stopping sing-box...",
                                         "MethodChannel: sing-box stop result: SUCCESS"}));
  EXPECT_TRUE(proxytest::CoreChildren().empty());

  outcome = Call(service, "isRunning", nullptr);
  ExpectBoolSuccess(outcome.answers, false);
  EXPECT_EQ(outcome.channelLines.back(), "MethodChannel: sing-box running status: NOT RUNNING");

  // A failing proxy command is a false answer, never a channel error. Only our own values are
  // cleared, so the registry holds them.
  orvanta_test::InternetSettingsGuard settings;
  orvanta_test::WriteProxySettings({1, "127.0.0.1:10809", "<-loopback>"});
  orvanta_test::ScopedEnvironment psFails("ORVANTA_STANDIN_PS_EXIT_CODE", "2");
  outcome = Call(service, "clearSystemProxy", Value(EncodableValue()));
  ExpectBoolSuccess(outcome.answers, false);
  EXPECT_EQ(outcome.channelLines.back(), "MethodChannel: Clear system proxy result: FAILED");
}

}  // namespace
