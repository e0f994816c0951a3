#include "messaging/binary_messenger_impl.h"

#include <memory>
#include <utility>

#include "messaging/engine_reply.h"

namespace flutter {

BinaryMessengerImpl::BinaryMessengerImpl(FlutterDesktopMessengerRef messenger)
    : messengerHandle_(messenger) {}

// The runtime callbacks stay registered: the runtime messenger ends with its engine, which
// ends before the engine wrapper that owns this object.
BinaryMessengerImpl::~BinaryMessengerImpl() = default;

void BinaryMessengerImpl::SendOnChannel(const std::string& channel, const uint8_t* message,
                                        size_t message_size, ReplyFunction reply) {
  if (messengerHandle_ == nullptr) return;
  if (!reply) {
    FlutterDesktopMessengerSend(messengerHandle_, channel.c_str(), message, message_size);
    return;
  }
  auto pending = std::make_unique<ReplyFunction>(std::move(reply));
  if (FlutterDesktopMessengerSendWithReply(messengerHandle_, channel.c_str(), message, message_size,
                                           &DispatchSentReply, pending.get())) {
    // The runtime now owns the copy and frees it through DispatchSentReply.
    static_cast<void>(pending.release());
  }
}

void BinaryMessengerImpl::SetChannelHandler(const std::string& channel, ChannelHandler handler) {
  if (!handler) {
    handlers_.erase(channel);
    if (messengerHandle_ != nullptr) {
      FlutterDesktopMessengerSetCallback(messengerHandle_, channel.c_str(), nullptr, nullptr);
    }
    return;
  }
  ChannelHandler& stored = handlers_[channel];
  stored = std::move(handler);
  if (messengerHandle_ != nullptr) {
    FlutterDesktopMessengerSetCallback(messengerHandle_, channel.c_str(), &DispatchIncomingMessage,
                                       &stored);
  }
}

void BinaryMessengerImpl::DispatchIncomingMessage(FlutterDesktopMessengerRef messenger,
                                                  const FlutterDesktopMessage* message,
                                                  void* user_data) {
  auto reference = std::make_shared<MessengerReference>(messenger);
  EngineReply reply(reference, message->responseHandle);
  reference.reset();
  // A handler may replace or remove its own channel while it runs, which destroys the stored
  // handler; calling a copy keeps the running one alive until it returns.
  ChannelHandler handler = *static_cast<const ChannelHandler*>(user_data);
  handler(message->message, message->messageSize, std::move(reply));
}

void BinaryMessengerImpl::DispatchSentReply(const uint8_t* data, size_t data_size,
                                            void* user_data) {
  std::unique_ptr<ReplyFunction> reply(static_cast<ReplyFunction*>(user_data));
  (*reply)(data, data_size);
}

}  // namespace flutter
