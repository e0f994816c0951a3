#include "messaging/reply_slot.h"

#include <iostream>
#include <utility>

#include "support/log_line.h"

namespace flutter {

ReplySlot::ReplySlot(ReplyFunction reply) : reply_(std::move(reply)) {}

ReplySlot::~ReplySlot() {
  if (reply_) {
    orvanta::WriteLogLine(std::cerr, "",
                          "Warning: Failed to respond to a message. This is a memory leak.");
  }
}

void ReplySlot::SendResponseBytes(const std::vector<uint8_t>* response) {
  if (!reply_) {
    orvanta::WriteLogLine(std::cerr, "",
                          "Error: Only one of Success, Error, or NotImplemented can be called,"
                          " and it can be called exactly once. Ignoring duplicate result.");
    return;
  }
  const uint8_t* data = nullptr;
  size_t size = 0;
  if (response != nullptr) {
    size = response->size();
    if (size != 0) data = response->data();
  }
  // Emptied before the call so an answer given from inside the reply counts as a duplicate.
  ReplyFunction reply = std::move(reply_);
  reply_ = nullptr;
  reply(data, size);
}

}  // namespace flutter
