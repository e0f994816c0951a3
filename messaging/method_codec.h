// Turns method calls and their answers into message bytes and back.
//
// Encoders return a new vector owned by the caller. DecodeCall returns null when the message
// is not a method call; DecodeReply returns false, without touching `result`, when the bytes
// are not a well-formed envelope.
#ifndef ORVANTA_MESSAGING_METHOD_CODEC_H_
#define ORVANTA_MESSAGING_METHOD_CODEC_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "messaging/method_call.h"
#include "messaging/method_result.h"

namespace flutter {

template <typename T>
class MethodCodec {
 public:
  MethodCodec() = default;
  virtual ~MethodCodec() = default;

  MethodCodec(const MethodCodec&) = delete;
  MethodCodec& operator=(const MethodCodec&) = delete;

  virtual std::unique_ptr<MethodCall<T>> DecodeCall(const uint8_t* message, size_t size) const = 0;
  virtual std::unique_ptr<std::vector<uint8_t>> EncodeCall(const MethodCall<T>& call) const = 0;
  // `result` null means the call succeeded without a value.
  virtual std::unique_ptr<std::vector<uint8_t>> EncodeSuccessReply(const T* result) const = 0;
  // An empty `message` travels as null; `details` null means none.
  virtual std::unique_ptr<std::vector<uint8_t>> EncodeErrorReply(const std::string& code,
                                                                 const std::string& message,
                                                                 const T* details) const = 0;
  // Reports the envelope through result->Success or result->Error.
  virtual bool DecodeReply(const uint8_t* reply, size_t size, MethodResult<T>* result) const = 0;
};

}  // namespace flutter

#endif  // ORVANTA_MESSAGING_METHOD_CODEC_H_
