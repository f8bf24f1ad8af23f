// RGB12 version 2: colour coded byte by byte against the previous colour. Red's low and high
// bytes are coded as differences; green and blue are predicted from red's change, since the
// channels of a colour tend to move together. A grey flag skips green and blue entirely.
#pragma once

#include <array>
#include <cstdint>

#include "arithmetic_model.hpp"
#include "byte_streams.hpp"

namespace laz::detail {

class Rgb12V2State {
 public:
  Rgb12V2State();
  void init(const uint8_t* first_item);

 protected:
  // Bits of the byte-used mask: which of the six colour bytes changed, and whether the colour
  // is not grey (green and blue differ from red).
  static constexpr uint32_t kRedLow = 1u << 0;
  static constexpr uint32_t kRedHigh = 1u << 1;
  static constexpr uint32_t kGreenLow = 1u << 2;
  static constexpr uint32_t kGreenHigh = 1u << 3;
  static constexpr uint32_t kBlueLow = 1u << 4;
  static constexpr uint32_t kBlueHigh = 1u << 5;
  static constexpr uint32_t kNotGrey = 1u << 6;

  ArithmeticModel byte_used_{128};
  std::array<ArithmeticModel, 6> diff_{ArithmeticModel(256), ArithmeticModel(256),
                                       ArithmeticModel(256), ArithmeticModel(256),
                                       ArithmeticModel(256), ArithmeticModel(256)};
  std::array<uint16_t, 3> last_{};  // red, green, blue
};

class Rgb12V2Decoder : private Rgb12V2State {
 public:
  using Rgb12V2State::init;
  template <class Dec>
  [[gnu::always_inline]] void decode(Dec& dec, uint8_t* item);
};

class Rgb12V2Encoder : private Rgb12V2State {
 public:
  using Rgb12V2State::init;
  template <class Enc>
  void encode(Enc& enc, const uint8_t* item);
};

template <class Dec>
inline void Rgb12V2Decoder::decode(Dec& dec, uint8_t* item) {
  const uint32_t sym = dec.decode_symbol(byte_used_);
  const int32_t last_r_lo = last_[0] & 0xFF;
  const int32_t last_r_hi = last_[0] >> 8;
  int32_t r_lo = last_r_lo;
  int32_t r_hi = last_r_hi;
  if (sym & kRedLow)
    r_lo = fold_byte(static_cast<int32_t>(dec.decode_symbol(diff_[0])) + last_r_lo);
  if (sym & kRedHigh)
    r_hi = fold_byte(static_cast<int32_t>(dec.decode_symbol(diff_[1])) + last_r_hi);
  uint16_t red = static_cast<uint16_t>(r_lo | (r_hi << 8));
  uint16_t green;
  uint16_t blue;
  if (sym & kNotGrey) {
    const int32_t last_g_lo = last_[1] & 0xFF;
    const int32_t last_g_hi = last_[1] >> 8;
    const int32_t last_b_lo = last_[2] & 0xFF;
    const int32_t last_b_hi = last_[2] >> 8;
    int32_t diff = r_lo - last_r_lo;
    int32_t g_lo = last_g_lo;
    if (sym & kGreenLow) {
      g_lo = fold_byte(static_cast<int32_t>(dec.decode_symbol(diff_[2])) +
                       clamp_byte(diff + last_g_lo));
    }
    int32_t b_lo = last_b_lo;
    if (sym & kBlueLow) {
      diff = (diff + (g_lo - last_g_lo)) / 2;
      b_lo = fold_byte(static_cast<int32_t>(dec.decode_symbol(diff_[4])) +
                       clamp_byte(diff + last_b_lo));
    }
    diff = r_hi - last_r_hi;
    int32_t g_hi = last_g_hi;
    if (sym & kGreenHigh) {
      g_hi = fold_byte(static_cast<int32_t>(dec.decode_symbol(diff_[3])) +
                       clamp_byte(diff + last_g_hi));
    }
    int32_t b_hi = last_b_hi;
    if (sym & kBlueHigh) {
      diff = (diff + (g_hi - last_g_hi)) / 2;
      b_hi = fold_byte(static_cast<int32_t>(dec.decode_symbol(diff_[5])) +
                       clamp_byte(diff + last_b_hi));
    }
    green = static_cast<uint16_t>(g_lo | (g_hi << 8));
    blue = static_cast<uint16_t>(b_lo | (b_hi << 8));
  } else {
    green = red;
    blue = red;
  }
  last_ = {red, green, blue};
  store_u16(item, red);
  store_u16(item + 2, green);
  store_u16(item + 4, blue);
}

template <class Enc>
void Rgb12V2Encoder::encode(Enc& enc, const uint8_t* item) {
  const uint16_t red = load_u16(item);
  const uint16_t green = load_u16(item + 2);
  const uint16_t blue = load_u16(item + 4);
  const int32_t r_lo = red & 0xFF;
  const int32_t r_hi = red >> 8;
  const int32_t g_lo = green & 0xFF;
  const int32_t g_hi = green >> 8;
  const int32_t b_lo = blue & 0xFF;
  const int32_t b_hi = blue >> 8;
  const int32_t last_r_lo = last_[0] & 0xFF;
  const int32_t last_r_hi = last_[0] >> 8;
  const int32_t last_g_lo = last_[1] & 0xFF;
  const int32_t last_g_hi = last_[1] >> 8;
  const int32_t last_b_lo = last_[2] & 0xFF;
  const int32_t last_b_hi = last_[2] >> 8;

  uint32_t sym = (r_lo != last_r_lo ? kRedLow : 0u) | (r_hi != last_r_hi ? kRedHigh : 0u) |
                 (g_lo != last_g_lo ? kGreenLow : 0u) | (g_hi != last_g_hi ? kGreenHigh : 0u) |
                 (b_lo != last_b_lo ? kBlueLow : 0u) | (b_hi != last_b_hi ? kBlueHigh : 0u);
  if (red != green || red != blue) sym |= kNotGrey;
  enc.encode_symbol(byte_used_, sym);

  int32_t diff_lo = r_lo - last_r_lo;
  int32_t diff_hi = r_hi - last_r_hi;
  if (sym & kRedLow) enc.encode_symbol(diff_[0], fold_byte(diff_lo));
  if (sym & kRedHigh) enc.encode_symbol(diff_[1], fold_byte(diff_hi));
  if (sym & kNotGrey) {
    if (sym & kGreenLow)
      enc.encode_symbol(diff_[2], fold_byte(g_lo - clamp_byte(diff_lo + last_g_lo)));
    if (sym & kBlueLow) {
      diff_lo = (diff_lo + (g_lo - last_g_lo)) / 2;
      enc.encode_symbol(diff_[4], fold_byte(b_lo - clamp_byte(diff_lo + last_b_lo)));
    }
    if (sym & kGreenHigh)
      enc.encode_symbol(diff_[3], fold_byte(g_hi - clamp_byte(diff_hi + last_g_hi)));
    if (sym & kBlueHigh) {
      diff_hi = (diff_hi + (g_hi - last_g_hi)) / 2;
      enc.encode_symbol(diff_[5], fold_byte(b_hi - clamp_byte(diff_hi + last_b_hi)));
    }
  }
  last_ = {red, green, blue};
}

}  // namespace laz::detail
