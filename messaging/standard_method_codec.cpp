#include "messaging/standard_method_codec.h"

#include <iostream>
#include <map>
#include <utility>

#include "messaging/byte_streams.h"
#include "support/log_line.h"

namespace flutter {
namespace {

constexpr uint8_t kSuccessEnvelope = 0;
constexpr uint8_t kErrorEnvelope = 1;

EncodableValue ReadCompleteValue(const StandardCodecSerializer& serializer,
                                 ByteStreamReader* stream) {
  const uint8_t tag = stream->ReadNextByte();
  return serializer.ReadValueOfType(tag, stream);
}

}  // namespace

StandardMethodCodec::StandardMethodCodec(const StandardCodecSerializer* serializer)
    : serializer_(serializer) {}

StandardMethodCodec::~StandardMethodCodec() = default;

const StandardMethodCodec& StandardMethodCodec::SharedInstance(
    const StandardCodecSerializer* serializer) {
  // Never destroyed, so channels torn down during process exit still find their codec.
  static auto* codecs =
      new std::map<const StandardCodecSerializer*, std::unique_ptr<StandardMethodCodec>>();
  if (serializer == nullptr) {
    serializer = &StandardCodecSerializer::SharedInstance();
  }
  auto found = codecs->find(serializer);
  if (found == codecs->end()) {
    found = codecs->emplace(serializer, std::make_unique<StandardMethodCodec>(serializer)).first;
  }
  return *found->second;
}

std::unique_ptr<MethodCall<EncodableValue>> StandardMethodCodec::DecodeCall(const uint8_t* message,
                                                                            size_t size) const {
  ByteBufferStreamReader stream(message, size);
  EncodableValue name = ReadCompleteValue(*serializer_, &stream);
  const auto* name_text = std::get_if<std::string>(&name);
  if (name_text == nullptr) {
    orvanta::WriteLogLine(std::cerr, "", "Invalid method call; method name is not a string.");
    return nullptr;
  }
  auto arguments = std::make_unique<EncodableValue>(ReadCompleteValue(*serializer_, &stream));
  return std::make_unique<MethodCall<EncodableValue>>(*name_text, std::move(arguments));
}

std::unique_ptr<std::vector<uint8_t>> StandardMethodCodec::EncodeCall(
    const MethodCall<EncodableValue>& call) const {
  auto message = std::make_unique<std::vector<uint8_t>>();
  ByteBufferStreamWriter stream(message.get());
  serializer_->WriteValue(EncodableValue(call.MethodName()), &stream);
  if (call.Arguments() != nullptr) {
    serializer_->WriteValue(*call.Arguments(), &stream);
  } else {
    serializer_->WriteValue(EncodableValue(), &stream);
  }
  return message;
}

std::unique_ptr<std::vector<uint8_t>> StandardMethodCodec::EncodeSuccessReply(
    const EncodableValue* result) const {
  auto message = std::make_unique<std::vector<uint8_t>>();
  ByteBufferStreamWriter stream(message.get());
  stream.AppendByte(kSuccessEnvelope);
  if (result != nullptr) {
    serializer_->WriteValue(*result, &stream);
  } else {
    serializer_->WriteValue(EncodableValue(), &stream);
  }
  return message;
}

std::unique_ptr<std::vector<uint8_t>> StandardMethodCodec::EncodeErrorReply(
    const std::string& code, const std::string& message, const EncodableValue* details) const {
  auto bytes = std::make_unique<std::vector<uint8_t>>();
  ByteBufferStreamWriter stream(bytes.get());
  stream.AppendByte(kErrorEnvelope);
  serializer_->WriteValue(EncodableValue(code), &stream);
  if (message.empty()) {
    serializer_->WriteValue(EncodableValue(), &stream);
  } else {
    serializer_->WriteValue(EncodableValue(message), &stream);
  }
  if (details != nullptr) {
    serializer_->WriteValue(*details, &stream);
  } else {
    serializer_->WriteValue(EncodableValue(), &stream);
  }
  return bytes;
}

bool StandardMethodCodec::DecodeReply(const uint8_t* reply, size_t size,
                                      MethodResult<EncodableValue>* result) const {
  ByteBufferStreamReader stream(reply, size);
  const uint8_t envelope = stream.ReadNextByte();
  if (envelope == kSuccessEnvelope) {
    EncodableValue value = ReadCompleteValue(*serializer_, &stream);
    if (std::holds_alternative<std::monostate>(value)) {
      result->Success();
    } else {
      result->Success(value);
    }
    return true;
  }
  if (envelope != kErrorEnvelope) {
    return false;
  }
  EncodableValue code = ReadCompleteValue(*serializer_, &stream);
  EncodableValue message = ReadCompleteValue(*serializer_, &stream);
  EncodableValue details = ReadCompleteValue(*serializer_, &stream);
  // The envelope comes from the other side; a code or message of the wrong kind is a
  // malformed reply, not something to fail hard on.
  const auto* code_text = std::get_if<std::string>(&code);
  const auto* message_text = std::get_if<std::string>(&message);
  if (code_text == nullptr ||
      (message_text == nullptr && !std::holds_alternative<std::monostate>(message))) {
    return false;
  }
  const std::string message_or_empty = message_text != nullptr ? *message_text : std::string();
  if (std::holds_alternative<std::monostate>(details)) {
    result->Error(*code_text, message_or_empty);
  } else {
    result->Error(*code_text, message_or_empty, details);
  }
  return true;
}

}  // namespace flutter
