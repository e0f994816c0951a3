// The host's side of named byte channels to the UI program.
//
// A channel handler gets each incoming message with a reply function that answers it; the
// reply may be called later and from any thread, and only its first call sends anything.
#ifndef ORVANTA_MESSAGING_BINARY_MESSENGER_H_
#define ORVANTA_MESSAGING_BINARY_MESSENGER_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace flutter {

using ReplyFunction = std::function<void(const uint8_t* reply, size_t reply_size)>;
using ChannelHandler =
    std::function<void(const uint8_t* message, size_t message_size, ReplyFunction reply)>;

class BinaryMessenger {
 public:
  BinaryMessenger() = default;
  virtual ~BinaryMessenger() = default;

  BinaryMessenger(const BinaryMessenger&) = delete;
  BinaryMessenger& operator=(const BinaryMessenger&) = delete;

  // Sends a message to the UI program; `reply`, when set, receives its answer once.
  virtual void SendOnChannel(const std::string& channel, const uint8_t* message,
                             size_t message_size, ReplyFunction reply = nullptr) = 0;

  // Replaces the handler of `channel`; an empty handler removes it.
  virtual void SetChannelHandler(const std::string& channel, ChannelHandler handler) = 0;
};

}  // namespace flutter

#endif  // ORVANTA_MESSAGING_BINARY_MESSENGER_H_
