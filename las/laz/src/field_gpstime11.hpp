// GPSTIME11 version 2: the GPS time as a 64-bit integer pattern, coded as a multiple of the
// last 32-bit difference plus a correction. Up to four time sequences are tracked so that
// interleaved flight lines do not force raw 64-bit values.
#pragma once

#include <array>
#include <bit>
#include <cstdint>

#include "arithmetic_model.hpp"
#include "byte_streams.hpp"
#include "integer_compressor.hpp"

namespace laz::detail {

class GpsTime11V2State {
 public:
  GpsTime11V2State();
  void init(const uint8_t* first_item);

 protected:
  // The multiplier alphabet after a non-zero difference: 1..kMulti-1 are multiples of the
  // last difference, kMulti the largest one, kMulti+1 .. kMulti-kMultiMinus-1 the negative
  // multiples, then "unchanged", "raw 64-bit time", and three "switch to sequence i" codes.
  static constexpr int32_t kMulti = 500;
  static constexpr int32_t kMultiMinus = -10;
  static constexpr uint32_t kMultiUnchanged = kMulti - kMultiMinus + 1;
  static constexpr uint32_t kMultiCodeFull = kMulti - kMultiMinus + 2;
  static constexpr uint32_t kMultiTotal = kMulti - kMultiMinus + 6;
  // After a zero difference: 0 unchanged, 1 a 32-bit difference, 2 a raw time, 3.. a switch.
  static constexpr uint32_t kZeroDiffSymbols = 6;
  // Off-pattern differences in a row before the reference difference is replaced.
  static constexpr int32_t kExtremeRun = 3;

  static int32_t mul_wrapping(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
  }
  static int64_t add_wrapping64(int64_t a, int32_t b) {
    return static_cast<int64_t>(static_cast<uint64_t>(a) +
                                static_cast<uint64_t>(static_cast<int64_t>(b)));
  }
  void note_extreme(int32_t diff) {
    if (++multi_extreme_counter_[last_] > kExtremeRun) {
      last_gpstime_diff_[last_] = diff;
      multi_extreme_counter_[last_] = 0;
    }
  }

  ArithmeticModel gpstime_multi_{kMultiTotal};
  ArithmeticModel gpstime_0diff_{kZeroDiffSymbols};
  IntegerCompressor gpstime_{32, 9};
  uint32_t last_ = 0;
  uint32_t next_ = 0;
  std::array<int64_t, 4> last_gpstime_{};
  std::array<int32_t, 4> last_gpstime_diff_{};
  std::array<int32_t, 4> multi_extreme_counter_{};
};

class GpsTime11V2Decoder : private GpsTime11V2State {
 public:
  using GpsTime11V2State::init;
  template <class Dec>
  [[gnu::always_inline]] void decode(Dec& dec, uint8_t* item);

 private:
  template <class Dec>
  [[gnu::always_inline]] void read_raw(Dec& dec);
};

class GpsTime11V2Encoder : private GpsTime11V2State {
 public:
  using GpsTime11V2State::init;
  template <class Enc>
  void encode(Enc& enc, const uint8_t* item);

 private:
  template <class Enc>
  void write_raw(Enc& enc, int64_t time);
  // The sequence (1..3 after last_) within 32 bits of `time`, or 0.
  uint32_t find_sequence(int64_t time) const;
};

// Rounds the float time ratio half away from zero as the reference does: (I32)(f + 0.5) with the
// addition in double, so a float ratio just below 0.5 rounds to 0 (a float addition would round it
// up to 1 and change the compressed bytes). Values outside the int32 range give INT32_MIN, the
// result of the x86 conversion the reference relies on.
inline int32_t quantize_f32(float v) {
  const double r = v >= 0.0f ? static_cast<double>(v) + 0.5 : static_cast<double>(v) - 0.5;
  if (!(r > -2147483649.0 && r < 2147483648.0)) return INT32_MIN;
  return static_cast<int32_t>(r);
}

template <class Dec>
inline void GpsTime11V2Decoder::read_raw(Dec& dec) {
  next_ = (next_ + 1) & 3u;
  const auto high = static_cast<uint32_t>(gpstime_.decompress(
      dec, static_cast<int32_t>(static_cast<uint64_t>(last_gpstime_[last_]) >> 32), 8));
  const uint32_t low = dec.read_int();
  last_gpstime_[next_] = static_cast<int64_t>((static_cast<uint64_t>(high) << 32) | low);
  last_ = next_;
  last_gpstime_diff_[last_] = 0;
  multi_extreme_counter_[last_] = 0;
}

template <class Dec>
inline void GpsTime11V2Decoder::decode(Dec& dec, uint8_t* item) {
  // A sequence switch re-codes the point against another sequence; at most three switches
  // can chain in a valid stream, the bound keeps a corrupt one from looping.
  for (int attempt = 0; attempt < 8; ++attempt) {
    if (last_gpstime_diff_[last_] == 0) {
      const uint32_t multi = dec.decode_symbol(gpstime_0diff_);
      if (multi == 1) {
        last_gpstime_diff_[last_] = gpstime_.decompress(dec, 0, 0);
        last_gpstime_[last_] = add_wrapping64(last_gpstime_[last_], last_gpstime_diff_[last_]);
        multi_extreme_counter_[last_] = 0;
      } else if (multi == 2) {
        read_raw(dec);
      } else if (multi > 2) {
        last_ = (last_ + multi - 2) & 3u;
        continue;
      }
      break;
    }
    const uint32_t multi = dec.decode_symbol(gpstime_multi_);
    if (multi == 1) {
      last_gpstime_[last_] = add_wrapping64(last_gpstime_[last_],
                                            gpstime_.decompress(dec, last_gpstime_diff_[last_], 1));
      multi_extreme_counter_[last_] = 0;
    } else if (multi < kMultiUnchanged) {
      int32_t diff;
      const int32_t last_diff = last_gpstime_diff_[last_];
      if (multi == 0) {
        diff = gpstime_.decompress(dec, 0, 7);
        note_extreme(diff);
      } else if (multi < static_cast<uint32_t>(kMulti)) {
        const auto mul = static_cast<int32_t>(multi);
        diff = gpstime_.decompress(dec, mul_wrapping(mul, last_diff), multi < 10 ? 2 : 3);
      } else if (multi == static_cast<uint32_t>(kMulti)) {
        diff = gpstime_.decompress(dec, mul_wrapping(kMulti, last_diff), 4);
        note_extreme(diff);
      } else {
        const int32_t mul = kMulti - static_cast<int32_t>(multi);
        if (mul > kMultiMinus) {
          diff = gpstime_.decompress(dec, mul_wrapping(mul, last_diff), 5);
        } else {
          diff = gpstime_.decompress(dec, mul_wrapping(kMultiMinus, last_diff), 6);
          note_extreme(diff);
        }
      }
      last_gpstime_[last_] = add_wrapping64(last_gpstime_[last_], diff);
    } else if (multi == kMultiCodeFull) {
      read_raw(dec);
    } else if (multi > kMultiCodeFull) {
      last_ = (last_ + multi - kMultiCodeFull) & 3u;
      continue;
    }
    break;
  }
  store_i64(item, last_gpstime_[last_]);
}

template <class Enc>
void GpsTime11V2Encoder::write_raw(Enc& enc, int64_t time) {
  gpstime_.compress(enc, static_cast<int32_t>(static_cast<uint64_t>(last_gpstime_[last_]) >> 32),
                    static_cast<int32_t>(static_cast<uint64_t>(time) >> 32), 8);
  enc.write_int(static_cast<uint32_t>(static_cast<uint64_t>(time)));
  next_ = (next_ + 1) & 3u;
  last_ = next_;
  last_gpstime_diff_[last_] = 0;
  multi_extreme_counter_[last_] = 0;
}

inline uint32_t GpsTime11V2Encoder::find_sequence(int64_t time) const {
  for (uint32_t i = 1; i < 4; ++i) {
    const auto other = static_cast<int64_t>(static_cast<uint64_t>(time) -
                                            static_cast<uint64_t>(last_gpstime_[(last_ + i) & 3u]));
    if (other == static_cast<int32_t>(other)) return i;
  }
  return 0;
}

template <class Enc>
void GpsTime11V2Encoder::encode(Enc& enc, const uint8_t* item) {
  const int64_t time = load_i64(item);
  for (int attempt = 0; attempt < 4; ++attempt) {
    if (time == last_gpstime_[last_]) {
      if (last_gpstime_diff_[last_] == 0) {
        enc.encode_symbol(gpstime_0diff_, 0);
      } else {
        enc.encode_symbol(gpstime_multi_, kMultiUnchanged);
      }
      return;
    }
    const auto diff64 = static_cast<int64_t>(static_cast<uint64_t>(time) -
                                             static_cast<uint64_t>(last_gpstime_[last_]));
    const auto diff = static_cast<int32_t>(diff64);
    if (last_gpstime_diff_[last_] == 0) {
      if (diff64 == diff) {
        enc.encode_symbol(gpstime_0diff_, 1);
        gpstime_.compress(enc, 0, diff, 0);
        last_gpstime_diff_[last_] = diff;
        multi_extreme_counter_[last_] = 0;
      } else {
        if (const uint32_t i = find_sequence(time); i != 0) {
          enc.encode_symbol(gpstime_0diff_, i + 2);
          last_ = (last_ + i) & 3u;
          continue;
        }
        enc.encode_symbol(gpstime_0diff_, 2);
        write_raw(enc, time);
      }
      last_gpstime_[last_] = time;
      return;
    }
    if (diff64 == diff) {
      const int32_t last_diff = last_gpstime_diff_[last_];
      const int32_t multi = quantize_f32(static_cast<float>(diff) / static_cast<float>(last_diff));
      if (multi == 1) {
        enc.encode_symbol(gpstime_multi_, 1);
        gpstime_.compress(enc, last_diff, diff, 1);
        multi_extreme_counter_[last_] = 0;
      } else if (multi > 0) {
        if (multi < kMulti) {
          enc.encode_symbol(gpstime_multi_, static_cast<uint32_t>(multi));
          gpstime_.compress(enc, mul_wrapping(multi, last_diff), diff, multi < 10 ? 2 : 3);
        } else {
          enc.encode_symbol(gpstime_multi_, kMulti);
          gpstime_.compress(enc, mul_wrapping(kMulti, last_diff), diff, 4);
          note_extreme(diff);
        }
      } else if (multi < 0) {
        if (multi > kMultiMinus) {
          enc.encode_symbol(gpstime_multi_, static_cast<uint32_t>(kMulti - multi));
          gpstime_.compress(enc, mul_wrapping(multi, last_diff), diff, 5);
        } else {
          enc.encode_symbol(gpstime_multi_, static_cast<uint32_t>(kMulti - kMultiMinus));
          gpstime_.compress(enc, mul_wrapping(kMultiMinus, last_diff), diff, 6);
          note_extreme(diff);
        }
      } else {
        enc.encode_symbol(gpstime_multi_, 0);
        gpstime_.compress(enc, 0, diff, 7);
        note_extreme(diff);
      }
    } else {
      if (const uint32_t i = find_sequence(time); i != 0) {
        enc.encode_symbol(gpstime_multi_, kMultiCodeFull + i);
        last_ = (last_ + i) & 3u;
        continue;
      }
      enc.encode_symbol(gpstime_multi_, kMultiCodeFull);
      write_raw(enc, time);
    }
    last_gpstime_[last_] = time;
    return;
  }
}

}  // namespace laz::detail
