// A named channel whose messages are method calls, decoded with a method codec.
//
// The messenger and the codec are not owned. The registered handler refers to neither this
// object nor its messenger, so a channel object may be destroyed while its registration
// stays, and may outlive its messenger as long as SetCallHandler is not called afterwards.
// An undecodable message is answered with no bytes and never reaches the call handler.
#ifndef ORVANTA_MESSAGING_METHOD_CHANNEL_H_
#define ORVANTA_MESSAGING_METHOD_CHANNEL_H_

#include <functional>
#include <memory>
#include <string>

#include "messaging/binary_messenger.h"
#include "messaging/encodable_value.h"
#include "messaging/method_call.h"
#include "messaging/method_codec.h"
#include "messaging/method_result.h"

namespace flutter {

using CallHandler = std::function<void(const MethodCall<EncodableValue>& call,
                                       std::unique_ptr<MethodResult<EncodableValue>> result)>;

class MethodChannel {
 public:
  MethodChannel(BinaryMessenger* messenger, const std::string& name,
                const MethodCodec<EncodableValue>* codec);
  ~MethodChannel();

  MethodChannel(const MethodChannel&) = delete;
  MethodChannel& operator=(const MethodChannel&) = delete;

  // Replaces the channel's call handler; an empty one unregisters the channel.
  void SetCallHandler(CallHandler handler);

 private:
  BinaryMessenger* messenger_;
  std::string name_;
  const MethodCodec<EncodableValue>* codec_;
};

}  // namespace flutter

#endif  // ORVANTA_MESSAGING_METHOD_CHANNEL_H_
