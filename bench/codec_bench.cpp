// Codec speed. Bulk payloads report bytes per second next to a memcpy of the same size, and
// the tree of 10,000 small maps runs beside MessagePack packing the same tree, so the
// figures compare within one run on one machine.
#include <benchmark/benchmark.h>
#include <msgpack.hpp>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "messaging/byte_streams.h"
#include "messaging/encodable_value.h"
#include "messaging/standard_codec_serializer.h"
#include "messaging/standard_method_codec.h"

namespace {

using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;

constexpr size_t kMiB = 1 << 20;

const flutter::StandardMethodCodec& Codec() {
  return flutter::StandardMethodCodec::SharedInstance();
}
const flutter::StandardCodecSerializer& Serializer() {
  return flutter::StandardCodecSerializer::SharedInstance();
}

std::unique_ptr<flutter::MethodCall<>> StartCall() {
  std::string config = "{\"log\":{\"level\":\"info\"},\"inbounds\":[";
  config.resize(300, ' ');
  return std::make_unique<flutter::MethodCall<>>(
      "startV2Ray", std::make_unique<EncodableValue>(
                        EncodableMap{{EncodableValue("config"), EncodableValue(config)}}));
}

EncodableValue SpeedMap() {
  return EncodableValue(EncodableMap{{EncodableValue("downloadSpeed"), EncodableValue(1.5)},
                                     {EncodableValue("uploadSpeed"), EncodableValue(0.25)}});
}

void BM_EncodeStartCall(benchmark::State& state) {
  const auto call = StartCall();
  for (auto _ : state) benchmark::DoNotOptimize(Codec().EncodeCall(*call));
}
BENCHMARK(BM_EncodeStartCall);

void BM_DecodeStartCall(benchmark::State& state) {
  const auto bytes = Codec().EncodeCall(*StartCall());
  for (auto _ : state) benchmark::DoNotOptimize(Codec().DecodeCall(bytes->data(), bytes->size()));
}
BENCHMARK(BM_DecodeStartCall);

void BM_EncodeSpeedEnvelope(benchmark::State& state) {
  const EncodableValue speeds = SpeedMap();
  for (auto _ : state) benchmark::DoNotOptimize(Codec().EncodeSuccessReply(&speeds));
}
BENCHMARK(BM_EncodeSpeedEnvelope);

class DiscardingResult : public flutter::MethodResult<> {
 protected:
  void DeliverSuccess(const EncodableValue* result) override { benchmark::DoNotOptimize(result); }
  void DeliverError(const std::string&, const std::string&, const EncodableValue*) override {}
  void DeliverNotImplemented() override {}
};

void BM_DecodeSpeedEnvelope(benchmark::State& state) {
  const EncodableValue speeds = SpeedMap();
  const auto bytes = Codec().EncodeSuccessReply(&speeds);
  DiscardingResult result;
  for (auto _ : state) {
    benchmark::DoNotOptimize(Codec().DecodeReply(bytes->data(), bytes->size(), &result));
  }
}
BENCHMARK(BM_DecodeSpeedEnvelope);

// The yardstick for the bulk payloads: one copy of 1 MiB into a warm buffer.
void BM_Memcpy1MiB(benchmark::State& state) {
  std::vector<uint8_t> from(kMiB, 0x5A), to(kMiB);
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), kMiB);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kMiB));
}
BENCHMARK(BM_Memcpy1MiB);

EncodableValue Bulk(int kind) {
  switch (kind) {
    case 0:
      return EncodableValue(std::string(kMiB, 'x'));
    case 1:
      return EncodableValue(std::vector<uint8_t>(kMiB, 7));
    default:
      return EncodableValue(std::vector<double>(kMiB / sizeof(double), 0.5));
  }
}

// Encoding into a reused output vector, as a messenger that keeps its buffer would.
void BM_EncodeBulk(benchmark::State& state) {
  const EncodableValue value = Bulk(static_cast<int>(state.range(0)));
  std::vector<uint8_t> out;
  for (auto _ : state) {
    out.clear();
    flutter::ByteBufferStreamWriter writer(&out);
    Serializer().WriteValue(value, &writer);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kMiB));
}
BENCHMARK(BM_EncodeBulk)->ArgName("string0_bytes1_doubles2")->DenseRange(0, 2);

void BM_DecodeBulk(benchmark::State& state) {
  std::vector<uint8_t> bytes;
  flutter::ByteBufferStreamWriter writer(&bytes);
  Serializer().WriteValue(Bulk(static_cast<int>(state.range(0))), &writer);
  for (auto _ : state) {
    flutter::ByteBufferStreamReader reader(bytes.data(), bytes.size());
    const uint8_t tag = reader.ReadNextByte();
    benchmark::DoNotOptimize(Serializer().ReadValueOfType(tag, &reader));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kMiB));
}
BENCHMARK(BM_DecodeBulk)->ArgName("string0_bytes1_doubles2")->DenseRange(0, 2);

// 10,000 maps of string keys to mixed scalars.
EncodableValue SmallMaps() {
  EncodableList list;
  for (int i = 0; i < 10000; ++i) {
    list.push_back(EncodableValue(
        EncodableMap{{EncodableValue("id"), EncodableValue(int32_t{i})},
                     {EncodableValue("name"), EncodableValue("server-" + std::to_string(i))},
                     {EncodableValue("latency"), EncodableValue(12.5 + i)},
                     {EncodableValue("enabled"), EncodableValue(i % 2 == 0)},
                     {EncodableValue("bytes"), EncodableValue(int64_t{1} << 40)}}));
  }
  return EncodableValue(std::move(list));
}

void PackValue(msgpack::packer<msgpack::sbuffer>& packer, const EncodableValue& value) {
  if (const auto* list = std::get_if<EncodableList>(&value)) {
    packer.pack_array(static_cast<uint32_t>(list->size()));
    for (const auto& element : *list) PackValue(packer, element);
  } else if (const auto* map = std::get_if<EncodableMap>(&value)) {
    packer.pack_map(static_cast<uint32_t>(map->size()));
    for (const auto& entry : *map) {
      PackValue(packer, entry.first);
      PackValue(packer, entry.second);
    }
  } else if (const auto* text = std::get_if<std::string>(&value)) {
    packer.pack(*text);
  } else if (const auto* i32 = std::get_if<int32_t>(&value)) {
    packer.pack(*i32);
  } else if (const auto* i64 = std::get_if<int64_t>(&value)) {
    packer.pack(*i64);
  } else if (const auto* d = std::get_if<double>(&value)) {
    packer.pack(*d);
  } else if (const auto* b = std::get_if<bool>(&value)) {
    packer.pack(*b);
  } else {
    packer.pack_nil();
  }
}

void BM_EncodeSmallMapsStandard(benchmark::State& state) {
  const EncodableValue tree = SmallMaps();
  std::vector<uint8_t> out;
  for (auto _ : state) {
    out.clear();
    flutter::ByteBufferStreamWriter writer(&out);
    Serializer().WriteValue(tree, &writer);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_EncodeSmallMapsStandard);

void BM_EncodeSmallMapsMsgpack(benchmark::State& state) {
  const EncodableValue tree = SmallMaps();
  msgpack::sbuffer out;
  for (auto _ : state) {
    out.clear();
    msgpack::packer<msgpack::sbuffer> packer(out);
    PackValue(packer, tree);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_EncodeSmallMapsMsgpack);

void BM_DecodeSmallMapsStandard(benchmark::State& state) {
  std::vector<uint8_t> bytes;
  flutter::ByteBufferStreamWriter writer(&bytes);
  Serializer().WriteValue(SmallMaps(), &writer);
  for (auto _ : state) {
    flutter::ByteBufferStreamReader reader(bytes.data(), bytes.size());
    const uint8_t tag = reader.ReadNextByte();
    benchmark::DoNotOptimize(Serializer().ReadValueOfType(tag, &reader));
  }
}
BENCHMARK(BM_DecodeSmallMapsStandard);

void BM_DecodeSmallMapsMsgpack(benchmark::State& state) {
  msgpack::sbuffer bytes;
  msgpack::packer<msgpack::sbuffer> packer(bytes);
  PackValue(packer, SmallMaps());
  for (auto _ : state) {
    msgpack::object_handle handle = msgpack::unpack(bytes.data(), bytes.size());
    benchmark::DoNotOptimize(handle.get());
  }
}
BENCHMARK(BM_DecodeSmallMapsMsgpack);

}  // namespace

BENCHMARK_MAIN();
