// LASzip's integer compressor: codes an integer as its correction against a prediction. The
// correction's bit length k is coded with a per-context model, then the correction within
// that length with a per-k model (large k: the high bits with the model, the rest raw).
#pragma once

#include <cstdint>
#include <vector>

#include "arithmetic_model.hpp"

namespace laz::detail {

class IntegerCompressor {
 public:
  explicit IntegerCompressor(uint32_t bits = 16, uint32_t contexts = 1, uint32_t bits_high = 8,
                             uint32_t range = 0)
      : bits_high_(bits_high) {
    if (range != 0) {
      corr_bits_ = 0;
      corr_range_ = range;
      while (range != 0) {
        range >>= 1;
        ++corr_bits_;
      }
      if (corr_range_ == (1u << (corr_bits_ - 1))) --corr_bits_;
      corr_min_ = -static_cast<int32_t>(corr_range_ / 2);
      corr_max_ = static_cast<int32_t>(static_cast<uint32_t>(corr_min_) + corr_range_ - 1);
    } else if (bits != 0 && bits < 32) {
      corr_bits_ = bits;
      corr_range_ = 1u << bits;
      corr_min_ = -static_cast<int32_t>(corr_range_ / 2);
      corr_max_ = static_cast<int32_t>(static_cast<uint32_t>(corr_min_) + corr_range_ - 1);
    } else {
      corr_bits_ = 32;
      corr_range_ = 0;
      corr_min_ = INT32_MIN;
      corr_max_ = INT32_MAX;
    }
    k_models_.reserve(contexts);
    for (uint32_t i = 0; i < contexts; ++i) k_models_.emplace_back(corr_bits_ + 1);
    correctors_.reserve(corr_bits_);
    for (uint32_t i = 1; i <= corr_bits_; ++i) {
      correctors_.emplace_back(i <= bits_high_ ? (1u << i) : (1u << bits_high_));
    }
  }

  // Back to the state right after construction (what a new chunk starts from).
  void init() {
    for (auto& m : k_models_) m.init();
    corrector0_.init();
    for (auto& m : correctors_) m.init();
    k_ = 0;
  }

  template <class Enc>
  void compress(Enc& enc, int32_t pred, int32_t real, uint32_t context = 0) {
    // Wrapping arithmetic: the correction lives modulo 2^32 (or modulo the range).
    int32_t corr = static_cast<int32_t>(static_cast<uint32_t>(real) - static_cast<uint32_t>(pred));
    if (corr < corr_min_) {
      corr = static_cast<int32_t>(static_cast<uint32_t>(corr) + corr_range_);
    } else if (corr > corr_max_) {
      corr = static_cast<int32_t>(static_cast<uint32_t>(corr) - corr_range_);
    }
    write_corrector(enc, corr, k_models_[context]);
  }

  template <class Dec>
  [[gnu::always_inline]] int32_t decompress(Dec& dec, int32_t pred, uint32_t context = 0) {
    const uint32_t real = static_cast<uint32_t>(pred) +
                          static_cast<uint32_t>(read_corrector(dec, k_models_[context]));
    // Back into [0, range) when a range applies (for 32 bits the range is 0 and nothing
    // changes); written as selects because the sign is unpredictable.
    const bool negative = static_cast<int32_t>(real) < 0;
    const uint32_t add = negative ? corr_range_ : 0u;
    const uint32_t sub = !negative && real >= corr_range_ ? corr_range_ : 0u;
    return static_cast<int32_t>(real + add - sub);
  }

  uint32_t k() const { return k_; }

 private:
  template <class Enc>
  void write_corrector(Enc& enc, int32_t c, ArithmeticModel& k_model) {
    uint32_t c1 = c <= 0 ? 0u - static_cast<uint32_t>(c) : static_cast<uint32_t>(c) - 1u;
    uint32_t k = 0;
    while (c1 != 0) {
      c1 >>= 1;
      ++k;
    }
    k_ = k;
    enc.encode_symbol(k_model, k);
    if (k == 0) {
      // c is 0 or 1
      enc.encode_bit(corrector0_, static_cast<uint32_t>(c));
      return;
    }
    if (k == 32) return;  // only INT32_MIN has 32 bits; the decoder knows it from k alone
    // Map c into [0, 2^k - 1]: negatives [-(2^k - 1), -2^(k-1)] go to the lower half,
    // positives [2^(k-1) + 1, 2^k] to the upper half.
    uint32_t u;
    if (c < 0) {
      u = static_cast<uint32_t>(c) + ((1u << k) - 1u);
    } else {
      u = static_cast<uint32_t>(c) - 1u;
    }
    if (k <= bits_high_) {
      enc.encode_symbol(correctors_[k - 1], u);
    } else {
      const uint32_t k1 = k - bits_high_;
      const uint32_t low = u & ((1u << k1) - 1u);
      enc.encode_symbol(correctors_[k - 1], u >> k1);
      enc.write_bits(k1, low);
    }
  }

  template <class Dec>
  [[gnu::always_inline]] int32_t read_corrector(Dec& dec, ArithmeticModel& k_model) {
    const uint32_t k = dec.decode_symbol(k_model);
    k_ = k;
    if (k == 0) return static_cast<int32_t>(dec.decode_bit(corrector0_));
    if (k >= 32) return corr_min_;
    uint32_t u;
    if (k <= bits_high_) {
      u = dec.decode_symbol(correctors_[k - 1]);
    } else {
      const uint32_t k1 = k - bits_high_;
      u = dec.decode_symbol(correctors_[k - 1]);
      u = (u << k1) | dec.read_bits(k1);
    }
    // The lower half of [0, 2^k) holds the negative corrections.
    const uint32_t negative_mask = 0u - static_cast<uint32_t>(u < (1u << (k - 1)));
    return static_cast<int32_t>(u + 1u - (negative_mask & (1u << k)));
  }

  uint32_t bits_high_;
  uint32_t corr_bits_ = 0;
  uint32_t corr_range_ = 0;
  int32_t corr_min_ = 0;
  int32_t corr_max_ = 0;
  uint32_t k_ = 0;
  std::vector<ArithmeticModel> k_models_;    // per context: the bit length of the correction
  BitModel corrector0_;                      // k == 0: the correction is 0 or 1
  std::vector<ArithmeticModel> correctors_;  // per k >= 1: the correction within that length
};

}  // namespace laz::detail
