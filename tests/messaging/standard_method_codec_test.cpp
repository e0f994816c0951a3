#include "messaging/standard_method_codec.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/messaging/codec_test_support.h"

namespace flutter {
namespace {

using orvanta_test::Bytes;
using orvanta_test::Equivalent;
using orvanta_test::Hex;

const char kInvalidRead[] = "Invalid read in StandardCodecByteStreamReader";
const char kNotACall[] = "Invalid method call; method name is not a string.";

std::string HexOfText(const std::string& text) {
  return Hex(std::vector<uint8_t>(text.begin(), text.end()));
}

// Records what DecodeReply reports.
class RecordingResult : public MethodResult<EncodableValue> {
 public:
  int calls = 0;
  std::string kind;
  std::optional<EncodableValue> value;
  std::string code;
  std::string message;

 protected:
  void DeliverSuccess(const EncodableValue* result) override { Record("success", result); }
  void DeliverError(const std::string& error_code, const std::string& error_message,
                    const EncodableValue* details) override {
    Record("error", details);
    code = error_code;
    message = error_message;
  }
  void DeliverNotImplemented() override { Record("not implemented", nullptr); }

 private:
  void Record(const char* what, const EncodableValue* v) {
    ++calls;
    kind = what;
    if (v != nullptr) value = *v;
  }
};

TEST(StandardMethodCodecTest, CallsAndEnvelopesEncodeToTheirWireBytes) {
  const auto& codec = StandardMethodCodec::SharedInstance();
  EXPECT_EQ(Hex(*codec.EncodeCall(MethodCall<>("isRunning", nullptr))),
            "07 09 69 73 52 75 6e 6e 69 6e 67 00");

  const std::string config(300, '{');
  EncodableMap args{{EncodableValue("config"), EncodableValue(config)}};
  EXPECT_EQ(
      Hex(*codec.EncodeCall(MethodCall<>("startV2Ray", std::make_unique<EncodableValue>(args)))),
      "07 0a " + HexOfText("startV2Ray") + " 0d 01 07 06 " + HexOfText("config") + " 07 fe 2c 01 " +
          HexOfText(config));

  const EncodableValue yes(true);
  EXPECT_EQ(Hex(*codec.EncodeSuccessReply(&yes)), "00 01");
  EXPECT_EQ(Hex(*codec.EncodeSuccessReply(nullptr)), "00 00");
  // The speed answer: the doubles align to 8 counting the envelope byte.
  const EncodableValue speeds(EncodableMap{{EncodableValue("uploadSpeed"), EncodableValue(0.25)},
                                           {EncodableValue("downloadSpeed"), EncodableValue(1.5)}});
  EXPECT_EQ(Hex(*codec.EncodeSuccessReply(&speeds)),
            "00 0d 02 07 0d " + HexOfText("downloadSpeed") +
                " 06 00 00 00 00 00 00 00 00 00 00 00 f8 3f 07 0b " + HexOfText("uploadSpeed") +
                " 06 00 00 00 00 00 00 00 00 d0 3f");

  EXPECT_EQ(Hex(*codec.EncodeErrorReply("INVALID_METHOD", "", nullptr)),
            "01 07 0e " + HexOfText("INVALID_METHOD") + " 00 00");
  EXPECT_EQ(Hex(*codec.EncodeErrorReply("", "", nullptr)), "01 07 00 00 00");
  const EncodableValue details(int32_t{7});
  EXPECT_EQ(Hex(*codec.EncodeErrorReply("E", "why", &details)),
            "01 07 01 45 07 03 77 68 79 03 07 00 00 00");
}

TEST(StandardMethodCodecTest, DecodeCallYieldsACallOnlyWhenTheNameIsAString) {
  const auto& codec = StandardMethodCodec::SharedInstance();
  struct Case {
    const char* description;
    std::vector<uint8_t> bytes;
    const char* name;  // null: no call
    EncodableValue arguments;
    std::vector<std::string> lines;
  };
  std::vector<uint8_t> with_trailing = Bytes("07 03 61 62 63 0d 01 07 01 6b 01 ff ff");
  const Case cases[] = {
      {"isRunning",
       Bytes("07 09 69 73 52 75 6e 6e 69 6e 67 00"),
       "isRunning",
       EncodableValue(),
       {}},
      {"map argument, trailing bytes ignored",
       with_trailing,
       "abc",
       EncodableValue(EncodableMap{{EncodableValue("k"), EncodableValue(true)}}),
       {}},
      {"name only: argument reads as null",
       Bytes("07 07 67 65 74 4c 6f 67 73"),
       "getLogs",
       EncodableValue(),
       {kInvalidRead}},
      {"empty message", {}, nullptr, EncodableValue(), {kInvalidRead, kNotACall}},
      {"int32 name", Bytes("03 01 00 00 00"), nullptr, EncodableValue(), {kNotACall}},
      {"unknown first tag",
       Bytes("10 07 01 61"),
       nullptr,
       EncodableValue(),
       {"Unknown type in StandardCodecSerializer::ReadValueOfType: 16", kNotACall}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    StderrCapture err;
    const auto call = codec.DecodeCall(c.bytes.data(), c.bytes.size());
    if (c.name == nullptr) {
      EXPECT_EQ(call, nullptr);
    } else {
      ASSERT_NE(call, nullptr);
      EXPECT_EQ(call->MethodName(), c.name);
      ASSERT_NE(call->Arguments(), nullptr);
      EXPECT_EQ(call->Arguments()->index(), c.arguments.index());
      EXPECT_TRUE(Equivalent(*call->Arguments(), c.arguments));
    }
    EXPECT_EQ(err.Lines(), c.lines);
  }
}

TEST(StandardMethodCodecTest, DecodeReplyReportsWellFormedEnvelopesOnly) {
  const auto& codec = StandardMethodCodec::SharedInstance();
  struct Case {
    const char* description;
    const char* hex;
    bool accepted;
    const char* kind;  // "" when nothing may be reported
    std::optional<EncodableValue> value;
    const char* code;
    const char* message;
    int invalid_reads;
  };
  const Case cases[] = {
      {"empty reply", "", true, "success", std::nullopt, "", "", 2},
      {"success without value", "00 00", true, "success", std::nullopt, "", "", 0},
      {"success with value", "00 03 05 00 00 00", true, "success", EncodableValue(int32_t{5}), "",
       "", 0},
      {"error without message", "01 07 01 61 00 00", true, "error", std::nullopt, "a", "", 0},
      {"error with everything", "01 07 01 61 07 02 6f 6b 01", true, "error", EncodableValue(true),
       "a", "ok", 0},
      {"unknown envelope", "02", false, "", std::nullopt, "", "", 0},
      {"code not a string", "01 03 01 00 00 00 00 00", false, "", std::nullopt, "", "", 0},
      {"message neither null nor string", "01 07 01 61 01 00", false, "", std::nullopt, "", "", 0},
      {"cut error envelope", "01", false, "", std::nullopt, "", "", 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    StderrCapture err;
    const std::vector<uint8_t> bytes = Bytes(c.hex);
    RecordingResult result;
    EXPECT_EQ(codec.DecodeReply(bytes.data(), bytes.size(), &result), c.accepted);
    EXPECT_EQ(result.calls, *c.kind == '\0' ? 0 : 1);
    EXPECT_EQ(result.kind, c.kind);
    EXPECT_EQ(result.value.has_value(), c.value.has_value());
    if (c.value && result.value) {
      EXPECT_TRUE(Equivalent(*result.value, *c.value));
    }
    EXPECT_EQ(result.code, c.code);
    EXPECT_EQ(result.message, c.message);
    EXPECT_EQ(err.Lines(), std::vector<std::string>(c.invalid_reads, kInvalidRead));
  }
}

}  // namespace
}  // namespace flutter
