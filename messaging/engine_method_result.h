// The MethodResult handed to call handlers: encodes the one answer with the channel's codec
// and sends it through the call's reply slot.
//
// Owns the reply slot; the codec is not owned and must outlive the result (the shared
// standard codec lives until the process ends). Misuse is reported, never fatal: a second
// answer and a result dropped unanswered each write their line (see ReplySlot).
#ifndef ORVANTA_MESSAGING_ENGINE_METHOD_RESULT_H_
#define ORVANTA_MESSAGING_ENGINE_METHOD_RESULT_H_

#include <string>

#include "messaging/binary_messenger.h"
#include "messaging/encodable_value.h"
#include "messaging/method_codec.h"
#include "messaging/method_result.h"
#include "messaging/reply_slot.h"

namespace flutter {

class EngineMethodResult : public MethodResult<EncodableValue> {
 public:
  EngineMethodResult(ReplyFunction reply, const MethodCodec<EncodableValue>* codec);
  ~EngineMethodResult() override;

 protected:
  void DeliverSuccess(const EncodableValue* result) override;
  void DeliverError(const std::string& code, const std::string& message,
                    const EncodableValue* details) override;
  // Answers with no bytes at all; the sender reads that as "not implemented".
  void DeliverNotImplemented() override;

 private:
  ReplySlot reply_;
  const MethodCodec<EncodableValue>* codec_;
};

}  // namespace flutter

#endif  // ORVANTA_MESSAGING_ENGINE_METHOD_RESULT_H_
