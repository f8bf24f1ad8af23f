// LASzip's arithmetic encoder, a template on its byte sink. Its output, including the bytes
// `done` appends, is bit-exact with the reference compressor.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "arithmetic_model.hpp"

namespace laz::detail {

template <class Sink>
class ArithmeticEncoder {
 public:
  explicit ArithmeticEncoder(Sink& sink)
      : sink_(&sink), buffer_(std::make_unique<uint8_t[]>(kBufferSize)) {
    out_ = buffer_.get();
    end_ = buffer_.get() + kBufferSize;
  }

  void encode_bit(BitModel& m, uint32_t bit) {
    const uint32_t x = m.bit_0_prob_ * (length_ >> kBitLengthShift);
    if (bit == 0) {
      length_ = x;
      ++m.bit_0_count_;
    } else {
      const uint32_t init_base = base_;
      base_ += x;
      length_ -= x;
      if (init_base > base_) propagate_carry();
    }
    if (length_ < kMinLength) renormalize();
    if (--m.bits_until_update_ == 0) m.update();
  }

  void encode_symbol(ArithmeticModel& m, uint32_t sym) {
    const uint32_t init_base = base_;
    const uint16_t* dist = m.distribution_.data();
    if (sym == m.last_symbol_) {
      const uint32_t x = dist[sym] * (length_ >> kSymbolLengthShift);
      base_ += x;
      length_ -= x;
    } else {
      length_ >>= kSymbolLengthShift;
      const uint32_t x = dist[sym] * length_;
      base_ += x;
      length_ = dist[sym + 1] * length_ - x;
    }
    if (init_base > base_) propagate_carry();
    if (length_ < kMinLength) renormalize();
    ++m.symbol_count_[sym];
    if (--m.symbols_until_update_ == 0) m.update();
  }

  // The low `bits` (1..32) of `value`, coded with a flat distribution.
  void write_bits(uint32_t bits, uint32_t value) {
    if (bits > 19) {
      write_short(static_cast<uint16_t>(value & 0xFFFFu));
      value >>= 16;
      bits -= 16;
    }
    const uint32_t init_base = base_;
    length_ >>= bits;
    base_ += value * length_;
    if (init_base > base_) propagate_carry();
    if (length_ < kMinLength) renormalize();
  }

  void write_short(uint16_t v) {
    const uint32_t init_base = base_;
    length_ >>= 16;
    base_ += static_cast<uint32_t>(v) * length_;
    if (init_base > base_) propagate_carry();
    if (length_ < kMinLength) renormalize();
  }

  void write_int(uint32_t v) {
    write_short(static_cast<uint16_t>(v & 0xFFFFu));
    write_short(static_cast<uint16_t>(v >> 16));
  }

  void write_int64(uint64_t v) {
    write_int(static_cast<uint32_t>(v));
    write_int(static_cast<uint32_t>(v >> 32));
  }

  // Ends the stream: settles the interval, flushes, and appends the two or three zero bytes
  // the decoder reads ahead, exactly as the reference does.
  void done() {
    const uint32_t init_base = base_;
    bool another_byte = true;
    if (length_ > 2 * kMinLength) {
      base_ += kMinLength;
      length_ = kMinLength >> 1;
    } else {
      base_ += kMinLength >> 1;
      length_ = kMinLength >> 9;
      another_byte = false;
    }
    if (init_base > base_) propagate_carry();
    renormalize();
    const size_t n = static_cast<size_t>(out_ - buffer_.get());
    if (n != 0) sink_->put_bytes(buffer_.get(), n);
    sink_->put_byte(0);
    sink_->put_byte(0);
    if (another_byte) sink_->put_byte(0);
    out_ = buffer_.get();
    base_ = 0;
    length_ = kMaxLength;
  }

  Sink& sink() { return *sink_; }

 private:
  static constexpr size_t kBufferSize = 1u << 16;

  void propagate_carry() {
    // A carry stops at the first byte that is not 0xFF; flush() always keeps such a byte.
    uint8_t* p = out_ - 1;
    while (*p == 0xFF) {
      *p = 0;
      --p;
    }
    ++*p;
  }

  void renormalize() {
    do {
      if (out_ == end_) flush();
      *out_++ = static_cast<uint8_t>(base_ >> 24);
      base_ <<= 8;
      length_ <<= 8;
    } while (length_ < kMinLength);
  }

  // Hands everything before the last byte that can still absorb a carry to the sink.
  void flush() {
    uint8_t* keep = out_ - 1;
    while (keep > buffer_.get() && *keep == 0xFF) --keep;
    const size_t n = static_cast<size_t>(keep - buffer_.get());
    if (n == 0) {
      // A whole buffer of 0xFF bytes: grow instead of dropping a carry target.
      grow();
      return;
    }
    sink_->put_bytes(buffer_.get(), n);
    const size_t rest = static_cast<size_t>(out_ - keep);
    std::memmove(buffer_.get(), keep, rest);
    out_ = buffer_.get() + rest;
  }

  void grow() {
    const size_t size = static_cast<size_t>(end_ - buffer_.get());
    const size_t used = static_cast<size_t>(out_ - buffer_.get());
    auto bigger = std::make_unique<uint8_t[]>(size * 2);
    std::memcpy(bigger.get(), buffer_.get(), used);
    buffer_ = std::move(bigger);
    out_ = buffer_.get() + used;
    end_ = buffer_.get() + size * 2;
  }

  Sink* sink_;
  std::unique_ptr<uint8_t[]> buffer_;
  uint8_t* out_ = nullptr;
  uint8_t* end_ = nullptr;
  uint32_t base_ = 0;
  uint32_t length_ = kMaxLength;
};

}  // namespace laz::detail
