// RGB14 and RGBNIR14 layered item codecs (LASzip item types 11 and 12, versions 3 and 4): colour
// in one layer, near infrared in a second, with one model set per scanner channel.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "arithmetic_decoder.hpp"
#include "arithmetic_encoder.hpp"
#include "arithmetic_model.hpp"
#include "byte_streams.hpp"

namespace laz::detail {

// Models and previous colour of one scanner channel.
struct Rgb14Channel {
  Rgb14Channel();

  bool unused = true;
  std::array<uint16_t, 4> last{};  // red, green, blue, near infrared
  ArithmeticModel rgb_bytes_used;
  std::array<ArithmeticModel, 6> rgb_diff;
  ArithmeticModel nir_bytes_used;
  std::array<ArithmeticModel, 2> nir_diff;

  void start(const std::array<uint16_t, 4>& seed);
};

// The four channel slots and LASzip's rule for which previous colour predicts a point.
class Rgb14Channels {
 public:
  explicit Rgb14Channels(uint16_t version) : own_last_on_switch_(version >= 4) {}

  void start(const std::array<uint16_t, 4>& first, uint32_t context);

  // Switches to the point's channel and returns the slot whose previous colour predicts it.
  // Version 3 keeps predicting from (and updating) the previous channel's colour on the first
  // point after a switch to a channel already used in the chunk; version 4 uses that channel's own.
  Rgb14Channel& select(uint32_t context, std::array<uint16_t, 4>*& last);

 private:
  std::array<Rgb14Channel, 4> channels_;
  uint32_t current_ = 0;
  bool own_last_on_switch_;
};

// RGB14 when kNir is false (6 bytes), RGBNIR14 when it is true (8 bytes).
template <bool kNir>
class RgbLayeredDecoder {
 public:
  static constexpr size_t kLayers = kNir ? 2 : 1;
  static constexpr size_t kSize = kNir ? 8 : 6;

  explicit RgbLayeredDecoder(uint16_t version);
  RgbLayeredDecoder(const RgbLayeredDecoder&) = delete;
  RgbLayeredDecoder& operator=(const RgbLayeredDecoder&) = delete;

  size_t layer_count() const { return kLayers; }
  void set_layer(size_t layer, const uint8_t* data, uint32_t size);
  void init(const uint8_t* first_item, uint32_t context);
  void decode(uint8_t* item, uint32_t context);
  bool overrun() const;

 private:
  std::array<MemorySource, kLayers> sources_{};
  std::array<bool, kLayers> present_{};
  std::array<ArithmeticDecoder<MemorySource>, kLayers> decoders_;
  Rgb14Channels channels_;
};

template <bool kNir>
class RgbLayeredEncoder {
 public:
  static constexpr size_t kLayers = kNir ? 2 : 1;
  static constexpr size_t kSize = kNir ? 8 : 6;

  explicit RgbLayeredEncoder(uint16_t version);
  RgbLayeredEncoder(const RgbLayeredEncoder&) = delete;
  RgbLayeredEncoder& operator=(const RgbLayeredEncoder&) = delete;

  size_t layer_count() const { return kLayers; }
  void init(const uint8_t* first_item, uint32_t context);
  void encode(const uint8_t* item, uint32_t context);
  void finish();
  uint32_t layer_size(size_t layer) const;
  const uint8_t* layer_data(size_t layer) const;

 private:
  std::array<std::vector<uint8_t>, kLayers> buffers_;
  std::array<VectorSink, kLayers> sinks_;
  std::array<ArithmeticEncoder<VectorSink>, kLayers> encoders_;
  std::array<bool, kLayers> changed_{};
  Rgb14Channels channels_;
};

using Rgb14Decoder = RgbLayeredDecoder<false>;
using RgbNir14Decoder = RgbLayeredDecoder<true>;
using Rgb14Encoder = RgbLayeredEncoder<false>;
using RgbNir14Encoder = RgbLayeredEncoder<true>;

extern template class RgbLayeredDecoder<false>;
extern template class RgbLayeredDecoder<true>;
extern template class RgbLayeredEncoder<false>;
extern template class RgbLayeredEncoder<true>;

}  // namespace laz::detail
