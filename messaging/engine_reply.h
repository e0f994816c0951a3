// The reply function made for one incoming message, and the counted messenger reference it
// keeps.
//
// Every copy of one EngineReply shares the message's response handle, so the message is
// answered at most once however often the function is copied or called; later calls write
// the duplicate-response line. The reply keeps the runtime messenger referenced until its last
// copy is gone, and sends only while the runtime says the engine is still there, checked under
// the messenger's lock, so it may be called from any thread and after the engine has ended.
#ifndef ORVANTA_MESSAGING_ENGINE_REPLY_H_
#define ORVANTA_MESSAGING_ENGINE_REPLY_H_

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "messaging/flutter_windows_api.h"

namespace flutter {

// One FlutterDesktopMessengerAddRef, released when this object is destroyed. Shared through
// std::shared_ptr, whose count is atomic, so the runtime sees exactly one release.
class MessengerReference {
 public:
  explicit MessengerReference(FlutterDesktopMessengerRef messenger);
  ~MessengerReference();

  MessengerReference(const MessengerReference&) = delete;
  MessengerReference& operator=(const MessengerReference&) = delete;

  FlutterDesktopMessengerRef Get() const { return messenger_; }

 private:
  FlutterDesktopMessengerRef messenger_;
};

class EngineReply {
 public:
  EngineReply(std::shared_ptr<MessengerReference> messenger,
              const FlutterDesktopMessageResponseHandle* response_handle);

  void operator()(const uint8_t* data, size_t data_size) const;

 private:
  struct Shared {
    std::shared_ptr<MessengerReference> messenger;
    std::atomic<const FlutterDesktopMessageResponseHandle*> responseHandle;
  };
  std::shared_ptr<Shared> shared_;
};

}  // namespace flutter

#endif  // ORVANTA_MESSAGING_ENGINE_REPLY_H_
