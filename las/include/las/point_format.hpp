// The point data record format of a file: its number, whether the points are LASzip
// compressed, how many uninterpreted extra bytes follow each standard record, and what the
// number implies about the record's fields.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace las {

inline constexpr uint8_t kMaxPointFormat = 10;

// Standard record length of each format 0-10, without extra bytes.
inline constexpr std::array<uint16_t, 11> kStandardRecordLength = {20, 28, 26, 34, 57, 63,
                                                                   30, 36, 38, 59, 67};

struct PointFormat {
  uint8_t id = 0;
  bool compressed = false;
  uint16_t extra_bytes = 0;

  [[nodiscard]] constexpr bool is_extended() const { return id >= 6 && id <= 10; }
  [[nodiscard]] constexpr bool has_gps_time() const { return id == 1 || (id >= 3 && id <= 10); }
  [[nodiscard]] constexpr bool has_color() const {
    return id == 2 || id == 3 || id == 5 || id == 7 || id == 8 || id == 10;
  }
  [[nodiscard]] constexpr bool has_waveform() const {
    return id == 4 || id == 5 || id == 9 || id == 10;
  }
  [[nodiscard]] constexpr bool has_nir() const { return id == 8 || id == 10; }
  // Unknown numbers (only reachable through a compressed format byte) count as the base
  // 20-byte record; no version accepts them, so such a header never validates.
  [[nodiscard]] constexpr uint16_t standard_length() const {
    return id <= kMaxPointFormat ? kStandardRecordLength[id] : uint16_t{20};
  }
  [[nodiscard]] constexpr uint32_t record_length() const {
    return uint32_t{standard_length()} + extra_bytes;
  }
  // "point format 3"
  [[nodiscard]] std::string text() const;

  friend constexpr bool operator==(const PointFormat&, const PointFormat&) = default;
};

}  // namespace las
