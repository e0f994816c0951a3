// One method call received on (or sent to) a method channel: a name and an owned argument.
#ifndef ORVANTA_MESSAGING_METHOD_CALL_H_
#define ORVANTA_MESSAGING_METHOD_CALL_H_

#include <memory>
#include <string>
#include <utility>

#include "messaging/encodable_value.h"

namespace flutter {

template <typename T = EncodableValue>
class MethodCall {
 public:
  MethodCall(std::string method_name, std::unique_ptr<T> arguments)
      : method_name_(std::move(method_name)), arguments_(std::move(arguments)) {}
  virtual ~MethodCall() = default;

  MethodCall(const MethodCall&) = delete;
  MethodCall& operator=(const MethodCall&) = delete;

  const std::string& MethodName() const { return method_name_; }

  // Null when the call carries no argument value at all. Decoded calls always carry one,
  // possibly the null value.
  const T* Arguments() const { return arguments_.get(); }

 private:
  std::string method_name_;
  std::unique_ptr<T> arguments_;
};

}  // namespace flutter

#endif  // ORVANTA_MESSAGING_METHOD_CALL_H_
