#include "messaging/method_channel.h"

#include <iostream>
#include <utility>

#include "messaging/engine_method_result.h"
#include "support/log_line.h"

namespace flutter {

MethodChannel::MethodChannel(BinaryMessenger* messenger, const std::string& name,
                             const MethodCodec<EncodableValue>* codec)
    : messenger_(messenger), name_(name), codec_(codec) {}

MethodChannel::~MethodChannel() = default;

void MethodChannel::SetCallHandler(CallHandler handler) {
  if (!handler) {
    messenger_->SetChannelHandler(name_, nullptr);
    return;
  }
  const MethodCodec<EncodableValue>* codec = codec_;
  std::string name = name_;
  messenger_->SetChannelHandler(
      name_, [handler = std::move(handler), codec, name](const uint8_t* message,
                                                         size_t message_size, ReplyFunction reply) {
        auto result = std::make_unique<EngineMethodResult>(std::move(reply), codec);
        std::unique_ptr<MethodCall<EncodableValue>> call = codec->DecodeCall(message, message_size);
        if (!call) {
          orvanta::WriteLogLine(std::cerr,
                                "Unable to construct method call from message on channel ", name);
          result->NotImplemented();
          return;
        }
        handler(*call, std::move(result));
      });
}

}  // namespace flutter
