// Layered chunk decoder and encoder: split a chunk into the items' layers (or gather them), and
// run the item codecs point by point in a loop compiled for the record's item combination.
#include "layered.hpp"

#include <cstring>
#include <optional>
#include <utility>

#include <fmt/format.h>

#include "byte_streams.hpp"
#include "field_byte14.hpp"
#include "field_point14.hpp"
#include "field_rgb14.hpp"
#include "field_wavepacket14.hpp"

namespace laz::detail {
namespace {

constexpr size_t kCountBytes = 4;
constexpr size_t kLayerSizeBytes = 4;

// Which optional items follow POINT14: a compile-time choice of the per-point loop.
enum class Colour { kNone, kRgb, kRgbNir };

// Where each item sits in the record, and which items there are.
struct ItemPlan {
  uint16_t record_length = 0;
  uint16_t point_version = 3;
  Colour colour = Colour::kNone;
  uint16_t colour_version = 3;
  size_t colour_offset = 0;
  bool wave = false;
  uint16_t wave_version = 3;
  size_t wave_offset = 0;
  bool bytes = false;
  uint16_t byte_count = 0;
  uint16_t bytes_version = 3;
  size_t bytes_offset = 0;
  // The items in record (and layer) order; POINT14 first.
  std::vector<LazItem> order;
};

// The point format an item list stands for, for messages: 6, plus colour (7), NIR (8), wave packets
// (9, 10).
int point_format_of(std::span<const LazItem> items) {
  bool rgb = false;
  bool nir = false;
  bool wave = false;
  for (const LazItem& item : items) {
    rgb = rgb || item.type == kItemRgb14;
    nir = nir || item.type == kItemRgbNir14;
    wave = wave || item.type == kItemWavePacket14;
  }
  if (wave) return nir ? 10 : 9;
  return nir ? 8 : (rgb ? 7 : 6);
}

Result<ItemPlan> plan_items(std::span<const LazItem> items) {
  ItemPlan plan;
  const auto refuse = [&items] {
    return laszip_error(fmt::format("Point format {} is not supported", point_format_of(items)));
  };
  if (items.empty() || items.front().type != kItemPoint14) return refuse();
  size_t offset = 0;
  bool point_seen = false;
  for (const LazItem& item : items) {
    if (item.version != 3 && item.version != 4) {
      return laszip_error(fmt::format("Item {} with compression version: {} is not supported",
                                      item_type_name(item.type), item.version));
    }
    bool duplicate = false;
    uint16_t expected_size = item.size;
    switch (item.type) {
      case kItemPoint14:
        duplicate = point_seen;
        point_seen = true;
        plan.point_version = item.version;
        expected_size = kPoint14Size;
        break;
      case kItemRgb14:
      case kItemRgbNir14:
        duplicate = plan.colour != Colour::kNone;
        plan.colour = item.type == kItemRgb14 ? Colour::kRgb : Colour::kRgbNir;
        plan.colour_version = item.version;
        plan.colour_offset = offset;
        expected_size = item.type == kItemRgb14 ? 6 : 8;
        break;
      case kItemWavePacket14:
        duplicate = plan.wave;
        plan.wave = true;
        plan.wave_version = item.version;
        plan.wave_offset = offset;
        expected_size = 29;
        break;
      case kItemByte14:
        duplicate = plan.bytes;
        plan.bytes = true;
        plan.byte_count = item.size;
        plan.bytes_version = item.version;
        plan.bytes_offset = offset;
        expected_size = item.size == 0 ? 1 : item.size;
        break;
      default:
        return laszip_error(fmt::format("Item {} with compression version: {} is not supported",
                                        item_type_name(item.type), item.version));
    }
    if (duplicate || item.size != expected_size) return refuse();
    offset += item.size;
    plan.order.push_back(item);
  }
  if (offset > UINT16_MAX) return refuse();
  plan.record_length = static_cast<uint16_t>(offset);
  return plan;
}

Error truncated() { return Error{Error::Kind::Io, "failed to fill whole buffer"}; }

}  // namespace

// ---------------------------------------------------------------------------------------------------
// Decoder

struct LayeredChunkDecoder::State {
  explicit State(const ItemPlan& p) : plan(p), point(p.point_version) {
    if (plan.colour == Colour::kRgb) rgb.emplace(plan.colour_version);
    if (plan.colour == Colour::kRgbNir) rgbnir.emplace(plan.colour_version);
    if (plan.wave) wave.emplace(plan.wave_version);
    if (plan.bytes) bytes.emplace(plan.byte_count, plan.bytes_version);
  }

  // Hands the layers to the item decoders in item order; the sizes were checked against the chunk.
  void set_layers(const uint8_t* sizes, const uint8_t* data) {
    const auto hand = [&](auto& decoder) {
      for (size_t layer = 0; layer < decoder.layer_count(); ++layer) {
        const uint32_t size = load_u32(sizes);
        sizes += kLayerSizeBytes;
        decoder.set_layer(layer, data, size);
        data += size;
      }
    };
    for (const LazItem& item : plan.order) {
      switch (item.type) {
        case kItemPoint14:
          hand(point);
          break;
        case kItemRgb14:
          hand(*rgb);
          break;
        case kItemRgbNir14:
          hand(*rgbnir);
          break;
        case kItemWavePacket14:
          hand(*wave);
          break;
        case kItemByte14:
          hand(*bytes);
          break;
        default:
          break;
      }
    }
  }

  size_t layer_total() const {
    size_t total = point.layer_count();
    if (rgb) total += rgb->layer_count();
    if (rgbnir) total += rgbnir->layer_count();
    if (wave) total += wave->layer_count();
    if (bytes) total += bytes->layer_count();
    return total;
  }

  void init_items(const uint8_t* first) {
    const uint32_t context = point.init(first);
    if (rgb) rgb->init(first + plan.colour_offset, context);
    if (rgbnir) rgbnir->init(first + plan.colour_offset, context);
    if (wave) wave->init(first + plan.wave_offset, context);
    if (bytes) bytes->init(first + plan.bytes_offset, context);
  }

  bool overrun() const {
    return point.overrun() || (rgb && rgb->overrun()) || (rgbnir && rgbnir->overrun()) ||
           (wave && wave->overrun()) || (bytes && bytes->overrun());
  }

  template <Colour kColour, bool kWave, bool kBytes>
  void decode_points(uint8_t* out, size_t count) {
    const size_t length = plan.record_length;
    for (size_t i = 0; i < count; ++i, out += length) {
      const uint32_t context = point.decode(out);
      if constexpr (kColour == Colour::kRgb) rgb->decode(out + plan.colour_offset, context);
      if constexpr (kColour == Colour::kRgbNir) rgbnir->decode(out + plan.colour_offset, context);
      if constexpr (kWave) wave->decode(out + plan.wave_offset, context);
      if constexpr (kBytes) bytes->decode(out + plan.bytes_offset, context);
    }
  }

  template <Colour kColour>
  void decode_with_colour(uint8_t* out, size_t count) {
    if (plan.wave) {
      if (plan.bytes) {
        decode_points<kColour, true, true>(out, count);
      } else {
        decode_points<kColour, true, false>(out, count);
      }
    } else if (plan.bytes) {
      decode_points<kColour, false, true>(out, count);
    } else {
      decode_points<kColour, false, false>(out, count);
    }
  }

  void decode_any(uint8_t* out, size_t count) {
    switch (plan.colour) {
      case Colour::kNone:
        decode_with_colour<Colour::kNone>(out, count);
        break;
      case Colour::kRgb:
        decode_with_colour<Colour::kRgb>(out, count);
        break;
      case Colour::kRgbNir:
        decode_with_colour<Colour::kRgbNir>(out, count);
        break;
    }
  }

  ItemPlan plan;
  Point14Decoder point;
  std::optional<Rgb14Decoder> rgb;
  std::optional<RgbNir14Decoder> rgbnir;
  std::optional<WavePacket14Decoder> wave;
  std::optional<Byte14Decoder> bytes;

  const uint8_t* first_record = nullptr;
  bool first_pending = false;
  uint32_t remaining = 0;
  size_t chunk_bytes = 0;
};

LayeredChunkDecoder::LayeredChunkDecoder(std::unique_ptr<State> state) : state_(std::move(state)) {}
LayeredChunkDecoder::LayeredChunkDecoder(LayeredChunkDecoder&&) noexcept = default;
LayeredChunkDecoder& LayeredChunkDecoder::operator=(LayeredChunkDecoder&&) noexcept = default;
LayeredChunkDecoder::~LayeredChunkDecoder() = default;

Result<LayeredChunkDecoder> LayeredChunkDecoder::create(std::span<const LazItem> items) {
  auto plan = plan_items(items);
  if (!plan) return tl::unexpected(plan.error());
  return LayeredChunkDecoder(std::make_unique<State>(*plan));
}

uint16_t LayeredChunkDecoder::record_length() const { return state_->plan.record_length; }
size_t LayeredChunkDecoder::chunk_size_in_bytes() const { return state_->chunk_bytes; }
uint32_t LayeredChunkDecoder::remaining() const { return state_->remaining; }

Result<uint32_t> LayeredChunkDecoder::begin_chunk(std::span<const uint8_t> chunk) {
  State& s = *state_;
  s.remaining = 0;
  s.first_pending = false;
  s.chunk_bytes = 0;

  const size_t length = s.plan.record_length;
  const size_t sizes_at = length + kCountBytes;
  const size_t layers = s.layer_total();
  const size_t data_at = sizes_at + layers * kLayerSizeBytes;
  if (chunk.size() < data_at) return tl::unexpected(truncated());

  const uint8_t* base = chunk.data();
  const uint32_t count = load_u32(base + length);
  if (count == 0) {
    return tl::unexpected(Error{Error::Kind::Io, "layered chunk declares no points"});
  }
  uint64_t data_size = 0;
  for (size_t layer = 0; layer < layers; ++layer)
    data_size += load_u32(base + sizes_at + layer * kLayerSizeBytes);
  if (data_size > chunk.size() - data_at) return tl::unexpected(truncated());

  s.set_layers(base + sizes_at, base + data_at);
  s.init_items(base);
  s.first_record = base;
  s.first_pending = true;
  s.remaining = count;
  s.chunk_bytes = data_at + static_cast<size_t>(data_size);
  return count;
}

Result<void> LayeredChunkDecoder::decode(uint8_t* out, size_t count) {
  State& s = *state_;
  if (count > s.remaining) return tl::unexpected(truncated());
  if (count == 0) return {};
  const size_t length = s.plan.record_length;
  if (s.first_pending) {
    std::memcpy(out, s.first_record, length);
    s.first_pending = false;
    out += length;
    --count;
    --s.remaining;
  }
  s.decode_any(out, count);
  s.remaining -= static_cast<uint32_t>(count);
  if (s.overrun()) {
    s.remaining = 0;
    return tl::unexpected(truncated());
  }
  return {};
}

// ---------------------------------------------------------------------------------------------------
// Encoder

struct LayeredChunkEncoder::State {
  explicit State(const ItemPlan& p) : plan(p), point(p.point_version) {
    if (plan.colour == Colour::kRgb) rgb.emplace(plan.colour_version);
    if (plan.colour == Colour::kRgbNir) rgbnir.emplace(plan.colour_version);
    if (plan.wave) wave.emplace(plan.wave_version);
    if (plan.bytes) bytes.emplace(plan.byte_count, plan.bytes_version);
    first_record.resize(plan.record_length);
  }

  template <class F>
  void for_each_item(F&& f) {
    for (const LazItem& item : plan.order) {
      switch (item.type) {
        case kItemPoint14:
          f(point);
          break;
        case kItemRgb14:
          f(*rgb);
          break;
        case kItemRgbNir14:
          f(*rgbnir);
          break;
        case kItemWavePacket14:
          f(*wave);
          break;
        case kItemByte14:
          f(*bytes);
          break;
        default:
          break;
      }
    }
  }

  ItemPlan plan;
  Point14Encoder point;
  std::optional<Rgb14Encoder> rgb;
  std::optional<RgbNir14Encoder> rgbnir;
  std::optional<WavePacket14Encoder> wave;
  std::optional<Byte14Encoder> bytes;

  std::vector<uint8_t> first_record;
  uint32_t count = 0;
};

LayeredChunkEncoder::LayeredChunkEncoder(std::unique_ptr<State> state) : state_(std::move(state)) {}
LayeredChunkEncoder::LayeredChunkEncoder(LayeredChunkEncoder&&) noexcept = default;
LayeredChunkEncoder& LayeredChunkEncoder::operator=(LayeredChunkEncoder&&) noexcept = default;
LayeredChunkEncoder::~LayeredChunkEncoder() = default;

Result<LayeredChunkEncoder> LayeredChunkEncoder::create(std::span<const LazItem> items) {
  auto plan = plan_items(items);
  if (!plan) return tl::unexpected(plan.error());
  return LayeredChunkEncoder(std::make_unique<State>(*plan));
}

uint16_t LayeredChunkEncoder::record_length() const { return state_->plan.record_length; }
uint32_t LayeredChunkEncoder::point_count() const { return state_->count; }

void LayeredChunkEncoder::encode(const uint8_t* record) {
  State& s = *state_;
  const ItemPlan& plan = s.plan;
  if (s.count == 0) {
    std::memcpy(s.first_record.data(), record, plan.record_length);
    const uint32_t context = s.point.init(record);
    if (s.rgb) s.rgb->init(record + plan.colour_offset, context);
    if (s.rgbnir) s.rgbnir->init(record + plan.colour_offset, context);
    if (s.wave) s.wave->init(record + plan.wave_offset, context);
    if (s.bytes) s.bytes->init(record + plan.bytes_offset, context);
  } else {
    const uint32_t context = s.point.encode(record);
    if (s.rgb) s.rgb->encode(record + plan.colour_offset, context);
    if (s.rgbnir) s.rgbnir->encode(record + plan.colour_offset, context);
    if (s.wave) s.wave->encode(record + plan.wave_offset, context);
    if (s.bytes) s.bytes->encode(record + plan.bytes_offset, context);
  }
  ++s.count;
}

size_t LayeredChunkEncoder::finish_chunk(std::vector<uint8_t>& out) {
  State& s = *state_;
  if (s.count == 0) return 0;
  const size_t start = out.size();
  s.for_each_item([](auto& encoder) { encoder.finish(); });

  out.insert(out.end(), s.first_record.begin(), s.first_record.end());
  uint8_t word[4];
  store_u32(word, s.count);
  out.insert(out.end(), word, word + 4);
  s.for_each_item([&](auto& encoder) {
    for (size_t layer = 0; layer < encoder.layer_count(); ++layer) {
      store_u32(word, encoder.layer_size(layer));
      out.insert(out.end(), word, word + 4);
    }
  });
  s.for_each_item([&](auto& encoder) {
    for (size_t layer = 0; layer < encoder.layer_count(); ++layer) {
      const uint8_t* data = encoder.layer_data(layer);
      out.insert(out.end(), data, data + encoder.layer_size(layer));
    }
  });
  s.count = 0;
  return out.size() - start;
}

}  // namespace laz::detail
