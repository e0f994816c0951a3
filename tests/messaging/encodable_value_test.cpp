#include "messaging/encodable_value.h"

#include <gtest/gtest.h>

#include <any>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace flutter {
namespace {

// Map keys travel in this order, so it is part of the wire format. The keys of one number in
// two widths stay two keys.
TEST(EncodableValueTest, ValuesOrderByAlternativeThenContent) {
  EXPECT_LT(EncodableValue(), EncodableValue(false));
  EXPECT_LT(EncodableValue(true), EncodableValue(int32_t{-5}));
  EXPECT_LT(EncodableValue(int32_t{100}), EncodableValue(int64_t{1}));
  EXPECT_LT(EncodableValue(int32_t{5}), EncodableValue(int64_t{5}));
  EXPECT_LT(EncodableValue(std::vector<int64_t>{9}), EncodableValue(std::vector<double>{0}));
  EXPECT_LT(EncodableValue(CustomValue(std::any(1))), EncodableValue(std::vector<float>{}));
  EXPECT_FALSE(EncodableValue() < EncodableValue());
  EXPECT_LT(EncodableValue(false), EncodableValue(true));
  EXPECT_LT(EncodableValue(int32_t{-3}), EncodableValue(int32_t{2}));
  // A text given as a literal is a string, not the bool its pointer would convert to.
  EXPECT_LT(EncodableValue("ab"), EncodableValue("abc"));
  EXPECT_LT(EncodableValue(std::string("\x7f")), EncodableValue(std::string("\x80")));
  EXPECT_LT(EncodableValue(std::vector<uint8_t>{0x7f}), EncodableValue(std::vector<uint8_t>{0x80}));
  EXPECT_LT(EncodableValue(std::vector<uint8_t>{1}), EncodableValue(std::vector<uint8_t>{1, 0}));
  EXPECT_LT(EncodableValue(EncodableList{EncodableValue(1)}),
            EncodableValue(EncodableList{EncodableValue(2)}));
  EXPECT_LT(EncodableValue(EncodableMap{{EncodableValue("a"), EncodableValue(2)}}),
            EncodableValue(EncodableMap{{EncodableValue("b"), EncodableValue(1)}}));
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_FALSE(EncodableValue(nan) < EncodableValue(1.0));
  EXPECT_FALSE(EncodableValue(1.0) < EncodableValue(nan));
}

}  // namespace
}  // namespace flutter
