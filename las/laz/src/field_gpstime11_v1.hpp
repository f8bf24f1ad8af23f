// GPSTIME11 version 1 (LASzip 1.x files): the GPS time as a 64-bit integer predicted from a
// multiple of the last 32-bit difference. Decoding only: we never write version 1.
#pragma once

#include <cstdint>

#include "arithmetic_decoder.hpp"
#include "arithmetic_model.hpp"
#include "byte_streams.hpp"
#include "integer_compressor.hpp"

namespace laz::detail {

class GpsTime11V1Decoder {
 public:
  GpsTime11V1Decoder();

  void init(const uint8_t* first_item);
  template <class Dec>
  void decode(Dec& dec, uint8_t* item);

 private:
  // The multiplier alphabet: 0 .. kMultiMax-4 are multipliers of the last difference (0 meaning
  // "about a quarter"), kMultiMax-3 is the largest one, kMultiMax-2 announces a raw 64-bit time
  // and kMultiMax-1 an unchanged time.
  static constexpr int32_t kMultiMax = 512;
  static constexpr int32_t kMultiExtreme = kMultiMax - 3;
  static constexpr int32_t kMultiRaw = kMultiMax - 2;
  // After a zero difference: 0 unchanged, 1 a 32-bit difference, 2 a raw 64-bit time.
  static constexpr uint32_t kZeroDiffSame = 0;
  static constexpr uint32_t kZeroDiffDelta = 1;
  static constexpr uint32_t kZeroDiffRaw = 2;
  // A run of this many off-pattern differences replaces the reference difference.
  static constexpr int32_t kExtremeRun = 3;

  static int32_t mul_wrapping(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
  }
  void note_extreme(int32_t diff) {
    if (++extreme_count_ > kExtremeRun) {
      last_diff_ = diff;
      extreme_count_ = 0;
    }
  }

  ArithmeticModel multi_;
  ArithmeticModel zero_diff_;
  IntegerCompressor diff_;  // contexts: 0 after a zero difference, 1 same, 2 quarter, 3-5 larger
  int32_t last_diff_ = 0;
  int32_t extreme_count_ = 0;
  uint64_t last_time_ = 0;  // bits of the double, summed as a 64-bit integer
};

template <class Dec>
void GpsTime11V1Decoder::decode(Dec& dec, uint8_t* item) {
  if (last_diff_ == 0) {
    const uint32_t kind = dec.decode_symbol(zero_diff_);
    if (kind == kZeroDiffDelta) {
      last_diff_ = diff_.decompress(dec, 0, 0);
      last_time_ += static_cast<uint64_t>(static_cast<int64_t>(last_diff_));
    } else if (kind == kZeroDiffRaw) {
      last_time_ = dec.read_int64();
    }
  } else {
    const auto multi = static_cast<int32_t>(dec.decode_symbol(multi_));
    if (multi < kMultiRaw) {
      int32_t diff = 0;
      if (multi == 1) {
        diff = diff_.decompress(dec, last_diff_, 1);
        last_diff_ = diff;
        extreme_count_ = 0;
      } else if (multi == 0) {
        diff = diff_.decompress(dec, last_diff_ / 4, 2);
        note_extreme(diff);
      } else if (multi < 10) {
        diff = diff_.decompress(dec, mul_wrapping(multi, last_diff_), 3);
      } else if (multi < 50) {
        diff = diff_.decompress(dec, mul_wrapping(multi, last_diff_), 4);
      } else {
        diff = diff_.decompress(dec, mul_wrapping(multi, last_diff_), 5);
        if (multi == kMultiExtreme) {
          note_extreme(diff);
        }
      }
      last_time_ += static_cast<uint64_t>(static_cast<int64_t>(diff));
    } else if (multi == kMultiRaw) {
      last_time_ = dec.read_int64();
    }
  }
  store_u64(item, last_time_);
}

}  // namespace laz::detail
