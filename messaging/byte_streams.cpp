#include "messaging/byte_streams.h"

#include <cstring>
#include <iostream>

#include "support/log_line.h"

namespace flutter {
namespace {

void ReportInvalidRead() {
  orvanta::WriteLogLine(std::cerr, "", "Invalid read in StandardCodecByteStreamReader");
}

}  // namespace

ByteStreamReader::~ByteStreamReader() = default;

size_t ByteStreamReader::RemainingBytes() const { return kUnknownRemaining; }

ByteBufferStreamReader::ByteBufferStreamReader(const uint8_t* bytes, size_t size)
    : bytes_(bytes), size_(size) {}

ByteBufferStreamReader::~ByteBufferStreamReader() = default;

uint8_t ByteBufferStreamReader::ReadNextByte() {
  if (location_ >= size_) {
    ReportInvalidRead();
    return 0;
  }
  return bytes_[location_++];
}

void ByteBufferStreamReader::ReadInto(uint8_t* buffer, size_t length) {
  // Written so that a huge length cannot wrap around the sum.
  if (location_ > size_ || length > size_ - location_) {
    ReportInvalidRead();
    return;
  }
  if (length > 0) {
    std::memcpy(buffer, bytes_ + location_, length);
  }
  location_ += length;
}

void ByteBufferStreamReader::SkipToAlignment(uint8_t alignment) {
  if (alignment == 0) {
    return;
  }
  const size_t remainder = location_ % alignment;
  if (remainder != 0) {
    location_ += alignment - remainder;
  }
}

size_t ByteBufferStreamReader::RemainingBytes() const {
  return location_ < size_ ? size_ - location_ : 0;
}

ByteStreamWriter::~ByteStreamWriter() = default;

ByteBufferStreamWriter::ByteBufferStreamWriter(std::vector<uint8_t>* output) : output_(output) {}

ByteBufferStreamWriter::~ByteBufferStreamWriter() = default;

void ByteBufferStreamWriter::AppendByte(uint8_t byte) { output_->push_back(byte); }

void ByteBufferStreamWriter::AppendBytes(const uint8_t* bytes, size_t length) {
  // Most appends are a value's header with a short payload, for which the general range
  // insert costs more than the copy; large blocks still go in one insertion.
  if (length <= 8) {
    for (size_t i = 0; i < length; ++i) {
      output_->push_back(bytes[i]);
    }
    return;
  }
  output_->insert(output_->end(), bytes, bytes + length);
}

void ByteBufferStreamWriter::PadToAlignment(uint8_t alignment) {
  if (alignment == 0) {
    return;
  }
  const size_t remainder = output_->size() % alignment;
  if (remainder != 0) {
    output_->insert(output_->end(), alignment - remainder, uint8_t{0});
  }
}

}  // namespace flutter
