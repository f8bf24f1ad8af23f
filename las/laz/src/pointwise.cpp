// The per-record item loops of the point-wise codec. Item codecs are held by value in a
// variant; the common item lists of point formats 0-3 get loops specialised at compile time so
// that the whole record decodes without any indirect call.
#include "pointwise.hpp"

#include <cstring>
#include <tuple>
#include <utility>
#include <variant>

#include <fmt/format.h>

#include "arithmetic_decoder.hpp"
#include "arithmetic_encoder.hpp"
#include "byte_streams.hpp"
#include "field_byte.hpp"
#include "field_byte_v1.hpp"
#include "field_gpstime11.hpp"
#include "field_gpstime11_v1.hpp"
#include "field_point10.hpp"
#include "field_point10_v1.hpp"
#include "field_rgb12.hpp"
#include "field_rgb12_v1.hpp"
#include "field_wavepacket13.hpp"

namespace laz::detail {
namespace {

using Dec = ArithmeticDecoder<MemorySource>;
using Enc = ArithmeticEncoder<VectorSink>;

using AnyItemDecoder = std::variant<Point10V2Decoder, GpsTime11V2Decoder, Rgb12V2Decoder,
                                    ByteV2Decoder, Point10V1Decoder, GpsTime11V1Decoder,
                                    Rgb12V1Decoder, ByteV1Decoder, WavePacket13V1Decoder>;
using AnyItemEncoder = std::variant<Point10V2Encoder, GpsTime11V2Encoder, Rgb12V2Encoder,
                                    ByteV2Encoder, WavePacket13V1Encoder>;

struct ItemDecoder {
  AnyItemDecoder codec;
  uint16_t offset;
};

struct ItemEncoder {
  AnyItemEncoder codec;
  uint16_t offset;
};

Result<AnyItemDecoder> make_decoder(const LazItem& item) {
  const auto type = static_cast<ItemType>(item.type);
  const bool v1 = item.version == 1;
  const bool v2 = item.version == 2;
  switch (type) {
    case ItemType::Point10:
      if (item.size != 20) break;
      if (v1) return AnyItemDecoder(std::in_place_type<Point10V1Decoder>);
      if (v2) return AnyItemDecoder(std::in_place_type<Point10V2Decoder>);
      break;
    case ItemType::GpsTime11:
      if (item.size != 8) break;
      if (v1) return AnyItemDecoder(std::in_place_type<GpsTime11V1Decoder>);
      if (v2) return AnyItemDecoder(std::in_place_type<GpsTime11V2Decoder>);
      break;
    case ItemType::Rgb12:
      if (item.size != 6) break;
      if (v1) return AnyItemDecoder(std::in_place_type<Rgb12V1Decoder>);
      if (v2) return AnyItemDecoder(std::in_place_type<Rgb12V2Decoder>);
      break;
    case ItemType::Byte:
      if (item.size == 0) break;
      if (v1) return AnyItemDecoder(std::in_place_type<ByteV1Decoder>, item.size);
      if (v2) return AnyItemDecoder(std::in_place_type<ByteV2Decoder>, item.size);
      break;
    case ItemType::WavePacket13:
      if (item.size != kWavePacketSize) break;
      if (v1) return AnyItemDecoder(std::in_place_type<WavePacket13V1Decoder>);
      break;
    default:
      break;
  }
  return laszip_error(fmt::format("Item {} with compression version: {} is not supported",
                                  item_type_name(item.type), item.version));
}

Result<AnyItemEncoder> make_encoder(const LazItem& item) {
  const auto type = static_cast<ItemType>(item.type);
  switch (type) {
    case ItemType::Point10:
      if (item.size == 20 && item.version == 2)
        return AnyItemEncoder(std::in_place_type<Point10V2Encoder>);
      break;
    case ItemType::GpsTime11:
      if (item.size == 8 && item.version == 2)
        return AnyItemEncoder(std::in_place_type<GpsTime11V2Encoder>);
      break;
    case ItemType::Rgb12:
      if (item.size == 6 && item.version == 2)
        return AnyItemEncoder(std::in_place_type<Rgb12V2Encoder>);
      break;
    case ItemType::Byte:
      if (item.size != 0 && item.version == 2) {
        return AnyItemEncoder(std::in_place_type<ByteV2Encoder>, item.size);
      }
      break;
    case ItemType::WavePacket13:
      if (item.size == kWavePacketSize && item.version == 1) {
        return AnyItemEncoder(std::in_place_type<WavePacket13V1Encoder>);
      }
      break;
    default:
      break;
  }
  return laszip_error(fmt::format("Item {} with compression version: {} is not supported",
                                  item_type_name(item.type), item.version));
}

// The item lists of point formats 0-3 as LASzip 2.x and later write them.
enum class Layout { Generic, P, PG, PR, PGR };

template <class T>
bool holds(const std::vector<ItemDecoder>& items, size_t i) {
  return i < items.size() && std::holds_alternative<T>(items[i].codec);
}

Layout detect_layout(const std::vector<ItemDecoder>& items) {
  if (!holds<Point10V2Decoder>(items, 0)) return Layout::Generic;
  if (items.size() == 1) return Layout::P;
  if (items.size() == 2 && holds<GpsTime11V2Decoder>(items, 1)) return Layout::PG;
  if (items.size() == 2 && holds<Rgb12V2Decoder>(items, 1)) return Layout::PR;
  if (items.size() == 3 && holds<GpsTime11V2Decoder>(items, 1) && holds<Rgb12V2Decoder>(items, 2)) {
    return Layout::PGR;
  }
  return Layout::Generic;
}

// One record, item after item. Forced inline: as a call of its own it would take the coder by
// address, and the coder could no longer live in registers.
template <class Codecs, size_t N, size_t... I>
[[gnu::always_inline]] inline void decode_record(Codecs& codecs, Dec& dec, uint8_t* record,
                                                 const std::array<uint16_t, N>& offsets,
                                                 std::index_sequence<I...>) {
  (std::get<I>(codecs).decode(dec, record + offsets[I]), ...);
}

// Decodes `count` records with a fixed item list: every call inlines, and the coder and its
// source run on local copies that are written back once at the end.
template <class... Codecs>
void decode_fixed(MemorySource& src, Dec& dec, std::vector<ItemDecoder>& items, uint8_t* out,
                  size_t count, size_t record_length) {
  auto codecs = [&items]<size_t... I>(std::index_sequence<I...>) {
    return std::tuple<Codecs&...>(std::get<Codecs>(items[I].codec)...);
  }
  (std::index_sequence_for<Codecs...>{});
  std::array<uint16_t, sizeof...(Codecs)> offsets{};
  for (size_t i = 0; i < offsets.size(); ++i) offsets[i] = items[i].offset;
  MemorySource local_src = src;
  Dec local(local_src, dec);
  for (size_t point = 0; point < count; ++point) {
    uint8_t* record = out + point * record_length;
    decode_record(codecs, local, record, offsets, std::index_sequence_for<Codecs...>{});
  }
  src = local_src;
  dec = Dec(src, local);
}

void decode_generic(Dec& dec, std::vector<ItemDecoder>& items, uint8_t* out, size_t count,
                    size_t record_length) {
  for (size_t point = 0; point < count; ++point) {
    uint8_t* record = out + point * record_length;
    for (auto& item : items) {
      std::visit([&](auto& codec) { codec.decode(dec, record + item.offset); }, item.codec);
    }
  }
}

}  // namespace

struct PointwiseChunkDecoder::State {
  std::vector<ItemDecoder> items;
  Layout layout = Layout::Generic;
  uint16_t record_length = 0;
  MemorySource src;
  Dec dec{src};
  const uint8_t* chunk_begin = nullptr;
  uint64_t remaining = 0;
  bool first_pending = false;  // the raw first record is not delivered yet
};

PointwiseChunkDecoder::PointwiseChunkDecoder(std::unique_ptr<State> state)
    : state_(std::move(state)) {}
PointwiseChunkDecoder::PointwiseChunkDecoder(PointwiseChunkDecoder&&) noexcept = default;
PointwiseChunkDecoder& PointwiseChunkDecoder::operator=(PointwiseChunkDecoder&&) noexcept = default;
PointwiseChunkDecoder::~PointwiseChunkDecoder() = default;

Result<PointwiseChunkDecoder> PointwiseChunkDecoder::create(std::span<const LazItem> items) {
  auto state = std::make_unique<State>();
  uint32_t offset = 0;
  for (const LazItem& item : items) {
    auto codec = make_decoder(item);
    if (!codec) return tl::unexpected(codec.error());
    state->items.push_back(ItemDecoder{std::move(*codec), static_cast<uint16_t>(offset)});
    offset += item.size;
  }
  if (items.empty() || offset > 0xFFFFu) {
    return laszip_error(fmt::format("IoError: the items add up to {} bytes", offset));
  }
  state->record_length = static_cast<uint16_t>(offset);
  state->layout = detect_layout(state->items);
  return PointwiseChunkDecoder(std::move(state));
}

uint16_t PointwiseChunkDecoder::record_length() const { return state_->record_length; }

Result<void> PointwiseChunkDecoder::begin_chunk(std::span<const uint8_t> chunk, uint64_t points) {
  State& s = *state_;
  if (chunk.size() < s.record_length) return io_error("failed to fill whole buffer");
  s.chunk_begin = chunk.data();
  s.src = MemorySource{chunk.data() + s.record_length, chunk.data() + chunk.size(), false};
  s.remaining = points;
  s.first_pending = points != 0;
  return {};
}

uint64_t PointwiseChunkDecoder::remaining() const { return state_->remaining; }

size_t PointwiseChunkDecoder::consumed() const {
  return static_cast<size_t>(state_->src.cur - state_->chunk_begin);
}

Result<void> PointwiseChunkDecoder::decode(uint8_t* out, size_t count) {
  State& s = *state_;
  if (count > s.remaining) return io_error("failed to fill whole buffer");
  if (count == 0) return {};
  if (s.first_pending) {
    s.first_pending = false;
    std::memcpy(out, s.chunk_begin, s.record_length);
    for (auto& item : s.items) {
      std::visit([&](auto& codec) { codec.init(out + item.offset); }, item.codec);
    }
    s.dec.init();
    out += s.record_length;
    --count;
    --s.remaining;
  }
  const size_t rl = s.record_length;
  switch (s.layout) {
    case Layout::P:
      decode_fixed<Point10V2Decoder>(s.src, s.dec, s.items, out, count, rl);
      break;
    case Layout::PG:
      decode_fixed<Point10V2Decoder, GpsTime11V2Decoder>(s.src, s.dec, s.items, out, count, rl);
      break;
    case Layout::PR:
      decode_fixed<Point10V2Decoder, Rgb12V2Decoder>(s.src, s.dec, s.items, out, count, rl);
      break;
    case Layout::PGR:
      decode_fixed<Point10V2Decoder, GpsTime11V2Decoder, Rgb12V2Decoder>(s.src, s.dec, s.items, out,
                                                                         count, rl);
      break;
    case Layout::Generic:
      decode_generic(s.dec, s.items, out, count, rl);
      break;
  }
  s.remaining -= count;
  if (s.src.overrun) return io_error("failed to fill whole buffer");
  return {};
}

struct PointwiseChunkEncoder::State {
  std::vector<ItemEncoder> items;
  uint16_t record_length = 0;
  std::vector<uint8_t> chunk;
  VectorSink sink{&chunk};
  Enc enc{sink};
  uint32_t count = 0;
};

PointwiseChunkEncoder::PointwiseChunkEncoder(std::unique_ptr<State> state)
    : state_(std::move(state)) {}
PointwiseChunkEncoder::PointwiseChunkEncoder(PointwiseChunkEncoder&&) noexcept = default;
PointwiseChunkEncoder& PointwiseChunkEncoder::operator=(PointwiseChunkEncoder&&) noexcept = default;
PointwiseChunkEncoder::~PointwiseChunkEncoder() = default;

Result<PointwiseChunkEncoder> PointwiseChunkEncoder::create(std::span<const LazItem> items) {
  auto state = std::make_unique<State>();
  uint32_t offset = 0;
  for (const LazItem& item : items) {
    auto codec = make_encoder(item);
    if (!codec) return tl::unexpected(codec.error());
    state->items.push_back(ItemEncoder{std::move(*codec), static_cast<uint16_t>(offset)});
    offset += item.size;
  }
  if (items.empty() || offset > 0xFFFFu) {
    return laszip_error(fmt::format("IoError: the items add up to {} bytes", offset));
  }
  state->record_length = static_cast<uint16_t>(offset);
  return PointwiseChunkEncoder(std::move(state));
}

uint16_t PointwiseChunkEncoder::record_length() const { return state_->record_length; }

uint32_t PointwiseChunkEncoder::point_count() const { return state_->count; }

void PointwiseChunkEncoder::encode(const uint8_t* record) {
  State& s = *state_;
  if (s.count == 0) {
    s.chunk.insert(s.chunk.end(), record, record + s.record_length);
    for (auto& item : s.items) {
      std::visit([&](auto& codec) { codec.init(record + item.offset); }, item.codec);
    }
  } else {
    for (auto& item : s.items) {
      std::visit([&](auto& codec) { codec.encode(s.enc, record + item.offset); }, item.codec);
    }
  }
  ++s.count;
}

size_t PointwiseChunkEncoder::finish_chunk(std::vector<uint8_t>& out) {
  State& s = *state_;
  if (s.count == 0) return 0;
  s.enc.done();
  out.insert(out.end(), s.chunk.begin(), s.chunk.end());
  const size_t n = s.chunk.size();
  s.chunk.clear();
  s.count = 0;
  return n;
}

}  // namespace laz::detail
