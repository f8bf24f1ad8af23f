// Little-endian loads and stores of the fixed-width fields of LAS records, plus a cursor that
// walks a block whose length was checked once, so field reads in file order need no checks.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <type_traits>

namespace las {

// An integer's bytes in little-endian order (a no-op on little-endian machines); its own inverse.
template <class T>
[[nodiscard]] inline T to_or_from_little_endian(T value) {
  if constexpr (std::endian::native == std::endian::big && sizeof(T) > 1) {
    using U = std::make_unsigned_t<T>;
    if constexpr (sizeof(T) == 2) return static_cast<T>(__builtin_bswap16(static_cast<U>(value)));
    if constexpr (sizeof(T) == 4) return static_cast<T>(__builtin_bswap32(static_cast<U>(value)));
    if constexpr (sizeof(T) == 8) return static_cast<T>(__builtin_bswap64(static_cast<U>(value)));
  }
  return value;
}

template <class T>
[[nodiscard]] inline T load_le(const uint8_t* p) {
  static_assert(std::is_trivially_copyable_v<T>);
  if constexpr (std::is_floating_point_v<T>) {
    using Bits = std::conditional_t<sizeof(T) == 8, uint64_t, uint32_t>;
    return std::bit_cast<T>(load_le<Bits>(p));
  } else {
    T value;
    std::memcpy(&value, p, sizeof(T));
    return to_or_from_little_endian(value);
  }
}

template <class T>
inline void store_le(uint8_t* p, T value) {
  static_assert(std::is_trivially_copyable_v<T>);
  if constexpr (std::is_floating_point_v<T>) {
    using Bits = std::conditional_t<sizeof(T) == 8, uint64_t, uint32_t>;
    store_le<Bits>(p, std::bit_cast<Bits>(value));
  } else {
    value = to_or_from_little_endian(value);
    std::memcpy(p, &value, sizeof(T));
  }
}

// Reads fields in order from a block the caller has already sized; reading past the end is a
// programming error (the block length is checked once, before the first field).
class ByteCursor {
 public:
  explicit ByteCursor(std::span<const uint8_t> bytes)
      : cur_(bytes.data()), end_(bytes.data() + bytes.size()) {}

  template <class T>
  [[nodiscard]] T get() {
    T value = load_le<T>(cur_);
    cur_ += sizeof(T);
    return value;
  }
  template <size_t N>
  [[nodiscard]] std::array<uint8_t, N> get_bytes() {
    std::array<uint8_t, N> out;
    std::memcpy(out.data(), cur_, N);
    cur_ += N;
    return out;
  }
  [[nodiscard]] size_t remaining() const { return static_cast<size_t>(end_ - cur_); }

 private:
  const uint8_t* cur_;
  const uint8_t* end_;
};

// Appends fields in order to a byte vector-like sink (anything with insert at end).
template <class Bytes>
class ByteAppender {
 public:
  explicit ByteAppender(Bytes& out) : out_(out) {}
  template <class T>
  void put(T value) {
    uint8_t tmp[sizeof(T)];
    store_le<T>(tmp, value);
    out_.insert(out_.end(), tmp, tmp + sizeof(T));
  }
  void put_bytes(std::span<const uint8_t> bytes) {
    out_.insert(out_.end(), bytes.begin(), bytes.end());
  }

 private:
  Bytes& out_;
};

}  // namespace las
