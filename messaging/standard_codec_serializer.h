// Writes and reads one EncodableValue, with everything nested in it, in the standard binary
// message format shared with the UI program.
//
// The serializer holds no state; one shared instance serves every codec. Nested values go
// through the virtual WriteValue and ReadValueOfType, so a derived serializer sees every
// element. Nothing is reported to the caller: malformed input decodes to a complete value
// tree (missing scalars 0, missing tags null) with one line per problem on standard error.
//
// Hostile sizes are contained: lists and maps nested more than kMaxNestingDepth levels
// decode as null, and when the reader can tell how many bytes are left, a size announcing
// more than those bytes can back only zero-fills up to kMaxZeroFillPastEnd bytes or
// kMaxElementsPastEnd elements; beyond that the value is cut short with one line.
#ifndef ORVANTA_MESSAGING_STANDARD_CODEC_SERIALIZER_H_
#define ORVANTA_MESSAGING_STANDARD_CODEC_SERIALIZER_H_

#include <cstddef>
#include <cstdint>

#include "messaging/byte_streams.h"
#include "messaging/encodable_value.h"

namespace flutter {

class StandardCodecSerializer {
 public:
  // Containers up to this many levels deep decode; a deeper list or map reads as null.
  static constexpr int kMaxNestingDepth = 256;
  // A string or typed list running past the end of the input is still returned at its
  // announced length, zero-filled, when that length is at most this many bytes.
  static constexpr size_t kMaxZeroFillPastEnd = 4096;
  // Elements a list or map still decodes as null once the input is exhausted.
  static constexpr size_t kMaxElementsPastEnd = 64;

  StandardCodecSerializer();
  virtual ~StandardCodecSerializer();

  StandardCodecSerializer(const StandardCodecSerializer&) = delete;
  StandardCodecSerializer& operator=(const StandardCodecSerializer&) = delete;

  // Created on first use, destroyed at process exit.
  static const StandardCodecSerializer& SharedInstance();

  virtual void WriteValue(const EncodableValue& value, ByteStreamWriter* stream) const;
  // `type` is the tag byte the caller has already read.
  virtual EncodableValue ReadValueOfType(uint8_t type, ByteStreamReader* stream) const;

  // Sizes of 2^32 and more keep only their low 32 bits; callers must not write such values.
  void WriteSizePrefix(size_t size, ByteStreamWriter* stream) const;
  uint32_t ReadSizePrefix(ByteStreamReader* stream) const;

 private:
  EncodableValue ReadList(ByteStreamReader* stream) const;
  EncodableValue ReadMap(ByteStreamReader* stream) const;
};

}  // namespace flutter

#endif  // ORVANTA_MESSAGING_STANDARD_CODEC_SERIALIZER_H_
