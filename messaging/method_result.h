// The one-shot answer sink handed, uniquely owned, to a method-call handler.
//
// Exactly one of Success, Error or NotImplemented should be called once; what happens on a
// second answer or on none is up to the implementation (EngineMethodResult reports both).
#ifndef ORVANTA_MESSAGING_METHOD_RESULT_H_
#define ORVANTA_MESSAGING_METHOD_RESULT_H_

#include <string>

#include "messaging/encodable_value.h"

namespace flutter {

template <typename T = EncodableValue>
class MethodResult {
 public:
  MethodResult() = default;
  virtual ~MethodResult() = default;

  MethodResult(const MethodResult&) = delete;
  MethodResult& operator=(const MethodResult&) = delete;

  void Success(const T& result) { DeliverSuccess(&result); }
  void Success() { DeliverSuccess(nullptr); }

  void Error(const std::string& code, const std::string& message, const T& details) {
    DeliverError(code, message, &details);
  }
  void Error(const std::string& code, const std::string& message = "") {
    DeliverError(code, message, nullptr);
  }

  void NotImplemented() { DeliverNotImplemented(); }

 protected:
  virtual void DeliverSuccess(const T* result) = 0;
  virtual void DeliverError(const std::string& code, const std::string& message,
                            const T* details) = 0;
  virtual void DeliverNotImplemented() = 0;
};

}  // namespace flutter

#endif  // ORVANTA_MESSAGING_METHOD_RESULT_H_
