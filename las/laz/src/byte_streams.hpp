// Little-endian loads and stores, and the byte sources and sinks the arithmetic coder runs on.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace laz::detail {

template <class T>
constexpr T byteswap(T v) {
  if constexpr (sizeof(T) == 2) {
    return static_cast<T>(__builtin_bswap16(static_cast<uint16_t>(v)));
  } else if constexpr (sizeof(T) == 4) {
    return static_cast<T>(__builtin_bswap32(static_cast<uint32_t>(v)));
  } else {
    static_assert(sizeof(T) == 8);
    return static_cast<T>(__builtin_bswap64(static_cast<uint64_t>(v)));
  }
}

// LAS data is little-endian; on little-endian hosts a load or store is a plain copy.
template <class T>
inline T load_le(const uint8_t* p) {
  T v;
  std::memcpy(&v, p, sizeof(T));
  if constexpr (std::endian::native == std::endian::big) v = byteswap(v);
  return v;
}
template <class T>
inline void store_le(uint8_t* p, T v) {
  if constexpr (std::endian::native == std::endian::big) v = byteswap(v);
  std::memcpy(p, &v, sizeof(T));
}

inline uint16_t load_u16(const uint8_t* p) { return load_le<uint16_t>(p); }
inline uint32_t load_u32(const uint8_t* p) { return load_le<uint32_t>(p); }
inline uint64_t load_u64(const uint8_t* p) { return load_le<uint64_t>(p); }
inline int16_t load_i16(const uint8_t* p) { return static_cast<int16_t>(load_u16(p)); }
inline int32_t load_i32(const uint8_t* p) { return static_cast<int32_t>(load_u32(p)); }
inline int64_t load_i64(const uint8_t* p) { return static_cast<int64_t>(load_u64(p)); }

inline void store_u16(uint8_t* p, uint16_t v) { store_le(p, v); }
inline void store_u32(uint8_t* p, uint32_t v) { store_le(p, v); }
inline void store_u64(uint8_t* p, uint64_t v) { store_le(p, v); }
inline void store_i16(uint8_t* p, int16_t v) { store_u16(p, static_cast<uint16_t>(v)); }
inline void store_i32(uint8_t* p, int32_t v) { store_u32(p, static_cast<uint32_t>(v)); }
inline void store_i64(uint8_t* p, int64_t v) { store_u64(p, static_cast<uint64_t>(v)); }

// Byte arithmetic of the codecs: a difference taken modulo 256, and a prediction kept in range.
inline constexpr uint8_t fold_byte(int32_t v) { return static_cast<uint8_t>(v); }
inline constexpr int32_t clamp_byte(int32_t v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

// Reads from a byte span. Reading past the end yields zeros and sets `overrun`, so a decoder
// never touches memory outside the chunk; the caller turns `overrun` into an error afterwards.
struct MemorySource {
  const uint8_t* cur = nullptr;
  const uint8_t* end = nullptr;
  bool overrun = false;

  uint8_t get_byte() {
    if (cur < end) return *cur++;
    overrun = true;
    return 0;
  }
  // The next four bytes as a big-endian number (zeros past the end) without consuming them,
  // and the consuming step: lets the decoder shift in 0-3 bytes without branching on the count.
  [[gnu::always_inline]] uint32_t peek_be32() const {
    if (end - cur >= 4) {
      uint32_t v;
      std::memcpy(&v, cur, 4);
      if constexpr (std::endian::native == std::endian::little) v = byteswap(v);
      return v;
    }
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = (v << 8) | (cur + i < end ? cur[i] : 0u);
    return v;
  }
  [[gnu::always_inline]] void skip(size_t n) {
    if (static_cast<size_t>(end - cur) >= n) {
      cur += n;
    } else {
      cur = end;
      overrun = true;
    }
  }
  void get_bytes(uint8_t* dst, size_t n) {
    const size_t have = static_cast<size_t>(end - cur);
    if (n <= have) {
      std::memcpy(dst, cur, n);
      cur += n;
      return;
    }
    if (have != 0) std::memcpy(dst, cur, have);
    std::memset(dst + have, 0, n - have);
    cur = end;
    overrun = true;
  }
};

// Appends to a byte vector owned by the caller.
struct VectorSink {
  std::vector<uint8_t>* out = nullptr;

  void put_byte(uint8_t b) { out->push_back(b); }
  void put_bytes(const uint8_t* p, size_t n) { out->insert(out->end(), p, p + n); }
};

}  // namespace laz::detail
