#include "messaging/engine_reply.h"

#include <iostream>
#include <utility>

#include "support/log_line.h"

namespace flutter {

MessengerReference::MessengerReference(FlutterDesktopMessengerRef messenger)
    : messenger_(messenger != nullptr ? FlutterDesktopMessengerAddRef(messenger) : nullptr) {}

MessengerReference::~MessengerReference() {
  if (messenger_ != nullptr) FlutterDesktopMessengerRelease(messenger_);
}

EngineReply::EngineReply(std::shared_ptr<MessengerReference> messenger,
                         const FlutterDesktopMessageResponseHandle* response_handle)
    : shared_(std::make_shared<Shared>()) {
  shared_->messenger = std::move(messenger);
  shared_->responseHandle.store(response_handle);
}

void EngineReply::operator()(const uint8_t* data, size_t data_size) const {
  FlutterDesktopMessengerRef messenger = shared_->messenger->Get();
  if (messenger == nullptr) return;
  FlutterDesktopMessengerRef lock = FlutterDesktopMessengerLock(messenger);
  if (FlutterDesktopMessengerIsAvailable(messenger)) {
    // Taking the handle atomically keeps two racing copies from both answering even when the
    // runtime gives no lock.
    const FlutterDesktopMessageResponseHandle* handle = shared_->responseHandle.exchange(nullptr);
    if (handle == nullptr) {
      orvanta::WriteLogLine(std::cerr, "",
                            "Error: Response can be set only once. Ignoring duplicate response.");
    } else {
      FlutterDesktopMessengerSendResponse(messenger, handle, data, data_size);
    }
  }
  if (lock != nullptr) FlutterDesktopMessengerUnlock(lock);
}

}  // namespace flutter
