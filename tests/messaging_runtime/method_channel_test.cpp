// Incoming messages through the stand-in runtime: routing, answers, misuse and references.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "messaging/binary_messenger_impl.h"
#include "messaging/flutter_view_controller.h"
#include "messaging/method_channel.h"
#include "messaging/runtime_project.h"
#include "messaging/standard_method_codec.h"
#include "tests/support/standin_runtime.h"
#include "tests/support/test_environment.h"

namespace {

using flutter::EncodableValue;
using flutter::MethodCall;
using flutter::MethodResult;
using orvanta_test::Answer;
using orvanta_test::Deliver;
using orvanta_test::JsonNumber;
using orvanta_test::StateJson;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

using Bytes = std::vector<uint8_t>;
using Result = std::unique_ptr<MethodResult<EncodableValue>>;

const flutter::StandardMethodCodec& Codec() {
  return flutter::StandardMethodCodec::SharedInstance();
}

Bytes CallBytes(const std::string& method) {
  MethodCall<EncodableValue> call(method, std::make_unique<EncodableValue>());
  return *Codec().EncodeCall(call);
}

const Bytes kSuccessTrue = {0x00, 0x01};

class MethodChannelTest : public testing::Test {
 protected:
  MethodChannelTest()
      : controller_(
            std::make_unique<flutter::FlutterViewController>(320, 240, RuntimeProject(L"data"))) {}

  flutter::BinaryMessenger& Messenger() { return controller_->GetEngine()->GetMessenger(); }

  orvanta_test::ScopedTempFolder temp_{"runtime"};
  std::unique_ptr<flutter::FlutterViewController> controller_;
};

TEST_F(MethodChannelTest, MessagesReachOnlyTheHandlerOfTheirChannel) {
  std::vector<std::string> seen;
  flutter::MethodChannel vpn(&Messenger(), "v2ray.windows.channel", &Codec());
  flutter::MethodChannel speed(&Messenger(), "network_speed_channel", &Codec());
  vpn.SetCallHandler([&](const MethodCall<EncodableValue>& call, Result result) {
    seen.push_back("vpn:" + call.MethodName());
    ASSERT_NE(call.Arguments(), nullptr);
    EXPECT_EQ(call.Arguments()->index(), 0u);
    result->Success(EncodableValue(true));
  });
  speed.SetCallHandler([&](const MethodCall<EncodableValue>& call, Result result) {
    seen.push_back("speed:" + call.MethodName());
    result->Success();
  });

  Answer vpn_answer, speed_answer, stray_answer;
  EXPECT_EQ(Deliver("v2ray.windows.channel", CallBytes("isRunning"), &vpn_answer), 0);
  EXPECT_EQ(Deliver("network_speed_channel", CallBytes("getNetworkSpeed"), &speed_answer), 0);
  EXPECT_EQ(Deliver("v2ray.windows.channel.other", CallBytes("isRunning"), &stray_answer), 1);

  EXPECT_EQ(seen, (std::vector<std::string>{"vpn:isRunning", "speed:getNetworkSpeed"}));
  EXPECT_EQ(vpn_answer.bytes, kSuccessTrue);
  EXPECT_EQ(speed_answer.bytes, (Bytes{0x00, 0x00}));
  EXPECT_FALSE(stray_answer.arrived);

  // A message that is not a call is answered empty, without reaching the handler.
  Answer undecodable;
  CaptureStderr();
  Deliver("network_speed_channel", Bytes{0x03, 0x01, 0x00, 0x00, 0x00}, &undecodable);
  const std::string log = GetCapturedStderr();
  EXPECT_EQ(seen.size(), 2u);
  EXPECT_TRUE(undecodable.arrived && undecodable.nullData && undecodable.bytes.empty());
  const std::string line =
      "Unable to construct method call from message on channel network_speed_channel\n";
  ASSERT_GE(log.size(), line.size()) << log;
  EXPECT_EQ(log.substr(log.size() - line.size()), line) << log;

  // Without a handler the runtime has no callback for the channel any more.
  speed.SetCallHandler(nullptr);
  EXPECT_EQ(Deliver("network_speed_channel", CallBytes("getNetworkSpeed"), &stray_answer), 1);
}

TEST_F(MethodChannelTest, AnswersAreEncodedOnceAndMisuseIsReported) {
  struct Case {
    const char* description;
    std::function<void(MethodResult<EncodableValue>&)> answer;
    Bytes expected;
    bool nullData;
    std::string log;
  };
  const Bytes invalid_method = {0x01, 0x07, 0x0E, 'I', 'N', 'V', 'A', 'L',  'I', 'D',
                                '_',  'M',  'E',  'T', 'H', 'O', 'D', 0x00, 0x00};
  const std::string duplicate =
      "Error: Only one of Success, Error, or NotImplemented can be called, and it can be called "
      "exactly once. Ignoring duplicate result.\n";
  const std::vector<Case> cases = {
      {"success then error sends the success only",
       [](MethodResult<EncodableValue>& r) {
         r.Success(EncodableValue(true));
         r.Error("LATE", "too late");
       },
       kSuccessTrue, false, duplicate},
      {"error with an empty message",
       [](MethodResult<EncodableValue>& r) { r.Error("INVALID_METHOD"); }, invalid_method, false,
       ""},
      {"not implemented sends no bytes",
       [](MethodResult<EncodableValue>& r) {
         r.NotImplemented();
         r.Success();
       },
       Bytes{}, true, duplicate},
  };
  flutter::MethodChannel channel(&Messenger(), "v2ray.windows.channel", &Codec());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    int sent_before = static_cast<int>(JsonNumber(StateJson(), "responses_sent"));
    channel.SetCallHandler(
        [&](const MethodCall<EncodableValue>&, Result result) { c.answer(*result); });
    Answer answer;
    CaptureStderr();
    Deliver("v2ray.windows.channel", CallBytes("getLogs"), &answer);
    EXPECT_EQ(GetCapturedStderr(), c.log);
    EXPECT_TRUE(answer.arrived);
    EXPECT_EQ(answer.nullData, c.nullData);
    EXPECT_EQ(answer.bytes, c.expected);
    EXPECT_EQ(JsonNumber(StateJson(), "responses_sent"), sent_before + 1);
    EXPECT_EQ(JsonNumber(StateJson(), "messenger_refs"), 0);
  }
}

TEST_F(MethodChannelTest, KeptResultsReleaseTheMessengerAndSendNothingLate) {
  Result kept;
  flutter::MethodChannel channel(&Messenger(), "v2ray.windows.channel", &Codec());
  channel.SetCallHandler(
      [&](const MethodCall<EncodableValue>&, Result result) { kept = std::move(result); });
  Answer unanswered;
  Deliver("v2ray.windows.channel", CallBytes("isRunning"), &unanswered);
  EXPECT_EQ(JsonNumber(StateJson(), "messenger_refs"), 1);
  CaptureStderr();
  kept.reset();
  EXPECT_EQ(GetCapturedStderr(),
            "Warning: Failed to respond to a message. This is a memory leak.\n");
  EXPECT_FALSE(unanswered.arrived);
  EXPECT_EQ(JsonNumber(StateJson(), "messenger_refs"), 0);

  // An answer given after the engine is gone is dropped without a word.
  Answer late;
  Deliver("v2ray.windows.channel", CallBytes("stopV2Ray"), &late);
  const long long sent = JsonNumber(StateJson(), "responses_sent");
  const long long refused = JsonNumber(StateJson(), "responses_refused");
  controller_.reset();
  CaptureStderr();
  kept->Success(EncodableValue(true));
  kept.reset();
  EXPECT_EQ(GetCapturedStderr(), "");
  EXPECT_FALSE(late.arrived);
  const std::string state = StateJson();
  EXPECT_EQ(JsonNumber(state, "responses_sent"), sent);
  EXPECT_EQ(JsonNumber(state, "responses_refused"), refused);
  EXPECT_EQ(JsonNumber(state, "messenger_refs"), 0);
  EXPECT_EQ(JsonNumber(state, "messenger_locks_held"), 0) << "an answer kept the runtime's lock";
}

TEST_F(MethodChannelTest, CopiesOfOneReplyAnswerOnceAndHandlersMayReplaceThemselves) {
  flutter::BinaryMessenger& messenger = Messenger();
  flutter::ReplyFunction copy;
  messenger.SetChannelHandler("raw", [&](const uint8_t*, size_t, flutter::ReplyFunction reply) {
    copy = reply;
    // Replacing the running handler must not pull it out from under this call.
    messenger.SetChannelHandler("raw", [](const uint8_t*, size_t, flutter::ReplyFunction r) {
      const uint8_t second[] = {0x02};
      r(second, 1);
    });
    const uint8_t first[] = {0x01};
    reply(first, 1);
  });
  Answer answer;
  Deliver("raw", Bytes{0xAA}, &answer);
  EXPECT_EQ(answer.bytes, Bytes{0x01});
  EXPECT_EQ(JsonNumber(StateJson(), "messenger_refs"), 1);  // `copy` still holds it

  CaptureStderr();
  const uint8_t again[] = {0x03};
  copy(again, 1);
  EXPECT_EQ(GetCapturedStderr(),
            "Error: Response can be set only once. Ignoring duplicate response.\n");
  EXPECT_EQ(answer.bytes, Bytes{0x01});
  copy = nullptr;
  EXPECT_EQ(JsonNumber(StateJson(), "messenger_refs"), 0);

  Answer replaced;
  Deliver("raw", Bytes{0xBB}, &replaced);
  EXPECT_EQ(replaced.bytes, Bytes{0x02});
}

}  // namespace
