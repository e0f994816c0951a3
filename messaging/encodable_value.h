// The value exchanged over method channels: a tagged union of fourteen alternatives.
//
// The alternative order is part of the wire contract: the standard codec maps each index to
// its type tag, and values of different alternatives order by index. Maps iterate in that
// value order, which is also the order their entries are encoded in.
#ifndef ORVANTA_MESSAGING_ENCODABLE_VALUE_H_
#define ORVANTA_MESSAGING_ENCODABLE_VALUE_H_

#include <any>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace flutter {

// An application object the codec cannot encode. Custom values order by their own address;
// the library never creates one.
class CustomValue {
 public:
  explicit CustomValue(std::any value) : value_(std::move(value)) {}

  const std::any& Value() const { return value_; }

  friend bool operator<(const CustomValue& a, const CustomValue& b) {
    return std::less<const CustomValue*>()(&a, &b);
  }

 private:
  std::any value_;
};

class EncodableValue;
using EncodableList = std::vector<EncodableValue>;
using EncodableMap = std::map<EncodableValue, EncodableValue>;

namespace internal {
using EncodableVariant =
    std::variant<std::monostate, bool, int32_t, int64_t, double, std::string, std::vector<uint8_t>,
                 std::vector<int32_t>, std::vector<int64_t>, std::vector<double>, EncodableList,
                 EncodableMap, CustomValue, std::vector<float>>;
}  // namespace internal

class EncodableValue : public internal::EncodableVariant {
 public:
  using super = internal::EncodableVariant;
  using super::super;
  using super::operator=;

  EncodableValue() = default;

  // Without this, a string literal would convert to bool.
  explicit EncodableValue(const char* text) : super(std::string(text)) {}
  EncodableValue& operator=(const char* text) {
    super::operator=(std::string(text));
    return *this;
  }

  // The value order: alternative index first, then content. Strings and byte lists compare
  // by unsigned byte; NaN is neither less nor greater than any double.
  friend bool operator<(const EncodableValue& a, const EncodableValue& b) {
    return static_cast<const super&>(a) < static_cast<const super&>(b);
  }
};

// Indices of the alternatives, named for readability where code switches on index().
enum class ValueIndex : std::size_t {
  kNull = 0,
  kBool = 1,
  kInt32 = 2,
  kInt64 = 3,
  kDouble = 4,
  kString = 5,
  kUint8List = 6,
  kInt32List = 7,
  kInt64List = 8,
  kFloat64List = 9,
  kList = 10,
  kMap = 11,
  kCustom = 12,
  kFloat32List = 13,
};

}  // namespace flutter

#endif  // ORVANTA_MESSAGING_ENCODABLE_VALUE_H_
