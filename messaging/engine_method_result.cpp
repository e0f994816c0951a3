#include "messaging/engine_method_result.h"

#include <memory>
#include <utility>
#include <vector>

namespace flutter {

EngineMethodResult::EngineMethodResult(ReplyFunction reply,
                                       const MethodCodec<EncodableValue>* codec)
    : reply_(std::move(reply)), codec_(codec) {}

EngineMethodResult::~EngineMethodResult() = default;

void EngineMethodResult::DeliverSuccess(const EncodableValue* result) {
  std::unique_ptr<std::vector<uint8_t>> bytes = codec_->EncodeSuccessReply(result);
  reply_.SendResponseBytes(bytes.get());
}

void EngineMethodResult::DeliverError(const std::string& code, const std::string& message,
                                      const EncodableValue* details) {
  std::unique_ptr<std::vector<uint8_t>> bytes = codec_->EncodeErrorReply(code, message, details);
  reply_.SendResponseBytes(bytes.get());
}

void EngineMethodResult::DeliverNotImplemented() { reply_.SendResponseBytes(nullptr); }

}  // namespace flutter
