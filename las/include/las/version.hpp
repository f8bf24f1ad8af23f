// The LAS version of a file and the features and point formats each version can hold.
#pragma once

#include <compare>
#include <cstdint>
#include <string>

namespace las {

struct Version {
  uint8_t major = 1;
  uint8_t minor = 2;

  friend constexpr auto operator<=>(const Version&, const Version&) = default;

  // "1.2"
  [[nodiscard]] std::string text() const;
  // "Version { major: 1, minor: 2 }", the form used inside some writer messages.
  [[nodiscard]] std::string debug_text() const;
  // Size of the public header block as laid out by this version: 227 up to 1.2, 235 for 1.3,
  // 375 for 1.4 and every later version.
  [[nodiscard]] uint16_t standard_header_size() const;
  // 1.3 and later carry the start of the wave packet data record.
  [[nodiscard]] bool has_waveform_start() const { return *this >= Version{1, 3}; }
  // 1.4 and later carry EVLR start/count and the 64-bit point counts.
  [[nodiscard]] bool has_large_file_fields() const { return *this >= Version{1, 4}; }
};

// Header features that need a minimum version; names as they appear in messages.
enum class Feature { FileSourceId, SyntheticReturnNumbers, GpsStandardTime, Evlrs, LargeFiles };

[[nodiscard]] const char* feature_name(Feature feature);
[[nodiscard]] bool supports(Version version, Feature feature);
// Formats 0-1 in 1.0/1.1, 0-3 in 1.2, 0-5 in 1.3, 0-10 in 1.4; nothing in any other version.
[[nodiscard]] bool supports_point_format(Version version, uint8_t format_id);

}  // namespace las
