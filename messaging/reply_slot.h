// Holds the reply function of one incoming call until the call's one answer is given.
//
// The first SendResponseBytes calls the reply and empties the slot; later ones write the
// duplicate-result line and send nothing. A slot destroyed while still armed writes the
// memory-leak warning and drops the reply uncalled, so that message is never answered.
#ifndef ORVANTA_MESSAGING_REPLY_SLOT_H_
#define ORVANTA_MESSAGING_REPLY_SLOT_H_

#include <cstdint>
#include <vector>

#include "messaging/binary_messenger.h"

namespace flutter {

class ReplySlot {
 public:
  explicit ReplySlot(ReplyFunction reply);
  ~ReplySlot();

  ReplySlot(const ReplySlot&) = delete;
  ReplySlot& operator=(const ReplySlot&) = delete;

  // Null or an empty vector sends no bytes (a null pointer and a count of 0).
  void SendResponseBytes(const std::vector<uint8_t>* response);

  bool IsArmed() const { return static_cast<bool>(reply_); }

 private:
  ReplyFunction reply_;
};

}  // namespace flutter

#endif  // ORVANTA_MESSAGING_REPLY_SLOT_H_
