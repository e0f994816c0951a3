#include "messaging/encodable_value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <utility>

#include "messaging/method_call.h"
#include "messaging/method_result.h"

namespace flutter {
namespace {

// Map keys travel in this order, so it is part of the wire format.
TEST(EncodableValueTest, ValuesOrderByAlternativeThenContent) {
  EXPECT_LT(EncodableValue(), EncodableValue(false));
  EXPECT_LT(EncodableValue(true), EncodableValue(int32_t{-5}));
  EXPECT_LT(EncodableValue(int32_t{100}), EncodableValue(int64_t{1}));
  EXPECT_LT(EncodableValue(std::vector<int64_t>{9}), EncodableValue(std::vector<double>{0}));
  EXPECT_LT(EncodableValue(CustomValue(std::any(1))), EncodableValue(std::vector<float>{}));
  EXPECT_FALSE(EncodableValue() < EncodableValue());
  EXPECT_LT(EncodableValue(false), EncodableValue(true));
  EXPECT_LT(EncodableValue(int32_t{-3}), EncodableValue(int32_t{2}));
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

TEST(EncodableValueTest, MapKeysAreDistinctAcrossAlternativesAndIterateInValueOrder) {
  EncodableMap map;
  map[EncodableValue(int64_t{5})] = EncodableValue("wide");
  map[EncodableValue(int32_t{5})] = EncodableValue("narrow");
  ASSERT_EQ(map.size(), 2u);
  EXPECT_EQ(map.begin()->first.index(), 2u);

  EncodableMap speeds;
  speeds.emplace(EncodableValue("uploadSpeed"), EncodableValue(0.25));
  speeds.emplace(EncodableValue("downloadSpeed"), EncodableValue(1.5));
  EXPECT_EQ(std::get<std::string>(speeds.begin()->first), "downloadSpeed");

  // Insertion keeps the first entry for a key.
  EXPECT_FALSE(speeds.emplace(EncodableValue("uploadSpeed"), EncodableValue(9.0)).second);
  EXPECT_EQ(std::get<double>(speeds.at(EncodableValue("uploadSpeed"))), 0.25);

  // A lookup matches only the same alternative.
  EncodableMap args{{EncodableValue("config"), EncodableValue("{}")}};
  EXPECT_NE(args.find(EncodableValue("config")), args.end());
  EXPECT_EQ(args.find(EncodableValue(std::vector<uint8_t>{'c', 'o', 'n', 'f', 'i', 'g'})),
            args.end());
}

class RecordingResult : public MethodResult<> {
 public:
  std::string record;

 protected:
  void DeliverSuccess(const EncodableValue* value) override {
    record += value ? "success(value)" : "success()";
  }
  void DeliverError(const std::string& code, const std::string& message,
                    const EncodableValue* details) override {
    record += "error(" + code + "," + message + "," + (details ? "details" : "none") + ")";
  }
  void DeliverNotImplemented() override { record += "notimplemented"; }
};

TEST(MethodCallAndResultTest, CallOwnsArgumentsAndResultForwardsToDeliverers) {
  MethodCall<> with_args("m", std::make_unique<EncodableValue>(7));
  ASSERT_NE(with_args.Arguments(), nullptr);
  EXPECT_EQ(std::get<int32_t>(*with_args.Arguments()), 7);
  MethodCall<> without_args("n", nullptr);
  EXPECT_EQ(without_args.Arguments(), nullptr);
  EXPECT_EQ(without_args.MethodName(), "n");

  RecordingResult result;
  result.Success();
  result.Success(EncodableValue(true));
  result.Error("CODE");
  result.Error("CODE", "msg", EncodableValue(1));
  result.NotImplemented();
  EXPECT_EQ(result.record,
            "success()success(value)error(CODE,,none)error(CODE,msg,details)notimplemented");
}

}  // namespace
}  // namespace flutter
