// The method codec of both channels: calls and envelopes laid out as standard-format values,
// alignment counted from the first byte of the whole message.
//
// A call is the method name (a string value) followed by the argument value; a success
// envelope is the byte 0 and the result; an error envelope is the byte 1, the code, the
// message (null when empty) and the details. Codecs hold only a pointer to their serializer,
// which must outlive them; the instances of SharedInstance live until the process ends.
#ifndef ORVANTA_MESSAGING_STANDARD_METHOD_CODEC_H_
#define ORVANTA_MESSAGING_STANDARD_METHOD_CODEC_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "messaging/encodable_value.h"
#include "messaging/method_codec.h"
#include "messaging/standard_codec_serializer.h"

namespace flutter {

class StandardMethodCodec : public MethodCodec<EncodableValue> {
 public:
  explicit StandardMethodCodec(const StandardCodecSerializer* serializer);
  ~StandardMethodCodec() override;

  // The one codec that belongs to `serializer` (null: the shared serializer). Not locked:
  // meant for the UI thread.
  static const StandardMethodCodec& SharedInstance(
      const StandardCodecSerializer* serializer = nullptr);

  // Logs "Invalid method call; method name is not a string." and returns null when the first
  // value is not a string. A cut-short argument decodes as null; trailing bytes are ignored.
  std::unique_ptr<MethodCall<EncodableValue>> DecodeCall(const uint8_t* message,
                                                         size_t size) const override;
  std::unique_ptr<std::vector<uint8_t>> EncodeCall(
      const MethodCall<EncodableValue>& call) const override;
  std::unique_ptr<std::vector<uint8_t>> EncodeSuccessReply(
      const EncodableValue* result) const override;
  std::unique_ptr<std::vector<uint8_t>> EncodeErrorReply(
      const std::string& code, const std::string& message,
      const EncodableValue* details) const override;
  // Returns false without calling `result` for a first byte other than 0 and 1, and for an
  // error envelope whose code is not a string or whose message is neither null nor a string.
  bool DecodeReply(const uint8_t* reply, size_t size,
                   MethodResult<EncodableValue>* result) const override;

 private:
  const StandardCodecSerializer* serializer_;
};

}  // namespace flutter

#endif  // ORVANTA_MESSAGING_STANDARD_METHOD_CODEC_H_
