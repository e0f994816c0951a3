#include "messaging/byte_streams.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "tests/messaging/codec_test_support.h"

namespace flutter {
namespace {

TEST(ByteStreamsTest, FailedReadsReportOnceEachAndNeitherMoveNorWrite) {
  const uint8_t bytes[] = {0x11, 0x22, 0x33};
  ByteBufferStreamReader reader(bytes, sizeof(bytes));
  StderrCapture err;
  EXPECT_EQ(reader.ReadNextByte(), 0x11);
  uint8_t out[4] = {0xEE, 0xEE, 0xEE, 0xEE};
  reader.ReadInto(out, 3);  // one more than is left
  EXPECT_EQ(reader.Location(), 1u);
  EXPECT_EQ(out[0], 0xEE);
  // A length that would wrap location + length around must not pass the check.
  reader.ReadInto(out, std::numeric_limits<size_t>::max());
  EXPECT_EQ(reader.Location(), 1u);
  reader.ReadInto(out, 2);
  EXPECT_EQ(out[0], 0x22);
  EXPECT_EQ(out[1], 0x33);
  EXPECT_EQ(reader.RemainingBytes(), 0u);
  EXPECT_EQ(reader.ReadNextByte(), 0);
  EXPECT_EQ(reader.Location(), 3u);
  // Alignment may step past the end; the next read, even of nothing, then fails.
  reader.SkipToAlignment(8);
  EXPECT_EQ(reader.Location(), 8u);
  EXPECT_EQ(reader.RemainingBytes(), 0u);
  reader.ReadInto(out, 0);
  EXPECT_EQ(err.Lines(),
            std::vector<std::string>(4, "Invalid read in StandardCodecByteStreamReader"));
}

}  // namespace
}  // namespace flutter
