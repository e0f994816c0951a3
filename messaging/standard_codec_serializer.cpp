#include "messaging/standard_codec_serializer.h"

#include <algorithm>
#include <cstring>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "support/log_line.h"

// Numbers travel little-endian and are copied as whole blocks in host byte order; every
// host this library is built for (x86-64 Windows and Linux) is little-endian.

namespace flutter {
namespace {

enum Tag : uint8_t {
  kNull = 0,
  kTrue = 1,
  kFalse = 2,
  kInt32 = 3,
  kInt64 = 4,
  kLargeInt = 5,  // read as a string, never written
  kFloat64 = 6,
  kString = 7,
  kUint8List = 8,
  kInt32List = 9,
  kInt64List = 10,
  kFloat64List = 11,
  kList = 12,
  kMap = 13,
  kFloat32List = 14,
};

constexpr uint8_t kSize16 = 254;
constexpr size_t kMaxListReservation = 4096;
constexpr uint8_t kSize32 = 255;

// Depth of the lists and maps being read on this thread. Kept outside the serializer so that
// the recursion can stay on the virtual ReadValueOfType that derived serializers override.
thread_local int g_read_depth = 0;

class DepthGuard {
 public:
  DepthGuard() { ++g_read_depth; }
  ~DepthGuard() { --g_read_depth; }
  DepthGuard(const DepthGuard&) = delete;
  DepthGuard& operator=(const DepthGuard&) = delete;
};

void ReportCutShort(uint32_t announced) {
  orvanta::WriteLogLine(std::cerr,
                        "Size beyond end of message in StandardCodecSerializer::ReadValueOfType: ",
                        std::to_string(announced));
}

// True when `bytes` more bytes cannot come from the input and zero-filling them would cost
// more than a truncated message deserves. Readers that cannot tell what is left report the
// largest size_t, so they never trigger this.
bool TooLargeForRest(uint64_t bytes, const ByteStreamReader& stream) {
  return bytes > stream.RemainingBytes() && bytes > StandardCodecSerializer::kMaxZeroFillPastEnd;
}

template <typename Scalar>
Scalar ReadScalar(ByteStreamReader* stream) {
  uint8_t bytes[sizeof(Scalar)] = {};
  stream->ReadInto(bytes, sizeof(Scalar));
  Scalar value;
  std::memcpy(&value, bytes, sizeof(Scalar));
  return value;
}

// The tag, the size field and, when short, the payload go out in one append: a value then
// costs the writer one call instead of three or four, which is most of the encoding time of
// trees of small values.
class Header {
 public:
  explicit Header(uint8_t tag) { bytes_[length_++] = tag; }

  void Size(size_t size) {
    if (size < kSize16) {
      bytes_[length_++] = static_cast<uint8_t>(size);
    } else if (size <= 0xFFFF) {
      bytes_[length_++] = kSize16;
      Little(size, 2);
    } else {
      bytes_[length_++] = kSize32;
      Little(static_cast<uint32_t>(size), 4);
    }
  }

  template <typename Number>
  void Scalar(Number value) {
    std::memcpy(bytes_ + length_, &value, sizeof(Number));
    length_ += sizeof(Number);
  }

  // Appends the header, then `payload` in the same call when it fits, else in one block.
  void AppendWith(const uint8_t* payload, size_t size, ByteStreamWriter* stream) {
    if (size <= sizeof(bytes_) - length_) {
      if (size > 0) {
        std::memcpy(bytes_ + length_, payload, size);
        length_ += size;
      }
      stream->AppendBytes(bytes_, length_);
      return;
    }
    stream->AppendBytes(bytes_, length_);
    stream->AppendBytes(payload, size);
  }
  void Append(ByteStreamWriter* stream) { stream->AppendBytes(bytes_, length_); }

 private:
  void Little(uint64_t value, size_t count) {
    for (size_t i = 0; i < count; ++i) {
      bytes_[length_++] = static_cast<uint8_t>(value >> (8 * i));
    }
  }

  uint8_t bytes_[32];
  size_t length_ = 0;
};

template <typename Element>
EncodableValue ReadTypedList(const StandardCodecSerializer& serializer, ByteStreamReader* stream,
                             uint8_t alignment) {
  const uint32_t count = serializer.ReadSizePrefix(stream);
  if (alignment > 1) {
    stream->SkipToAlignment(alignment);
  }
  if (TooLargeForRest(uint64_t{count} * sizeof(Element), *stream)) {
    ReportCutShort(count);
    return EncodableValue(std::vector<Element>());
  }
  std::vector<Element> elements(count);
  stream->ReadInto(reinterpret_cast<uint8_t*>(elements.data()), elements.size() * sizeof(Element));
  return EncodableValue(std::move(elements));
}

template <typename Element>
void WriteTypedList(uint8_t tag, const std::vector<Element>& elements, uint8_t alignment,
                    ByteStreamWriter* stream) {
  Header header(tag);
  header.Size(elements.size());
  const auto* payload = reinterpret_cast<const uint8_t*>(elements.data());
  const size_t size = elements.size() * sizeof(Element);
  if (alignment <= 1) {
    header.AppendWith(payload, size, stream);
    return;
  }
  header.Append(stream);
  stream->PadToAlignment(alignment);
  if (size > 0) {
    stream->AppendBytes(payload, size);
  }
}

}  // namespace

StandardCodecSerializer::StandardCodecSerializer() = default;
StandardCodecSerializer::~StandardCodecSerializer() = default;

const StandardCodecSerializer& StandardCodecSerializer::SharedInstance() {
  static StandardCodecSerializer instance;
  return instance;
}

void StandardCodecSerializer::WriteValue(const EncodableValue& value,
                                         ByteStreamWriter* stream) const {
  switch (static_cast<ValueIndex>(value.index())) {
    case ValueIndex::kNull:
      stream->AppendByte(kNull);
      return;
    case ValueIndex::kBool:
      stream->AppendByte(*std::get_if<bool>(&value) ? kTrue : kFalse);
      return;
    case ValueIndex::kInt32: {
      Header header(kInt32);
      header.Scalar(*std::get_if<int32_t>(&value));
      header.Append(stream);
      return;
    }
    case ValueIndex::kInt64: {
      Header header(kInt64);
      header.Scalar(*std::get_if<int64_t>(&value));
      header.Append(stream);
      return;
    }
    case ValueIndex::kDouble: {
      stream->AppendByte(kFloat64);
      stream->PadToAlignment(8);
      const double number = *std::get_if<double>(&value);
      uint8_t bytes[sizeof(number)];
      std::memcpy(bytes, &number, sizeof(number));
      stream->AppendBytes(bytes, sizeof(bytes));
      return;
    }
    case ValueIndex::kString: {
      const auto& text = *std::get_if<std::string>(&value);
      Header header(kString);
      header.Size(text.size());
      header.AppendWith(reinterpret_cast<const uint8_t*>(text.data()), text.size(), stream);
      return;
    }
    case ValueIndex::kUint8List:
      WriteTypedList(kUint8List, *std::get_if<std::vector<uint8_t>>(&value), 1, stream);
      return;
    case ValueIndex::kInt32List:
      WriteTypedList(kInt32List, *std::get_if<std::vector<int32_t>>(&value), 4, stream);
      return;
    case ValueIndex::kInt64List:
      WriteTypedList(kInt64List, *std::get_if<std::vector<int64_t>>(&value), 8, stream);
      return;
    case ValueIndex::kFloat64List:
      WriteTypedList(kFloat64List, *std::get_if<std::vector<double>>(&value), 8, stream);
      return;
    case ValueIndex::kList: {
      const auto& list = *std::get_if<EncodableList>(&value);
      Header header(kList);
      header.Size(list.size());
      header.Append(stream);
      for (const EncodableValue& element : list) {
        WriteValue(element, stream);
      }
      return;
    }
    case ValueIndex::kMap: {
      const auto& map = *std::get_if<EncodableMap>(&value);
      Header header(kMap);
      header.Size(map.size());
      header.Append(stream);
      for (const auto& entry : map) {
        WriteValue(entry.first, stream);
        WriteValue(entry.second, stream);
      }
      return;
    }
    case ValueIndex::kCustom:
      // The peer cannot know the object; it travels as null.
      stream->AppendByte(kNull);
      orvanta::WriteLogLine(std::cerr, "",
                            "Unhandled custom type in StandardCodecSerializer::WriteValue. "
                            "Custom types require codec extensions.");
      return;
    case ValueIndex::kFloat32List:
      WriteTypedList(kFloat32List, *std::get_if<std::vector<float>>(&value), 4, stream);
      return;
  }
}

EncodableValue StandardCodecSerializer::ReadValueOfType(uint8_t type,
                                                        ByteStreamReader* stream) const {
  switch (type) {
    case kNull:
      return EncodableValue();
    case kTrue:
      return EncodableValue(true);
    case kFalse:
      return EncodableValue(false);
    case kInt32:
      return EncodableValue(ReadScalar<int32_t>(stream));
    case kInt64:
      return EncodableValue(ReadScalar<int64_t>(stream));
    case kFloat64:
      stream->SkipToAlignment(8);
      return EncodableValue(ReadScalar<double>(stream));
    case kLargeInt:
    case kString: {
      const uint32_t size = ReadSizePrefix(stream);
      if (TooLargeForRest(size, *stream)) {
        ReportCutShort(size);
        return EncodableValue(std::string());
      }
      std::string text(size, '\0');
      stream->ReadInto(reinterpret_cast<uint8_t*>(&text[0]), text.size());
      return EncodableValue(std::move(text));
    }
    case kUint8List:
      return ReadTypedList<uint8_t>(*this, stream, 1);
    case kInt32List:
      return ReadTypedList<int32_t>(*this, stream, 4);
    case kInt64List:
      return ReadTypedList<int64_t>(*this, stream, 8);
    case kFloat64List:
      return ReadTypedList<double>(*this, stream, 8);
    case kFloat32List:
      return ReadTypedList<float>(*this, stream, 4);
    case kList:
    case kMap:
      // Nothing of the payload is read, like an unknown tag: the enclosing containers go on
      // with the next byte, so a flood of nested headers costs neither stack nor time.
      if (g_read_depth >= kMaxNestingDepth) {
        orvanta::WriteLogLine(std::cerr, "Value nested deeper than ",
                              std::to_string(kMaxNestingDepth) +
                                  " levels in StandardCodecSerializer::ReadValueOfType");
        return EncodableValue();
      }
      return type == kList ? ReadList(stream) : ReadMap(stream);
    default:
      orvanta::WriteLogLine(std::cerr, "Unknown type in StandardCodecSerializer::ReadValueOfType: ",
                            std::to_string(static_cast<unsigned>(type)));
      return EncodableValue();
  }
}

EncodableValue StandardCodecSerializer::ReadList(ByteStreamReader* stream) const {
  DepthGuard depth;
  const uint32_t count = ReadSizePrefix(stream);
  EncodableList list;
  // Every element takes at least its tag byte, so the rest of the input bounds the room
  // worth reserving. The fixed cap keeps a chain of nested lists, each announcing the whole
  // rest of the input, from reserving it once per level; longer lists grow as they fill.
  list.reserve(std::min<size_t>({count, stream->RemainingBytes(), kMaxListReservation}));
  size_t past_end = 0;
  for (uint32_t i = 0; i < count; ++i) {
    if (stream->RemainingBytes() == 0 && ++past_end > kMaxElementsPastEnd) {
      ReportCutShort(count);
      break;
    }
    const uint8_t tag = stream->ReadNextByte();
    list.push_back(ReadValueOfType(tag, stream));
  }
  return EncodableValue(std::move(list));
}

EncodableValue StandardCodecSerializer::ReadMap(ByteStreamReader* stream) const {
  DepthGuard depth;
  const uint32_t count = ReadSizePrefix(stream);
  EncodableMap map;
  size_t past_end = 0;
  for (uint32_t i = 0; i < count; ++i) {
    if (stream->RemainingBytes() == 0 && ++past_end > kMaxElementsPastEnd) {
      ReportCutShort(count);
      break;
    }
    const uint8_t key_tag = stream->ReadNextByte();
    EncodableValue key = ReadValueOfType(key_tag, stream);
    const uint8_t value_tag = stream->ReadNextByte();
    EncodableValue value = ReadValueOfType(value_tag, stream);
    // Keys arrive in ascending order from every writer of this format, so the end is the
    // right hint; an existing equal key is left alone: the first of duplicate keys wins.
    map.emplace_hint(map.end(), std::move(key), std::move(value));
  }
  return EncodableValue(std::move(map));
}

void StandardCodecSerializer::WriteSizePrefix(size_t size, ByteStreamWriter* stream) const {
  if (size < kSize16) {
    stream->AppendByte(static_cast<uint8_t>(size));
  } else if (size <= 0xFFFF) {
    stream->AppendByte(kSize16);
    const uint8_t bytes[2] = {static_cast<uint8_t>(size), static_cast<uint8_t>(size >> 8)};
    stream->AppendBytes(bytes, sizeof(bytes));
  } else {
    stream->AppendByte(kSize32);
    const auto low = static_cast<uint32_t>(size);
    const uint8_t bytes[4] = {static_cast<uint8_t>(low), static_cast<uint8_t>(low >> 8),
                              static_cast<uint8_t>(low >> 16), static_cast<uint8_t>(low >> 24)};
    stream->AppendBytes(bytes, sizeof(bytes));
  }
}

uint32_t StandardCodecSerializer::ReadSizePrefix(ByteStreamReader* stream) const {
  const uint8_t first = stream->ReadNextByte();
  if (first < kSize16) {
    return first;
  }
  if (first == kSize16) {
    uint8_t bytes[2] = {};
    stream->ReadInto(bytes, sizeof(bytes));
    return static_cast<uint32_t>(bytes[0] | (bytes[1] << 8));
  }
  uint8_t bytes[4] = {};
  stream->ReadInto(bytes, sizeof(bytes));
  return static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
         (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

}  // namespace flutter
