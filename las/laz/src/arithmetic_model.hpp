// The adaptive probability models of LASzip's arithmetic coder: a multi-symbol model and a
// binary model. Both coders must update them identically, so the update rules live here.
#pragma once

#include <cstdint>
#include <vector>

namespace laz::detail {

template <class Source>
class ArithmeticDecoder;
template <class Sink>
class ArithmeticEncoder;

// Precision of the coder: the interval length stays in [kMinLength, 2^32).
inline constexpr uint32_t kMinLength = 0x01000000u;
inline constexpr uint32_t kMaxLength = 0xFFFFFFFFu;
// Multi-symbol models keep their cumulative distribution in 15 bits, binary models in 13.
inline constexpr uint32_t kSymbolLengthShift = 15;
inline constexpr uint32_t kSymbolMaxCount = 1u << kSymbolLengthShift;
inline constexpr uint32_t kBitLengthShift = 13;
inline constexpr uint32_t kBitMaxCount = 1u << kBitLengthShift;

// Adaptive model over `symbols` symbols (2..2048). The counts are halved when they grow too
// large and the distribution is rebuilt on an update cycle that lengthens as the model settles.
class ArithmeticModel {
 public:
  explicit ArithmeticModel(uint32_t symbols);

  // Back to the state right after construction (what a new chunk starts from).
  void init();
  uint32_t symbols() const { return symbols_; }

 private:
  template <class Source>
  friend class ArithmeticDecoder;
  template <class Sink>
  friend class ArithmeticEncoder;

  void update();
  // Rebuilds the decoder's lookup table from the distribution (only decoders need it).
  void build_table();

  uint32_t symbols_;
  uint32_t last_symbol_;
  uint32_t table_size_ = 0;
  uint32_t table_shift_ = 0;
  bool table_fresh_ = false;
  uint32_t total_count_ = 0;
  uint32_t update_cycle_ = 0;
  uint32_t symbols_until_update_ = 0;
  std::vector<uint16_t> distribution_;  // 15-bit values
  std::vector<uint32_t> symbol_count_;
  // Symbols fit 16 bits; narrow cells keep the tables of the many hot models in L1.
  std::vector<uint16_t> decoder_table_;
};

// Adaptive model of one binary decision.
class BitModel {
 public:
  BitModel() { init(); }

  void init() {
    bit_0_count_ = 1;
    bit_count_ = 2;
    bit_0_prob_ = 1u << (kBitLengthShift - 1);
    update_cycle_ = 4;
    bits_until_update_ = 4;
  }

 private:
  template <class Source>
  friend class ArithmeticDecoder;
  template <class Sink>
  friend class ArithmeticEncoder;

  void update() {
    bit_count_ += update_cycle_;
    if (bit_count_ > kBitMaxCount) {
      bit_count_ = (bit_count_ + 1) >> 1;
      bit_0_count_ = (bit_0_count_ + 1) >> 1;
      if (bit_0_count_ == bit_count_) ++bit_count_;
    }
    const uint32_t scale = 0x80000000u / bit_count_;
    bit_0_prob_ = (bit_0_count_ * scale) >> (31 - kBitLengthShift);
    update_cycle_ = (5 * update_cycle_) >> 2;
    if (update_cycle_ > 64) update_cycle_ = 64;
    bits_until_update_ = update_cycle_;
  }

  uint32_t bit_0_count_ = 1;
  uint32_t bit_count_ = 2;
  uint32_t bit_0_prob_ = 0;
  uint32_t update_cycle_ = 4;
  uint32_t bits_until_update_ = 4;
};

}  // namespace laz::detail
