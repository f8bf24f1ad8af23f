// POINT10 version 1, the first LASzip point codec (LASzip 1.x files, point formats 0-5): x and y
// predicted from the median of the last three differences, z from the last z, the other fields
// only when a change mask says so. Decoding only: we never write version 1.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "arithmetic_decoder.hpp"
#include "arithmetic_model.hpp"
#include "byte_streams.hpp"
#include "integer_compressor.hpp"

namespace laz::detail {

class Point10V1Decoder {
 public:
  Point10V1Decoder();

  void init(const uint8_t* first_item);
  template <class Dec>
  void decode(Dec& dec, uint8_t* item);

 private:
  // Bits of the change mask, one per field that is coded only when it changed.
  static constexpr uint32_t kIntensityChanged = 32;
  static constexpr uint32_t kFlagsChanged = 16;  // return numbers, scan direction, edge
  static constexpr uint32_t kClassificationChanged = 8;
  static constexpr uint32_t kScanAngleChanged = 4;
  static constexpr uint32_t kUserDataChanged = 2;
  static constexpr uint32_t kPointSourceChanged = 1;
  // z and y switch context on the bit count of the x (and y) corrector, capped here.
  static constexpr uint32_t kMaxCoordinateContext = 19;

  // One 256-symbol model per previous value of a byte field, created the first time that
  // previous value shows up, as LASzip does.
  class ModelPerByte {
   public:
    void init();  // resets the models created so far
    ArithmeticModel& operator[](uint8_t previous);

   private:
    std::array<uint16_t, 256> slot_{};  // 0: none yet, else index + 1 into models_
    std::vector<ArithmeticModel> models_;
  };

  static int32_t median3(const std::array<int32_t, 3>& v);
  // Coordinates wrap on overflow, as the 32-bit sums of the reference do.
  static int32_t add_wrapping(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
  }

  IntegerCompressor dx_;
  IntegerCompressor dy_;
  IntegerCompressor z_;
  IntegerCompressor intensity_;
  IntegerCompressor scan_angle_;
  IntegerCompressor point_source_;
  ArithmeticModel changed_values_;
  ModelPerByte flags_;
  ModelPerByte classification_;
  ModelPerByte user_data_;

  std::array<int32_t, 3> last_x_diff_{};
  std::array<int32_t, 3> last_y_diff_{};
  uint32_t diff_slot_ = 0;  // where the next difference goes (round robin)
  std::array<uint8_t, 20> last_{};
};

inline int32_t Point10V1Decoder::median3(const std::array<int32_t, 3>& v) {
  return std::max(std::min(v[0], v[1]), std::min(std::max(v[0], v[1]), v[2]));
}

template <class Dec>
void Point10V1Decoder::decode(Dec& dec, uint8_t* item) {
  const int32_t x_diff = dx_.decompress(dec, median3(last_x_diff_));
  store_i32(last_.data(), add_wrapping(load_i32(last_.data()), x_diff));
  uint32_t k_bits = dx_.k();
  const int32_t y_diff =
      dy_.decompress(dec, median3(last_y_diff_), std::min(k_bits, kMaxCoordinateContext));
  store_i32(last_.data() + 4, add_wrapping(load_i32(last_.data() + 4), y_diff));
  k_bits = (k_bits + dy_.k()) / 2;
  store_i32(last_.data() + 8, z_.decompress(dec, load_i32(last_.data() + 8),
                                            std::min(k_bits, kMaxCoordinateContext)));

  const uint32_t changed = dec.decode_symbol(changed_values_);
  if (changed != 0) {
    if (changed & kIntensityChanged) {
      store_u16(last_.data() + 12,
                static_cast<uint16_t>(intensity_.decompress(dec, load_u16(last_.data() + 12))));
    }
    if (changed & kFlagsChanged) {
      last_[14] = static_cast<uint8_t>(dec.decode_symbol(flags_[last_[14]]));
    }
    if (changed & kClassificationChanged) {
      last_[15] = static_cast<uint8_t>(dec.decode_symbol(classification_[last_[15]]));
    }
    if (changed & kScanAngleChanged) {
      // The scan angle rank is predicted as an unsigned byte; context: small x/y correctors.
      last_[16] = static_cast<uint8_t>(scan_angle_.decompress(dec, last_[16], k_bits < 3 ? 1 : 0));
    }
    if (changed & kUserDataChanged) {
      last_[17] = static_cast<uint8_t>(dec.decode_symbol(user_data_[last_[17]]));
    }
    if (changed & kPointSourceChanged) {
      store_u16(last_.data() + 18,
                static_cast<uint16_t>(point_source_.decompress(dec, load_u16(last_.data() + 18))));
    }
  }

  last_x_diff_[diff_slot_] = x_diff;
  last_y_diff_[diff_slot_] = y_diff;
  diff_slot_ = diff_slot_ == 2 ? 0 : diff_slot_ + 1;
  std::copy(last_.begin(), last_.end(), item);
}

}  // namespace laz::detail
