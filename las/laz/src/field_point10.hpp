// POINT10 version 2 (point formats 0-5, LASzip 2.x and later): x and y predicted from a
// streaming median of earlier differences per return context, z from the last height of the
// same return level, and the remaining fields coded only when a change mask says so.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>

#include "arithmetic_model.hpp"
#include "byte_streams.hpp"
#include "integer_compressor.hpp"

namespace laz::detail {

// Median of the last five values, kept incrementally: the window is a sorted five-slot array
// that alternately drops its smallest or largest value, so it needs no history.
class StreamingMedian5 {
 public:
  void init() {
    values_ = {0, 0, 0, 0, 0};
    high_ = true;
  }
  int32_t get() const { return values_[2]; }
  // Alternately drops the largest value (when the window leans high) or the smallest, and
  // inserts v in order. The differences are noise, so the insertion is written with min and
  // max rather than compares that would mispredict about every other time.
  void add(int32_t v) {
    auto& s = values_;
    const bool was_high = high_;
    // The four values kept, in order: s[0..3] when dropping the largest, s[1..4] otherwise.
    const int32_t a0 = was_high ? s[0] : s[1];
    const int32_t a1 = was_high ? s[1] : s[2];
    const int32_t a2 = was_high ? s[2] : s[3];
    const int32_t a3 = was_high ? s[3] : s[4];
    // Leaning high, it turns low once v reaches the median; leaning low, high once v does not
    // exceed it.
    high_ = was_high ? v < s[2] : v <= s[2];
    s[0] = std::min(a0, v);
    s[1] = std::min(a1, std::max(a0, v));
    s[2] = std::min(a2, std::max(a1, v));
    s[3] = std::min(a3, std::max(a2, v));
    s[4] = std::max(a3, v);
  }

 private:
  std::array<int32_t, 5> values_{};
  bool high_ = true;
};

// Return context of a point from (number of returns, return number): single returns, first,
// middle and last of multi-return pulses get separate contexts so that their coordinate
// differences do not mix. Rows are the number of returns, columns the return number. Row 0
// and column 0 hold invalid combinations that real files nevertheless contain, and rows 6 and 7
// returns of pulses longer than five; they reuse the contexts of nearby valid combinations.
inline constexpr std::array<std::array<uint8_t, 8>, 8> kNumberReturnMap = {{
    {15, 14, 13, 12, 11, 10, 9, 8},
    {14, 0, 1, 3, 6, 10, 10, 9},
    {13, 1, 2, 4, 7, 11, 11, 10},
    {12, 3, 4, 5, 8, 12, 12, 11},
    {11, 6, 7, 8, 9, 13, 13, 12},
    {10, 10, 11, 12, 13, 14, 14, 13},
    {9, 10, 11, 12, 13, 14, 15, 14},
    {8, 9, 10, 11, 12, 13, 14, 15},
}};

// Height context: how far the return is from the last one of its pulse, |number - return|.
inline constexpr uint32_t number_return_level(uint32_t n, uint32_t r) {
  return n > r ? n - r : r - n;
}

inline constexpr int32_t add_wrapping(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
inline constexpr int32_t sub_wrapping(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

// Models and prediction state shared by the POINT10 v2 decoder and encoder.
class Point10V2State {
 public:
  Point10V2State();
  void init(const uint8_t* first_item);

 protected:
  // Change-mask bits, one per field that is coded only when it changed.
  static constexpr uint32_t kFlagsChanged = 32;  // return numbers, scan direction, edge
  static constexpr uint32_t kIntensityChanged = 16;
  static constexpr uint32_t kClassificationChanged = 8;
  static constexpr uint32_t kScanAngleChanged = 4;
  static constexpr uint32_t kUserDataChanged = 2;
  static constexpr uint32_t kPointSourceChanged = 1;

  // A 256-symbol model per previous byte value, created on first use like LASzip does (a
  // lazily created model equals a fresh one, so the coded bits are unaffected).
  using ModelPerByte = std::array<std::optional<ArithmeticModel>, 256>;
  static ArithmeticModel& model_for(ModelPerByte& models, uint8_t previous) {
    auto& m = models[previous];
    if (!m) m.emplace(256);
    return *m;
  }
  static void reset(ModelPerByte& models) {
    for (auto& m : models) {
      if (m) m->init();
    }
  }

  static uint32_t coordinate_context(uint32_t k, uint32_t cap) { return k < cap ? (k & ~1u) : cap; }

  ArithmeticModel changed_values_{64};
  std::array<ArithmeticModel, 2> scan_angle_rank_{ArithmeticModel(256), ArithmeticModel(256)};
  IntegerCompressor intensity_{16, 4};
  IntegerCompressor point_source_id_{16};
  IntegerCompressor dx_{32, 2};
  IntegerCompressor dy_{32, 22};
  IntegerCompressor z_{32, 20};
  ModelPerByte flags_;
  ModelPerByte classification_;
  ModelPerByte user_data_;

  std::array<uint16_t, 16> last_intensity_{};
  std::array<StreamingMedian5, 16> last_x_diff_median_{};
  std::array<StreamingMedian5, 16> last_y_diff_median_{};
  std::array<int32_t, 8> last_height_{};

  // The previous point, unpacked.
  int32_t x_ = 0;
  int32_t y_ = 0;
  int32_t z_value_ = 0;
  uint16_t intensity_value_ = 0;
  uint8_t flags_value_ = 0;
  uint8_t classification_value_ = 0;
  uint8_t scan_angle_value_ = 0;
  uint8_t user_data_value_ = 0;
  uint16_t point_source_value_ = 0;
};

class Point10V2Decoder : private Point10V2State {
 public:
  using Point10V2State::init;
  template <class Dec>
  [[gnu::always_inline]] void decode(Dec& dec, uint8_t* item);
};

class Point10V2Encoder : private Point10V2State {
 public:
  using Point10V2State::init;
  template <class Enc>
  void encode(Enc& enc, const uint8_t* item);
};

template <class Dec>
inline void Point10V2Decoder::decode(Dec& dec, uint8_t* item) {
  const uint32_t changed = dec.decode_symbol(changed_values_);
  uint32_t m;
  uint32_t l;
  uint32_t n;
  if (changed != 0) {
    if (changed & kFlagsChanged) {
      flags_value_ = static_cast<uint8_t>(dec.decode_symbol(model_for(flags_, flags_value_)));
    }
    const uint32_t r = flags_value_ & 7u;
    n = (flags_value_ >> 3) & 7u;
    m = kNumberReturnMap[n][r];
    l = number_return_level(n, r);
    if (changed & kIntensityChanged) {
      intensity_value_ =
          static_cast<uint16_t>(intensity_.decompress(dec, last_intensity_[m], m < 3 ? m : 3));
      last_intensity_[m] = intensity_value_;
    } else {
      intensity_value_ = last_intensity_[m];
    }
    if (changed & kClassificationChanged) {
      classification_value_ = static_cast<uint8_t>(
          dec.decode_symbol(model_for(classification_, classification_value_)));
    }
    if (changed & kScanAngleChanged) {
      const uint32_t delta = dec.decode_symbol(scan_angle_rank_[(flags_value_ >> 6) & 1u]);
      scan_angle_value_ = static_cast<uint8_t>(delta + scan_angle_value_);
    }
    if (changed & kUserDataChanged) {
      user_data_value_ =
          static_cast<uint8_t>(dec.decode_symbol(model_for(user_data_, user_data_value_)));
    }
    if (changed & kPointSourceChanged) {
      point_source_value_ =
          static_cast<uint16_t>(point_source_id_.decompress(dec, point_source_value_));
    }
  } else {
    const uint32_t r = flags_value_ & 7u;
    n = (flags_value_ >> 3) & 7u;
    m = kNumberReturnMap[n][r];
    l = number_return_level(n, r);
    intensity_value_ = last_intensity_[m];
  }

  const uint32_t single = n == 1 ? 1u : 0u;
  const int32_t dx = dx_.decompress(dec, last_x_diff_median_[m].get(), single);
  x_ = add_wrapping(x_, dx);
  last_x_diff_median_[m].add(dx);

  const int32_t dy =
      dy_.decompress(dec, last_y_diff_median_[m].get(), single + coordinate_context(dx_.k(), 20));
  y_ = add_wrapping(y_, dy);
  last_y_diff_median_[m].add(dy);

  z_value_ =
      z_.decompress(dec, last_height_[l], single + coordinate_context((dx_.k() + dy_.k()) / 2, 18));
  last_height_[l] = z_value_;

  store_i32(item, x_);
  store_i32(item + 4, y_);
  store_i32(item + 8, z_value_);
  store_u16(item + 12, intensity_value_);
  item[14] = flags_value_;
  item[15] = classification_value_;
  item[16] = scan_angle_value_;
  item[17] = user_data_value_;
  store_u16(item + 18, point_source_value_);
}

template <class Enc>
void Point10V2Encoder::encode(Enc& enc, const uint8_t* item) {
  const int32_t x = load_i32(item);
  const int32_t y = load_i32(item + 4);
  const int32_t z = load_i32(item + 8);
  const uint16_t intensity = load_u16(item + 12);
  const uint8_t flags = item[14];
  const uint8_t classification = item[15];
  const uint8_t scan_angle = item[16];
  const uint8_t user_data = item[17];
  const uint16_t point_source = load_u16(item + 18);

  const uint32_t r = flags & 7u;
  const uint32_t n = (flags >> 3) & 7u;
  const uint32_t m = kNumberReturnMap[n][r];
  const uint32_t l = number_return_level(n, r);

  const uint32_t changed = (flags_value_ != flags ? kFlagsChanged : 0u) |
                           (last_intensity_[m] != intensity ? kIntensityChanged : 0u) |
                           (classification_value_ != classification ? kClassificationChanged : 0u) |
                           (scan_angle_value_ != scan_angle ? kScanAngleChanged : 0u) |
                           (user_data_value_ != user_data ? kUserDataChanged : 0u) |
                           (point_source_value_ != point_source ? kPointSourceChanged : 0u);
  enc.encode_symbol(changed_values_, changed);
  if (changed & kFlagsChanged) enc.encode_symbol(model_for(flags_, flags_value_), flags);
  if (changed & kIntensityChanged) {
    intensity_.compress(enc, last_intensity_[m], intensity, m < 3 ? m : 3);
    last_intensity_[m] = intensity;
  }
  if (changed & kClassificationChanged) {
    enc.encode_symbol(model_for(classification_, classification_value_), classification);
  }
  if (changed & kScanAngleChanged) {
    enc.encode_symbol(scan_angle_rank_[(flags >> 6) & 1u],
                      fold_byte(static_cast<int32_t>(scan_angle) - scan_angle_value_));
  }
  if (changed & kUserDataChanged)
    enc.encode_symbol(model_for(user_data_, user_data_value_), user_data);
  if (changed & kPointSourceChanged)
    point_source_id_.compress(enc, point_source_value_, point_source);

  const uint32_t single = n == 1 ? 1u : 0u;
  const int32_t dx = sub_wrapping(x, x_);
  dx_.compress(enc, last_x_diff_median_[m].get(), dx, single);
  last_x_diff_median_[m].add(dx);

  const int32_t dy = sub_wrapping(y, y_);
  dy_.compress(enc, last_y_diff_median_[m].get(), dy, single + coordinate_context(dx_.k(), 20));
  last_y_diff_median_[m].add(dy);

  z_.compress(enc, last_height_[l], z, single + coordinate_context((dx_.k() + dy_.k()) / 2, 18));
  last_height_[l] = z;

  x_ = x;
  y_ = y;
  z_value_ = z;
  intensity_value_ = intensity;
  flags_value_ = flags;
  classification_value_ = classification;
  scan_angle_value_ = scan_angle;
  user_data_value_ = user_data;
  point_source_value_ = point_source;
}

}  // namespace laz::detail
