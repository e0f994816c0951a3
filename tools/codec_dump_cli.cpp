#include "tools/codec_dump_cli.h"

#include <cstdint>
#include <iterator>
#include <memory>

#include "messaging/byte_streams.h"
#include "messaging/method_result.h"
#include "messaging/standard_codec_serializer.h"
#include "messaging/standard_method_codec.h"
#include "tools/hex_text.h"
#include "tools/value_printer.h"

namespace orvanta_tools {
namespace {

using flutter::EncodableValue;

constexpr int kDecoded = 0;
constexpr int kNotDecodable = 1;
constexpr int kUsage = 2;

// Prints whatever envelope DecodeReply reports.
class PrintingResult : public flutter::MethodResult<EncodableValue> {
 public:
  explicit PrintingResult(std::ostream& out) : out_(out) {}

 protected:
  void DeliverSuccess(const EncodableValue* result) override {
    out_ << "envelope: success\n";
    PrintOptional("result", result);
  }
  void DeliverError(const std::string& code, const std::string& message,
                    const EncodableValue* details) override {
    out_ << "envelope: error\n";
    out_ << "code: " << QuoteText(code) << '\n';
    out_ << "message: " << QuoteText(message) << '\n';
    PrintOptional("details", details);
  }
  void DeliverNotImplemented() override { out_ << "envelope: not implemented\n"; }

 private:
  void PrintOptional(const char* label, const EncodableValue* value) {
    if (value == nullptr) {
      out_ << label << ": none\n";
    } else {
      PrintValue(out_, *value, label, 0);
    }
  }

  std::ostream& out_;
};

EncodableValue DecodeBareValue(const std::vector<uint8_t>& bytes) {
  flutter::ByteBufferStreamReader reader(bytes.data(), bytes.size());
  const auto& serializer = flutter::StandardCodecSerializer::SharedInstance();
  const uint8_t tag = reader.ReadNextByte();
  return serializer.ReadValueOfType(tag, &reader);
}

void PrintUsage(std::ostream& err) {
  err << "usage: codec_dump [--call|--reply|--value] [HEX]\n"
         "       codec_dump --reencode-value HEX\n"
         "HEX is read from standard input when not given; whitespace is allowed.\n";
}

}  // namespace

int RunCodecDump(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                 std::ostream& err) {
  std::string mode = "--call";
  std::string hex;
  bool hex_given = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (i == 0 && arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
      mode = arg;
      continue;
    }
    hex += arg;
    hex += ' ';
    hex_given = true;
  }
  if (mode == "--help") {
    PrintUsage(out);
    return kDecoded;
  }
  if (mode != "--call" && mode != "--reply" && mode != "--value" && mode != "--reencode-value") {
    err << "codec_dump: unknown option " << mode << '\n';
    PrintUsage(err);
    return kUsage;
  }
  if (!hex_given) {
    hex.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  std::vector<uint8_t> bytes;
  std::string problem;
  if (!ParseHex(hex, &bytes, &problem)) {
    err << "codec_dump: " << problem << '\n';
    return kUsage;
  }

  const auto& codec = flutter::StandardMethodCodec::SharedInstance();
  if (mode == "--reencode-value") {
    std::vector<uint8_t> encoded;
    flutter::ByteBufferStreamWriter writer(&encoded);
    flutter::StandardCodecSerializer::SharedInstance().WriteValue(DecodeBareValue(bytes), &writer);
    out << ToHex(encoded) << '\n';
    return kDecoded;
  }
  if (mode == "--value") {
    PrintValue(out, DecodeBareValue(bytes), "", 0);
    return kDecoded;
  }
  if (mode == "--reply") {
    PrintingResult result(out);
    if (!codec.DecodeReply(bytes.data(), bytes.size(), &result)) {
      err << "codec_dump: not a reply envelope\n";
      return kNotDecodable;
    }
    return kDecoded;
  }
  const auto call = codec.DecodeCall(bytes.data(), bytes.size());
  if (call == nullptr) {
    err << "codec_dump: not a method call\n";
    return kNotDecodable;
  }
  out << "method: " << QuoteText(call->MethodName()) << '\n';
  PrintValue(out, *call->Arguments(), "args", 0);
  return kDecoded;
}

}  // namespace orvanta_tools
