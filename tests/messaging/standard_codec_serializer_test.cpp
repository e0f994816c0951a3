#include "messaging/standard_codec_serializer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "messaging/byte_streams.h"
#include "tests/messaging/codec_test_support.h"

namespace flutter {
namespace {

using orvanta_test::Bytes;
using orvanta_test::Decode;
using orvanta_test::Encode;
using orvanta_test::Equivalent;
using orvanta_test::Hex;

const char kInvalidRead[] = "Invalid read in StandardCodecByteStreamReader";

struct WireCase {
  const char* description;
  EncodableValue value;
  const char* hex;
};

TEST(StandardCodecSerializerTest, ValuesEncodeToTheirWireBytesAndDecodeBack) {
  EncodableMap speeds;
  speeds[EncodableValue("uploadSpeed")] = EncodableValue(0.25);
  speeds[EncodableValue("downloadSpeed")] = EncodableValue(1.5);
  const WireCase cases[] = {
      {"null", EncodableValue(), "00"},
      {"true", EncodableValue(true), "01"},
      {"false", EncodableValue(false), "02"},
      {"int32 -2", EncodableValue(int32_t{-2}), "03 fe ff ff ff"},
      {"int64", EncodableValue(int64_t{0x0102030405060708}), "04 08 07 06 05 04 03 02 01"},
      {"double at offset 0 pads to 8", EncodableValue(1.5),
       "06 00 00 00 00 00 00 00 00 00 00 00 00 00 f8 3f"},
      {"string", EncodableValue("isRunning"), "07 09 69 73 52 75 6e 6e 69 6e 67"},
      {"empty string", EncodableValue(""), "07 00"},
      {"byte list, no padding", EncodableValue(std::vector<uint8_t>{1, 0xff}), "08 02 01 ff"},
      {"int32 list", EncodableValue(std::vector<int32_t>{1, 2}),
       "09 02 00 00 01 00 00 00 02 00 00 00"},
      {"empty int32 list still pads", EncodableValue(std::vector<int32_t>{}), "09 00 00 00"},
      {"int64 list", EncodableValue(std::vector<int64_t>{-1}),
       "0a 01 00 00 00 00 00 00 ff ff ff ff ff ff ff ff"},
      {"float64 list", EncodableValue(std::vector<double>{1.5}),
       "0b 01 00 00 00 00 00 00 00 00 00 00 00 00 f8 3f"},
      {"float32 list", EncodableValue(std::vector<float>{1.5f}), "0e 01 00 00 00 00 c0 3f"},
      {"list", EncodableValue(EncodableList{EncodableValue(true), EncodableValue()}),
       "0c 02 01 00"},
      {"map in key order", EncodableValue(speeds),
       "0d 02 07 0d 64 6f 77 6e 6c 6f 61 64 53 70 65 65 64 06 00 00 00 00 00 00"
       " 00 00 00 00 00 00 f8 3f 07 0b 75 70 6c 6f 61 64 53 70 65 65 64 06 00 00"
       " 00 00 00 00 00 00 d0 3f"},
      {"list of two empty int32 lists then a byte",
       EncodableValue(EncodableList{EncodableValue(std::vector<int32_t>{}),
                                    EncodableValue(std::vector<int32_t>{}), EncodableValue(true)}),
       "0c 03 09 00 09 00 00 00 01"},
  };
  for (const WireCase& c : cases) {
    SCOPED_TRACE(c.description);
    StderrCapture err;
    EXPECT_EQ(Hex(Encode(c.value)), Hex(Bytes(c.hex)));
    const EncodableValue decoded = Decode(Bytes(c.hex));
    EXPECT_TRUE(Equivalent(decoded, c.value));
    EXPECT_EQ(err.Text(), "");
  }
}

TEST(StandardCodecSerializerTest, SizePrefixTakesOneThreeOrFiveBytes) {
  const auto& serializer = StandardCodecSerializer::SharedInstance();
  const struct {
    size_t size;
    const char* hex;
  } cases[] = {{0, "00"},
               {253, "fd"},
               {254, "fe fe 00"},
               {300, "fe 2c 01"},
               {65535, "fe ff ff"},
               {65536, "ff 00 00 01 00"},
               {0x12345678, "ff 78 56 34 12"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    std::vector<uint8_t> out;
    ByteBufferStreamWriter writer(&out);
    serializer.WriteSizePrefix(c.size, &writer);
    EXPECT_EQ(Hex(out), Hex(Bytes(c.hex)));
    ByteBufferStreamReader reader(out.data(), out.size());
    EXPECT_EQ(serializer.ReadSizePrefix(&reader), c.size);
    EXPECT_EQ(reader.Location(), out.size());
  }
  // A whole string of each boundary size survives with its prefix.
  for (size_t size : {253u, 254u, 65535u, 65536u}) {
    const EncodableValue text(std::string(size, 'x'));
    const std::vector<uint8_t> wire = Encode(text);
    EXPECT_EQ(wire.size(), 1 + size + (size < 254 ? 1 : size <= 65535 ? 3 : 5));
    EXPECT_TRUE(Equivalent(Decode(wire), text)) << size;
  }
}

TEST(StandardCodecSerializerTest, AlignmentCountsFromTheStartOfTheMessage) {
  EXPECT_EQ(Hex(Encode(EncodableValue(1.5), {0x00})),
            Hex(Bytes("00 06 00 00 00 00 00 00 00 00 00 00 00 00 f8 3f")));
  // Every alternative, nested, written after 0 to 7 leading bytes reads back unchanged.
  EncodableMap map;
  map[EncodableValue(int32_t{5})] = EncodableValue(std::vector<float>{1.0f, -2.5f, 3.0f});
  map[EncodableValue(int64_t{5})] = EncodableValue(std::vector<double>{0.5});
  map[EncodableValue("k")] = EncodableValue(EncodableList{EncodableValue(2.0)});
  const EncodableValue tree(EncodableList{
      EncodableValue(), EncodableValue(true), EncodableValue(false), EncodableValue(int32_t{-7}),
      EncodableValue(int64_t{1} << 40), EncodableValue(-0.125), EncodableValue("\xff\x00z"),
      EncodableValue(std::vector<uint8_t>{9, 8, 7}), EncodableValue(std::vector<int32_t>{-1, 3}),
      EncodableValue(std::vector<int64_t>{4}), EncodableValue(std::vector<double>{}),
      EncodableValue(map), EncodableValue(std::vector<float>{}), EncodableValue(4.0)});
  for (size_t offset = 0; offset < 8; ++offset) {
    SCOPED_TRACE(offset);
    StderrCapture err;
    const std::vector<uint8_t> wire = Encode(tree, std::vector<uint8_t>(offset, 0xAA));
    EXPECT_TRUE(Equivalent(Decode(wire, offset), tree));
    EXPECT_EQ(err.Text(), "");
    // Padding bytes are zero and the double lands on a multiple of 8.
    const std::vector<uint8_t> d = Encode(EncodableValue(4.0), std::vector<uint8_t>(offset, 1));
    EXPECT_EQ(d.size() % 8, 0u);
    for (size_t i = offset + 1; i < d.size() - 8; ++i) EXPECT_EQ(d[i], 0) << i;
  }
}

// What other writers send and what is cut short or unknown: one line per problem, and the
// first of duplicate map keys wins.
TEST(StandardCodecSerializerTest, ReadsTagFiveKeepsTheFirstDuplicateKeyAndLogsOneLinePerProblem) {
  const std::string read = std::string(kInvalidRead) + "\n";
  const std::string unknown = "Unknown type in StandardCodecSerializer::ReadValueOfType: ";
  const struct {
    const char* description;
    const char* hex;
    EncodableValue expected;
    std::string log;
  } cases[] = {
      {"tag 5 reads as a string", "05 03 61 62 63", EncodableValue("abc"), ""},
      {"duplicate map key", "0d 02 07 01 61 03 01 00 00 00 07 01 61 03 02 00 00 00",
       EncodableValue(EncodableMap{{EncodableValue("a"), EncodableValue(1)}}), ""},
      {"cut int32", "03 01", EncodableValue(int32_t{0}), read},
      {"list of two with nothing after", "0c 02", EncodableValue(EncodableList(2)), read + read},
      {"cut string keeps its announced length", "07 05 61", EncodableValue(std::string(5, '\0')),
       read},
      {"cut size prefix", "07 fe 05", EncodableValue(""), read},
      {"padding beyond the end", "0b 00", EncodableValue(std::vector<double>{}), read},
      {"empty input", "", EncodableValue(), read},
      {"unknown tag 15", "0f", EncodableValue(), unknown + "15\n"},
      {"unknown tag 255 inside a list goes on with the next byte", "0c 02 ff 01",
       EncodableValue(EncodableList{EncodableValue(), EncodableValue(true)}), unknown + "255\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.description);
    StderrCapture err;
    const EncodableValue value = Decode(Bytes(c.hex));
    EXPECT_TRUE(Equivalent(value, c.expected));
    EXPECT_EQ(err.Text(), c.log);
  }
}

TEST(StandardCodecSerializerTest, CustomValueTravelsAsNullWithOneLine) {
  StderrCapture err;
  EXPECT_EQ(Hex(Encode(EncodableValue(EncodableList{EncodableValue(CustomValue(std::any(1)))}))),
            "0c 01 00");
  EXPECT_EQ(err.Lines(), std::vector<std::string>{
                             "Unhandled custom type in StandardCodecSerializer::WriteValue. "
                             "Custom types require codec extensions."});
}

TEST(StandardCodecSerializerTest, SizesTheInputCannotBackAreNotAllocated) {
  const std::string cut_line =
      "Size beyond end of message in StandardCodecSerializer::ReadValueOfType: 4294967295";
  // Blocks announcing 2^32 - 1 elements in a 6-byte message come back empty.
  const struct {
    const char* hex;
    const char* empty_reencoded;
  } blocks[] = {{"07 ff ff ff ff ff", "07 00"},
                {"05 ff ff ff ff ff", "07 00"},
                {"08 ff ff ff ff ff", "08 00"},
                {"0b ff ff ff ff ff", "0b 00 00 00 00 00 00 00"},
                {"0e ff ff ff ff ff", "0e 00 00 00"}};
  for (const auto& block : blocks) {
    SCOPED_TRACE(block.hex);
    StderrCapture err;
    EXPECT_EQ(Hex(Encode(Decode(Bytes(block.hex)))), Hex(Bytes(block.empty_reencoded)));
    EXPECT_EQ(err.Lines(), std::vector<std::string>{cut_line});
  }
  // Lists and maps stop after a bounded number of missing elements.
  for (const char* hex : {"0c ff ff ff ff ff", "0d ff ff ff ff ff"}) {
    SCOPED_TRACE(hex);
    StderrCapture err;
    const EncodableValue value = Decode(Bytes(hex));
    const auto lines = err.Lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), cut_line);
    EXPECT_LE(lines.size(), 2 * StandardCodecSerializer::kMaxElementsPastEnd + 1);
    if (const auto* list = std::get_if<EncodableList>(&value)) {
      EXPECT_EQ(list->size(), StandardCodecSerializer::kMaxElementsPastEnd);
    } else {
      EXPECT_EQ(std::get<EncodableMap>(value).size(), 1u);  // null -> null, then duplicates
    }
  }
  // Up to the zero-fill limit a cut block keeps its announced length; the limit counts bytes,
  // so a typed list of 512 int64 is at it and one of 513 over it.
  {
    StderrCapture err;
    EXPECT_EQ(std::get<std::string>(Decode(Bytes("07 fe 00 10 61 62"))), std::string(4096, '\0'));
    EXPECT_EQ(std::get<std::string>(Decode(Bytes("07 fe 01 10 61 62"))), "");
    const auto int64s = [](const char* hex) {
      return std::get<std::vector<int64_t>>(Decode(Bytes(hex))).size();
    };
    EXPECT_EQ(int64s("0a fe 00 02 00 00 00 00"), 512u);
    EXPECT_EQ(int64s("0a fe 01 02 00 00 00 00"), 0u);
    const std::string cut =
        "Size beyond end of message in StandardCodecSerializer::ReadValueOfType: ";
    EXPECT_EQ(err.Lines(),
              (std::vector<std::string>{kInvalidRead, cut + "4097", kInvalidRead, cut + "513"}));
  }
  // A list reserves room for no more elements than the rest of the input can hold, and never
  // for more than 4096, so nested lists cannot multiply a small message into gigabytes.
  {
    StderrCapture err;
    std::vector<uint8_t> wire = Bytes("0c fe ff ff");
    wire.insert(wire.end(), 10, 0x00);
    const EncodableValue few = Decode(wire);
    EXPECT_LT(std::get<EncodableList>(few).capacity(), 1000u);
    wire = Bytes("0c fe ff ff 0c fe ff ff");
    wire.insert(wire.end(), 8192, 0x00);
    const EncodableValue nested = Decode(wire);
    EXPECT_LE(std::get<EncodableList>(nested).capacity(), 4096u);
  }
  // Large well-formed values still decode whole.
  {
    StderrCapture err;
    const EncodableValue bytes(std::vector<uint8_t>(1 << 20, 0x5A));
    const EncodableValue ints(std::vector<int32_t>(70000, -3));
    const EncodableValue list(EncodableList(100000, EncodableValue(true)));
    for (const EncodableValue* value : {&bytes, &ints, &list}) {
      EXPECT_TRUE(Equivalent(Decode(Encode(*value)), *value));
    }
    EXPECT_EQ(err.Text(), "");
  }
}

TEST(StandardCodecSerializerTest, NestingBeyondTheLimitReadsAsNullAndDecodingGoesOn) {
  const int limit = StandardCodecSerializer::kMaxNestingDepth;
  auto chain = [](int depth) {
    std::vector<uint8_t> wire;
    for (int i = 0; i < depth; ++i) {
      wire.push_back(0x0c);
      wire.push_back(0x01);
    }
    wire.push_back(0x01);  // true at the bottom
    return wire;
  };
  auto depth_of = [](const EncodableValue& value, EncodableValue* bottom) {
    int depth = 0;
    const EncodableValue* at = &value;
    while (const auto* list = std::get_if<EncodableList>(at)) {
      ++depth;
      at = &list->at(0);
    }
    *bottom = *at;
    return depth;
  };
  for (int pass = 0; pass < 2; ++pass) {  // the depth count must not leak between decodes
    StderrCapture err;
    EncodableValue bottom;
    EXPECT_EQ(depth_of(Decode(chain(limit)), &bottom), limit);
    EXPECT_TRUE(Equivalent(bottom, EncodableValue(true)));
    EXPECT_EQ(err.Text(), "");
    EXPECT_EQ(depth_of(Decode(chain(limit + 1)), &bottom), limit);
    EXPECT_EQ(bottom.index(), 0u);
    EXPECT_EQ(err.Lines(), std::vector<std::string>{"Value nested deeper than 256 levels in "
                                                    "StandardCodecSerializer::ReadValueOfType"});
  }
  // A few hundred kilobytes of nested headers: the bytes after the too-deep header are read
  // on as the following values, here the top list's second element.
  StderrCapture err;
  std::vector<uint8_t> wire = {0x0c, 0x02};
  const std::vector<uint8_t> deep = chain(200000);
  wire.insert(wire.end(), deep.begin(), deep.end() - 1);
  const EncodableValue value = Decode(wire);
  ASSERT_EQ(std::get<EncodableList>(value).size(), 2u);
  EXPECT_TRUE(Equivalent(std::get<EncodableList>(value)[1], EncodableValue(true)));
  EXPECT_EQ(err.Lines().size(), 1u);
}

}  // namespace
}  // namespace flutter
