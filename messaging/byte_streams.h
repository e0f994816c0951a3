// Byte streams the standard codec reads from and writes to.
//
// ByteBufferStreamReader reads a caller-owned buffer that must outlive it; a read past the
// end writes "Invalid read in StandardCodecByteStreamReader" to standard error, delivers 0 or
// leaves the destination untouched, and does not move the position. ByteBufferStreamWriter
// appends to a caller-owned vector and cannot fail.
#ifndef ORVANTA_MESSAGING_BYTE_STREAMS_H_
#define ORVANTA_MESSAGING_BYTE_STREAMS_H_

#include <cstddef>
#include <cstdint>
#include <vector>

namespace flutter {

class ByteStreamReader {
 public:
  virtual ~ByteStreamReader();

  virtual uint8_t ReadNextByte() = 0;
  // Fills `buffer` with the next `length` bytes.
  virtual void ReadInto(uint8_t* buffer, size_t length) = 0;
  // Moves forward to the next multiple of `alignment`, counted from the start of the message.
  virtual void SkipToAlignment(uint8_t alignment) = 0;

  // How many bytes are left, or kUnknownRemaining for a reader that cannot tell. The
  // serializer uses it to keep an announced size that the input cannot back from turning
  // into a huge allocation; readers that cannot tell get the plain unbounded behaviour.
  static constexpr size_t kUnknownRemaining = static_cast<size_t>(-1);
  virtual size_t RemainingBytes() const;
};

class ByteBufferStreamReader : public ByteStreamReader {
 public:
  ByteBufferStreamReader(const uint8_t* bytes, size_t size);
  ~ByteBufferStreamReader() override;

  uint8_t ReadNextByte() override;
  void ReadInto(uint8_t* buffer, size_t length) override;
  // Unchecked: a position beyond the end makes the next read fail.
  void SkipToAlignment(uint8_t alignment) override;
  size_t RemainingBytes() const override;

  size_t Location() const { return location_; }

 private:
  const uint8_t* bytes_;
  size_t size_;
  size_t location_ = 0;
};

class ByteStreamWriter {
 public:
  virtual ~ByteStreamWriter();

  virtual void AppendByte(uint8_t byte) = 0;
  virtual void AppendBytes(const uint8_t* bytes, size_t length) = 0;
  // Appends zero bytes until the output length is a multiple of `alignment`.
  virtual void PadToAlignment(uint8_t alignment) = 0;
};

class ByteBufferStreamWriter : public ByteStreamWriter {
 public:
  explicit ByteBufferStreamWriter(std::vector<uint8_t>* output);
  ~ByteBufferStreamWriter() override;

  void AppendByte(uint8_t byte) override;
  void AppendBytes(const uint8_t* bytes, size_t length) override;
  void PadToAlignment(uint8_t alignment) override;

 private:
  std::vector<uint8_t>* output_;
};

}  // namespace flutter

#endif  // ORVANTA_MESSAGING_BYTE_STREAMS_H_
