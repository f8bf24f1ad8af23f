// RGB14 and RGBNIR14 layered item codecs. Colour is coded byte by byte: the low and high bytes of
// red against the previous red, green and blue against the previous value moved by red's change.
#include "field_rgb14.hpp"

#include <utility>

namespace laz::detail {
namespace {

constexpr uint32_t clamp_u8(int32_t v) {
  return v < 0 ? 0u : (v > 255 ? 255u : static_cast<uint32_t>(v));
}
constexpr uint32_t low(uint32_t v) { return v & 0xFFu; }
constexpr uint32_t high(uint32_t v) { return v >> 8; }
constexpr int32_t as_int(uint32_t v) { return static_cast<int32_t>(v); }

// Bit i of the "bytes used" symbol: byte i (low red, high red, low green, high green, low blue,
// high blue) differs from the previous colour; bit 6: the colour is not a grey (r == g == b).
constexpr uint32_t kNotGrey = 1u << 6;

template <size_t N, size_t... I>
std::array<ArithmeticModel, N> make_models(uint32_t symbols, std::index_sequence<I...> /*unused*/) {
  return {{((void)I, ArithmeticModel(symbols))...}};
}

template <size_t N, size_t... I>
std::array<ArithmeticDecoder<MemorySource>, N> make_decoders(std::array<MemorySource, N>& sources,
                                                             std::index_sequence<I...> /*unused*/) {
  return {{ArithmeticDecoder<MemorySource>(sources[I])...}};
}

template <size_t N, size_t... I>
std::array<VectorSink, N> make_sinks(std::array<std::vector<uint8_t>, N>& buffers,
                                     std::index_sequence<I...> /*unused*/) {
  return {{VectorSink{&buffers[I]}...}};
}

template <size_t N, size_t... I>
std::array<ArithmeticEncoder<VectorSink>, N> make_encoders(std::array<VectorSink, N>& sinks,
                                                           std::index_sequence<I...> /*unused*/) {
  return {{ArithmeticEncoder<VectorSink>(sinks[I])...}};
}

template <class Dec>
void decode_rgb(Dec& dec, Rgb14Channel& ch, const std::array<uint16_t, 4>& last, uint32_t rgb[3]) {
  const uint32_t sym = dec.decode_symbol(ch.rgb_bytes_used);
  uint32_t r = low(last[0]);
  uint32_t g = 0;
  uint32_t b = 0;
  if (sym & (1u << 0)) r = low(dec.decode_symbol(ch.rgb_diff[0]) + low(last[0]));
  if (sym & (1u << 1)) {
    r |= low(dec.decode_symbol(ch.rgb_diff[1]) + high(last[0])) << 8;
  } else {
    r |= last[0] & 0xFF00u;
  }
  if (sym & kNotGrey) {
    int32_t diff = as_int(low(r)) - as_int(low(last[0]));
    if (sym & (1u << 2)) {
      g = low(dec.decode_symbol(ch.rgb_diff[2]) + clamp_u8(diff + as_int(low(last[1]))));
    } else {
      g = low(last[1]);
    }
    if (sym & (1u << 4)) {
      const uint32_t corr = dec.decode_symbol(ch.rgb_diff[4]);
      diff = (diff + as_int(low(g)) - as_int(low(last[1]))) / 2;
      b = low(corr + clamp_u8(diff + as_int(low(last[2]))));
    } else {
      b = low(last[2]);
    }
    diff = as_int(high(r)) - as_int(high(last[0]));
    if (sym & (1u << 3)) {
      g |= low(dec.decode_symbol(ch.rgb_diff[3]) + clamp_u8(diff + as_int(high(last[1])))) << 8;
    } else {
      g |= last[1] & 0xFF00u;
    }
    if (sym & (1u << 5)) {
      const uint32_t corr = dec.decode_symbol(ch.rgb_diff[5]);
      diff = (diff + as_int(high(g)) - as_int(high(last[1]))) / 2;
      b |= low(corr + clamp_u8(diff + as_int(high(last[2])))) << 8;
    } else {
      b |= last[2] & 0xFF00u;
    }
  } else {
    g = r;
    b = r;
  }
  rgb[0] = r;
  rgb[1] = g;
  rgb[2] = b;
}

template <class Enc>
bool encode_rgb(Enc& enc, Rgb14Channel& ch, const std::array<uint16_t, 4>& last,
                const uint32_t rgb[3]) {
  uint32_t sym = 0;
  for (uint32_t c = 0; c < 3; ++c) {
    if (low(last[c]) != low(rgb[c])) sym |= 1u << (2 * c);
    if (high(last[c]) != high(rgb[c])) sym |= 1u << (2 * c + 1);
  }
  if (rgb[0] != rgb[1] || rgb[0] != rgb[2]) sym |= kNotGrey;
  enc.encode_symbol(ch.rgb_bytes_used, sym);

  int32_t diff_low = 0;
  int32_t diff_high = 0;
  if (sym & (1u << 0)) {
    diff_low = as_int(low(rgb[0])) - as_int(low(last[0]));
    enc.encode_symbol(ch.rgb_diff[0], low(static_cast<uint32_t>(diff_low)));
  }
  if (sym & (1u << 1)) {
    diff_high = as_int(high(rgb[0])) - as_int(high(last[0]));
    enc.encode_symbol(ch.rgb_diff[1], low(static_cast<uint32_t>(diff_high)));
  }
  if (sym & kNotGrey) {
    if (sym & (1u << 2)) {
      const int32_t corr = as_int(low(rgb[1])) - as_int(clamp_u8(diff_low + as_int(low(last[1]))));
      enc.encode_symbol(ch.rgb_diff[2], low(static_cast<uint32_t>(corr)));
    }
    if (sym & (1u << 4)) {
      diff_low = (diff_low + as_int(low(rgb[1])) - as_int(low(last[1]))) / 2;
      const int32_t corr = as_int(low(rgb[2])) - as_int(clamp_u8(diff_low + as_int(low(last[2]))));
      enc.encode_symbol(ch.rgb_diff[4], low(static_cast<uint32_t>(corr)));
    }
    if (sym & (1u << 3)) {
      const int32_t corr =
          as_int(high(rgb[1])) - as_int(clamp_u8(diff_high + as_int(high(last[1]))));
      enc.encode_symbol(ch.rgb_diff[3], low(static_cast<uint32_t>(corr)));
    }
    if (sym & (1u << 5)) {
      diff_high = (diff_high + as_int(high(rgb[1])) - as_int(high(last[1]))) / 2;
      const int32_t corr =
          as_int(high(rgb[2])) - as_int(clamp_u8(diff_high + as_int(high(last[2]))));
      enc.encode_symbol(ch.rgb_diff[5], low(static_cast<uint32_t>(corr)));
    }
  }
  return sym != 0;
}

template <class Dec>
uint32_t decode_nir(Dec& dec, Rgb14Channel& ch, uint32_t last) {
  const uint32_t sym = dec.decode_symbol(ch.nir_bytes_used);
  uint32_t v = low(last);
  if (sym & (1u << 0)) v = low(dec.decode_symbol(ch.nir_diff[0]) + low(last));
  if (sym & (1u << 1)) {
    v |= low(dec.decode_symbol(ch.nir_diff[1]) + high(last)) << 8;
  } else {
    v |= last & 0xFF00u;
  }
  return v;
}

template <class Enc>
bool encode_nir(Enc& enc, Rgb14Channel& ch, uint32_t last, uint32_t v) {
  uint32_t sym = 0;
  if (low(last) != low(v)) sym |= 1u;
  if (high(last) != high(v)) sym |= 2u;
  enc.encode_symbol(ch.nir_bytes_used, sym);
  if (sym & 1u) enc.encode_symbol(ch.nir_diff[0], low(low(v) - low(last)));
  if (sym & 2u) enc.encode_symbol(ch.nir_diff[1], low(high(v) - high(last)));
  return sym != 0;
}

template <bool kNir>
std::array<uint16_t, 4> load_colour(const uint8_t* item) {
  std::array<uint16_t, 4> c{load_u16(item), load_u16(item + 2), load_u16(item + 4), 0};
  if constexpr (kNir) c[3] = load_u16(item + 6);
  return c;
}

}  // namespace

Rgb14Channel::Rgb14Channel()
    : rgb_bytes_used(128),
      rgb_diff(make_models<6>(256, std::make_index_sequence<6>{})),
      nir_bytes_used(4),
      nir_diff(make_models<2>(256, std::make_index_sequence<2>{})) {}

void Rgb14Channel::start(const std::array<uint16_t, 4>& seed) {
  unused = false;
  last = seed;
  rgb_bytes_used.init();
  for (auto& m : rgb_diff) m.init();
  nir_bytes_used.init();
  for (auto& m : nir_diff) m.init();
}

void Rgb14Channels::start(const std::array<uint16_t, 4>& first, uint32_t context) {
  for (auto& ch : channels_) ch.unused = true;
  current_ = context & 3u;
  channels_[current_].start(first);
}

Rgb14Channel& Rgb14Channels::select(uint32_t context, std::array<uint16_t, 4>*& last) {
  last = &channels_[current_].last;
  context &= 3u;
  if (context != current_) {
    current_ = context;
    if (channels_[current_].unused) {
      channels_[current_].start(*last);
      last = &channels_[current_].last;
    } else if (own_last_on_switch_) {
      last = &channels_[current_].last;
    }
  }
  return channels_[current_];
}

// ---------------------------------------------------------------------------------------------------
// Decoder

template <bool kNir>
RgbLayeredDecoder<kNir>::RgbLayeredDecoder(uint16_t version)
    : decoders_(make_decoders(sources_, std::make_index_sequence<kLayers>{})), channels_(version) {}

template <bool kNir>
void RgbLayeredDecoder<kNir>::set_layer(size_t layer, const uint8_t* data, uint32_t size) {
  sources_[layer] = MemorySource{data, data + size, false};
  present_[layer] = size != 0;
}

template <bool kNir>
bool RgbLayeredDecoder<kNir>::overrun() const {
  for (const auto& source : sources_) {
    if (source.overrun) return true;
  }
  return false;
}

template <bool kNir>
void RgbLayeredDecoder<kNir>::init(const uint8_t* first_item, uint32_t context) {
  for (size_t layer = 0; layer < kLayers; ++layer) {
    if (present_[layer]) decoders_[layer].init();
  }
  channels_.start(load_colour<kNir>(first_item), context);
}

template <bool kNir>
[[gnu::flatten]] void RgbLayeredDecoder<kNir>::decode(uint8_t* item, uint32_t context) {
  std::array<uint16_t, 4>* last = nullptr;
  Rgb14Channel& ch = channels_.select(context, last);
  if (present_[0]) {
    uint32_t rgb[3];
    decode_rgb(decoders_[0], ch, *last, rgb);
    for (size_t c = 0; c < 3; ++c) (*last)[c] = static_cast<uint16_t>(rgb[c]);
  }
  store_u16(item, (*last)[0]);
  store_u16(item + 2, (*last)[1]);
  store_u16(item + 4, (*last)[2]);
  if constexpr (kNir) {
    if (present_[1]) (*last)[3] = static_cast<uint16_t>(decode_nir(decoders_[1], ch, (*last)[3]));
    store_u16(item + 6, (*last)[3]);
  }
}

// ---------------------------------------------------------------------------------------------------
// Encoder

template <bool kNir>
RgbLayeredEncoder<kNir>::RgbLayeredEncoder(uint16_t version)
    : sinks_(make_sinks(buffers_, std::make_index_sequence<kLayers>{})),
      encoders_(make_encoders(sinks_, std::make_index_sequence<kLayers>{})),
      channels_(version) {}

template <bool kNir>
void RgbLayeredEncoder<kNir>::init(const uint8_t* first_item, uint32_t context) {
  // The coders are fresh: the previous chunk's finish() ended them.
  for (auto& buffer : buffers_) buffer.clear();
  changed_.fill(false);
  channels_.start(load_colour<kNir>(first_item), context);
}

template <bool kNir>
void RgbLayeredEncoder<kNir>::encode(const uint8_t* item, uint32_t context) {
  std::array<uint16_t, 4>* last = nullptr;
  Rgb14Channel& ch = channels_.select(context, last);
  const std::array<uint16_t, 4> cur = load_colour<kNir>(item);
  const uint32_t rgb[3] = {cur[0], cur[1], cur[2]};
  if (encode_rgb(encoders_[0], ch, *last, rgb)) changed_[0] = true;
  if constexpr (kNir) {
    if (encode_nir(encoders_[1], ch, (*last)[3], cur[3])) changed_[1] = true;
    *last = cur;
  } else {
    (*last)[0] = cur[0];
    (*last)[1] = cur[1];
    (*last)[2] = cur[2];
  }
}

template <bool kNir>
void RgbLayeredEncoder<kNir>::finish() {
  // Dropped layers are ended too: done() also readies a coder for the next chunk.
  for (auto& encoder : encoders_) encoder.done();
}

template <bool kNir>
uint32_t RgbLayeredEncoder<kNir>::layer_size(size_t layer) const {
  return changed_[layer] ? static_cast<uint32_t>(buffers_[layer].size()) : 0u;
}

template <bool kNir>
const uint8_t* RgbLayeredEncoder<kNir>::layer_data(size_t layer) const {
  return buffers_[layer].data();
}

template class RgbLayeredDecoder<false>;
template class RgbLayeredDecoder<true>;
template class RgbLayeredEncoder<false>;
template class RgbLayeredEncoder<true>;

}  // namespace laz::detail
