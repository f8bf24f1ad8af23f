// Little-endian loads and stores, and the byte sources and sinks the arithmetic coder runs on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace laz::detail {

inline uint16_t load_u16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t load_u32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t load_u64(const uint8_t* p) {
  return static_cast<uint64_t>(load_u32(p)) | (static_cast<uint64_t>(load_u32(p + 4)) << 32);
}
inline int16_t load_i16(const uint8_t* p) { return static_cast<int16_t>(load_u16(p)); }
inline int32_t load_i32(const uint8_t* p) { return static_cast<int32_t>(load_u32(p)); }
inline int64_t load_i64(const uint8_t* p) { return static_cast<int64_t>(load_u64(p)); }

inline void store_u16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void store_u32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}
inline void store_u64(uint8_t* p, uint64_t v) {
  store_u32(p, static_cast<uint32_t>(v));
  store_u32(p + 4, static_cast<uint32_t>(v >> 32));
}
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
