// LASzip's arithmetic decoder, a template on its byte source so the per-bit work inlines into
// the field codecs.
#pragma once

#include <bit>
#include <concepts>
#include <cstddef>
#include <cstdint>

#include "arithmetic_model.hpp"

namespace laz::detail {

template <class Source>
class ArithmeticDecoder {
 public:
  explicit ArithmeticDecoder(Source& src) : src_(&src) {}

  // Continues the stream of `from` on `src`, a copy of its source. Hot loops decode with such a
  // copy held in locals: nothing else can point at them, so the coder state stays in registers
  // instead of being reloaded after every store into the output records.
  ArithmeticDecoder(Source& src, const ArithmeticDecoder& from)
      : src_(&src), value_(from.value_), length_(from.length_) {}

  // Reads the first four bytes of a coded stream.
  void init() {
    length_ = kMaxLength;
    value_ = static_cast<uint32_t>(src_->get_byte()) << 24;
    value_ |= static_cast<uint32_t>(src_->get_byte()) << 16;
    value_ |= static_cast<uint32_t>(src_->get_byte()) << 8;
    value_ |= static_cast<uint32_t>(src_->get_byte());
  }

  [[gnu::always_inline]] uint32_t decode_bit(BitModel& m) {
    const uint32_t x = m.bit_0_prob_ * (length_ >> kBitLengthShift);
    const uint32_t sym = value_ >= x ? 1u : 0u;
    // Selects rather than branches: the bit is as unpredictable as the model is good.
    value_ -= sym != 0 ? x : 0u;
    length_ = sym != 0 ? length_ - x : x;
    m.bit_0_count_ += sym ^ 1u;
    renormalize_if_needed();
    if (--m.bits_until_update_ == 0) m.update();
    return sym;
  }

  [[gnu::always_inline]] uint32_t decode_symbol(ArithmeticModel& m) {
    if (!m.table_fresh_) m.build_table();
    const uint16_t* dist = m.distribution_.data();
    const uint32_t full_length = length_;
    length_ >>= kSymbolLengthShift;
    const uint32_t dv = value_ / length_;
    // A valid stream keeps value_ < length_; the clamp keeps a corrupt one inside the table.
    uint32_t t = dv >> m.table_shift_;
    if (t > m.table_size_) t = m.table_size_;
    uint32_t sym = m.decoder_table_[t];
    uint32_t n = m.decoder_table_[t + 1] + 1;
    while (n > sym + 1) {
      const uint32_t k = (sym + n) >> 1;
      if (uint32_t{dist[k]} > dv) {
        n = k;
      } else {
        sym = k;
      }
    }
    const uint32_t x = uint32_t{dist[sym]} * length_;
    const uint32_t y = sym != m.last_symbol_ ? uint32_t{dist[sym + 1]} * length_ : full_length;
    value_ -= x;
    length_ = y - x;
    renormalize_if_needed();
    ++m.symbol_count_[sym];
    if (--m.symbols_until_update_ == 0) m.update();
    return sym;
  }

  // `bits` raw bits (1..32), coded with a flat distribution.
  [[gnu::always_inline]] uint32_t read_bits(uint32_t bits) {
    uint32_t low = 0;
    uint32_t shift = 0;
    if (bits > 19) {
      // The coder's precision allows at most 19 bits at once: the low 16 go first.
      low = read_short();
      bits -= 16;
      shift = 16;
    }
    length_ >>= bits;
    const uint32_t sym = value_ / length_;
    value_ -= length_ * sym;
    renormalize_if_needed();
    return (sym << shift) | low;
  }

  [[gnu::always_inline]] uint32_t read_short() {
    length_ >>= 16;
    const uint32_t sym = value_ / length_;
    value_ -= length_ * sym;
    renormalize_if_needed();
    return sym;
  }

  [[gnu::always_inline]] uint32_t read_int() {
    const uint32_t low = read_short();
    const uint32_t high = read_short();
    return (high << 16) | low;
  }

  uint64_t read_int64() {
    const uint64_t low = read_int();
    const uint64_t high = read_int();
    return (high << 32) | low;
  }

  Source& source() { return *src_; }

 private:
  void renormalize() {
    do {
      value_ = (value_ << 8) | src_->get_byte();
      length_ <<= 8;
    } while (length_ < kMinLength);
  }

  // After a symbol: shifts in as many bytes (0-3) as keep length_ >= kMinLength. Sources that
  // can peek do it without a branch on the length, which the coder makes unpredictable.
  [[gnu::always_inline]] void renormalize_if_needed() {
    if constexpr (requires(Source & s) {
                    { s.peek_be32() } -> std::same_as<uint32_t>;
                    s.skip(size_t{0});
                  }) {
      const uint32_t bytes = static_cast<uint32_t>(std::countl_zero(length_)) >> 3;
      const uint64_t window = (static_cast<uint64_t>(value_) << 32) | src_->peek_be32();
      value_ = static_cast<uint32_t>(window >> (32 - 8 * bytes));
      length_ <<= 8 * bytes;
      src_->skip(bytes);
    } else {
      if (length_ < kMinLength) renormalize();
    }
  }

  Source* src_;
  uint32_t value_ = 0;
  uint32_t length_ = kMaxLength;
};

}  // namespace laz::detail
