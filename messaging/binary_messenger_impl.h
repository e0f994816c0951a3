// BinaryMessenger over the runtime's messenger: routes each incoming message by channel name.
//
// Owns the channel handlers; holds no reference on the runtime messenger, which lives as
// long as the engine that owns this object. Every stored handler keeps one address while its
// channel entry exists, and that address is what the runtime hands back with each message.
#ifndef ORVANTA_MESSAGING_BINARY_MESSENGER_IMPL_H_
#define ORVANTA_MESSAGING_BINARY_MESSENGER_IMPL_H_

#include <map>
#include <string>

#include "messaging/binary_messenger.h"
#include "messaging/flutter_windows_api.h"

namespace flutter {

class BinaryMessengerImpl : public BinaryMessenger {
 public:
  // A null handle makes every operation a no-op, so an engine the runtime failed to create
  // leaves the host without channels instead of crashing it.
  explicit BinaryMessengerImpl(FlutterDesktopMessengerRef messenger);
  ~BinaryMessengerImpl() override;

  void SendOnChannel(const std::string& channel, const uint8_t* message, size_t message_size,
                     ReplyFunction reply = nullptr) override;
  void SetChannelHandler(const std::string& channel, ChannelHandler handler) override;

  FlutterDesktopMessengerRef GetMessengerHandle() const { return messengerHandle_; }

 private:
  static void DispatchIncomingMessage(FlutterDesktopMessengerRef messenger,
                                      const FlutterDesktopMessage* message, void* user_data);
  static void DispatchSentReply(const uint8_t* data, size_t data_size, void* user_data);

  FlutterDesktopMessengerRef messengerHandle_;
  std::map<std::string, ChannelHandler> handlers_;
};

}  // namespace flutter

#endif  // ORVANTA_MESSAGING_BINARY_MESSENGER_IMPL_H_
