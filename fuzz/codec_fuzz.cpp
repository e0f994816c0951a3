// Feeds arbitrary bytes to the three decoders and checks the round trip: whatever decodes,
// encoded again, decodes without a single diagnostic to a value that encodes to the same
// bytes, and the second decode consumes exactly those bytes.
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <streambuf>
#include <string>
#include <vector>

#include "messaging/byte_streams.h"
#include "messaging/standard_codec_serializer.h"
#include "messaging/standard_method_codec.h"

namespace {

using flutter::EncodableValue;

// Swallows the diagnostics but counts their lines, so the round trip can require none.
class CountingSink : public std::streambuf {
 public:
  size_t lines = 0;

 protected:
  int_type overflow(int_type c) override {
    if (c == '\n') ++lines;
    return traits_type::not_eof(c);
  }
  std::streamsize xsputn(const char* text, std::streamsize count) override {
    for (std::streamsize i = 0; i < count; ++i) {
      if (text[i] == '\n') ++lines;
    }
    return count;
  }
};

CountingSink* sink = nullptr;

void Require(bool condition, const char* what) {
  if (!condition) {
    std::fputs(what, stderr);
    std::fputs("\n", stderr);
    std::abort();
  }
}

struct Reply {
  bool error = false;
  std::string code;
  std::string message;
  std::optional<EncodableValue> value;
};

class RecordingResult : public flutter::MethodResult<EncodableValue> {
 public:
  int calls = 0;
  Reply reply;

 protected:
  void DeliverSuccess(const EncodableValue* result) override {
    ++calls;
    if (result != nullptr) reply.value = *result;
  }
  void DeliverError(const std::string& code, const std::string& message,
                    const EncodableValue* details) override {
    ++calls;
    reply.error = true;
    reply.code = code;
    reply.message = message;
    if (details != nullptr) reply.value = *details;
  }
  void DeliverNotImplemented() override { Require(false, "DecodeReply answered NotImplemented"); }
};

std::vector<uint8_t> EncodeReply(const flutter::StandardMethodCodec& codec, const Reply& reply) {
  const EncodableValue* value = reply.value ? &*reply.value : nullptr;
  return reply.error ? *codec.EncodeErrorReply(reply.code, reply.message, value)
                     : *codec.EncodeSuccessReply(value);
}

void CheckValue(const uint8_t* data, size_t size) {
  const auto& serializer = flutter::StandardCodecSerializer::SharedInstance();
  flutter::ByteBufferStreamReader reader(data, size);
  const uint8_t tag = reader.ReadNextByte();
  const EncodableValue value = serializer.ReadValueOfType(tag, &reader);
  std::vector<uint8_t> first;
  flutter::ByteBufferStreamWriter writer(&first);
  serializer.WriteValue(value, &writer);

  const size_t lines_before = sink->lines;
  flutter::ByteBufferStreamReader again(first.data(), first.size());
  const uint8_t tag_again = again.ReadNextByte();
  const EncodableValue value_again = serializer.ReadValueOfType(tag_again, &again);
  Require(sink->lines == lines_before, "re-encoded value decodes with diagnostics");
  Require(again.Location() == first.size(), "re-encoded value not consumed exactly");
  std::vector<uint8_t> second;
  flutter::ByteBufferStreamWriter writer_again(&second);
  serializer.WriteValue(value_again, &writer_again);
  Require(first == second, "value round trip changed the bytes");
}

void CheckCall(const uint8_t* data, size_t size) {
  const auto& codec = flutter::StandardMethodCodec::SharedInstance();
  const auto call = codec.DecodeCall(data, size);
  if (call == nullptr) return;
  Require(call->Arguments() != nullptr, "decoded call without argument value");
  const auto first = codec.EncodeCall(*call);
  const size_t lines_before = sink->lines;
  const auto call_again = codec.DecodeCall(first->data(), first->size());
  Require(sink->lines == lines_before, "re-encoded call decodes with diagnostics");
  Require(call_again != nullptr, "re-encoded call does not decode");
  Require(call_again->MethodName() == call->MethodName(), "method name changed");
  Require(*codec.EncodeCall(*call_again) == *first, "call round trip changed the bytes");
}

void CheckReply(const uint8_t* data, size_t size) {
  const auto& codec = flutter::StandardMethodCodec::SharedInstance();
  RecordingResult result;
  const bool accepted = codec.DecodeReply(data, size, &result);
  Require(result.calls == (accepted ? 1 : 0), "DecodeReply answered other than once");
  if (!accepted) return;
  const std::vector<uint8_t> first = EncodeReply(codec, result.reply);
  const size_t lines_before = sink->lines;
  RecordingResult again;
  Require(codec.DecodeReply(first.data(), first.size(), &again), "re-encoded reply rejected");
  Require(sink->lines == lines_before, "re-encoded reply decodes with diagnostics");
  Require(again.reply.error == result.reply.error && again.reply.code == result.reply.code &&
              again.reply.message == result.reply.message,
          "reply envelope changed");
  Require(EncodeReply(codec, again.reply) == first, "reply round trip changed the bytes");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  sink = new CountingSink();
  std::cerr.rdbuf(sink);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CheckValue(data, size);
  CheckCall(data, size);
  CheckReply(data, size);
  return 0;
}
