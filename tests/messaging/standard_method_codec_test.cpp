#include "messaging/standard_method_codec.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/messaging/codec_test_support.h"

namespace flutter {
namespace {

using orvanta_test::Bytes;
using orvanta_test::Hex;

const char kInvalidRead[] = "Invalid read in StandardCodecByteStreamReader";
const char kNotACall[] = "Invalid method call; method name is not a string.";

std::string HexOfText(const std::string& text) {
  return Hex(std::vector<uint8_t>(text.begin(), text.end()));
}

// What DecodeReply reports, as text: each call with its code, message and the wire bytes of
// its value.
class RecordingResult : public MethodResult<EncodableValue> {
 public:
  std::string record;

 protected:
  void DeliverSuccess(const EncodableValue* result) override { record += "success" + Wire(result); }
  void DeliverError(const std::string& code, const std::string& message,
                    const EncodableValue* details) override {
    record += "error " + code + "/" + message + Wire(details);
  }
  void DeliverNotImplemented() override { record += "not implemented"; }

 private:
  static std::string Wire(const EncodableValue* value) {
    return value != nullptr ? " " + Hex(orvanta_test::Encode(*value)) : "";
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
  const std::string read = std::string(kInvalidRead) + "\n";
  const std::string notCall = std::string(kNotACall) + "\n";
  struct Case {
    const char* description;
    const char* hex;
    const char* call;  // the name and the wire bytes of the arguments; "" for no call
    std::string log;
  };
  const Case cases[] = {
      {"isRunning", "07 09 69 73 52 75 6e 6e 69 6e 67 00", "isRunning 00", ""},
      {"map argument, trailing bytes ignored", "07 03 61 62 63 0d 01 07 01 6b 01 ff ff",
       "abc 0d 01 07 01 6b 01", ""},
      {"name only: argument reads as null", "07 07 67 65 74 4c 6f 67 73", "getLogs 00", read},
      {"empty message", "", "", read + notCall},
      {"int32 name", "03 01 00 00 00", "", notCall},
      {"unknown first tag", "10 07 01 61", "",
       "Unknown type in StandardCodecSerializer::ReadValueOfType: 16\n" + notCall},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    StderrCapture err;
    const std::vector<uint8_t> bytes = Bytes(c.hex);
    const auto call = codec.DecodeCall(bytes.data(), bytes.size());
    EXPECT_EQ(call == nullptr || call->Arguments() == nullptr
                  ? std::string()
                  : call->MethodName() + " " + Hex(orvanta_test::Encode(*call->Arguments())),
              c.call);
    EXPECT_EQ(err.Text(), c.log);
  }
}

TEST(StandardMethodCodecTest, DecodeReplyReportsWellFormedEnvelopesOnly) {
  const auto& codec = StandardMethodCodec::SharedInstance();
  struct Case {
    const char* description;
    const char* hex;
    bool accepted;
    const char* record;  // "" when nothing may be reported
    int invalid_reads;
  };
  const Case cases[] = {
      {"empty reply", "", true, "success", 2},
      {"success without value", "00 00", true, "success", 0},
      {"success with value", "00 03 05 00 00 00", true, "success 03 05 00 00 00", 0},
      {"error without message", "01 07 01 61 00 00", true, "error a/", 0},
      {"error with everything", "01 07 01 61 07 02 6f 6b 01", true, "error a/ok 01", 0},
      {"unknown envelope", "02", false, "", 0},
      {"code not a string", "01 03 01 00 00 00 00 00", false, "", 0},
      {"message neither null nor string", "01 07 01 61 01 00", false, "", 0},
      {"cut error envelope", "01", false, "", 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    StderrCapture err;
    const std::vector<uint8_t> bytes = Bytes(c.hex);
    RecordingResult result;
    EXPECT_EQ(codec.DecodeReply(bytes.data(), bytes.size(), &result), c.accepted);
    EXPECT_EQ(result.record, c.record);
    EXPECT_EQ(err.Lines(), std::vector<std::string>(c.invalid_reads, kInvalidRead));
  }
}

}  // namespace
}  // namespace flutter
