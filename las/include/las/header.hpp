// The decoded header of a LAS file: the public header block, its VLRs and EVLRs and the three
// paddings, as read and validated, and as handed to the writer for an output file.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "las/error.hpp"
#include "las/point_format.hpp"
#include "las/transform.hpp"
#include "las/version.hpp"
#include "las/vlr.hpp"

namespace las {

enum class GpsTimeType { Week, Standard };

// A calendar date as LAS stores it: the day of the year (1-based) and the year.
struct CreationDate {
  uint16_t day_of_year = 1;
  uint16_t year = 1970;
  // Only combinations that form a real date (proleptic Gregorian) make a value.
  [[nodiscard]] static std::optional<CreationDate> make(uint16_t day_of_year, uint16_t year);
  friend bool operator==(const CreationDate&, const CreationDate&) = default;
};

struct Header {
  Version version;
  PointFormat point_format;
  Transforms transforms;
  uint64_t number_of_points = 0;
  // Only non-zero counts are entries; keys are return numbers (1-5 from the legacy fields,
  // 1-15 from the LAS 1.4 fields).
  std::map<uint8_t, uint64_t> number_of_points_by_return;
  Bounds bounds;
  uint16_t file_source_id = 0;
  GpsTimeType gps_time_type = GpsTimeType::Week;
  bool synthetic_return_numbers = false;
  bool wkt = false;
  std::array<uint8_t, 16> guid{};
  std::string system_identifier;
  std::string generating_software;
  // The two text fields exactly as read. A writer may leave bytes after the terminating zero;
  // an output whose text was not changed gets the stored field back unchanged.
  std::optional<std::array<uint8_t, 32>> raw_system_identifier;
  std::optional<std::array<uint8_t, 32>> raw_generating_software;
  std::optional<CreationDate> creation_date;
  std::vector<Vlr> vlrs;
  std::vector<Vlr> evlrs;
  std::vector<uint8_t> header_padding;
  std::vector<uint8_t> vlr_padding;
  std::vector<uint8_t> point_padding;

  friend bool operator==(const Header&, const Header&) = default;
};

// Whether the header's content can be held by `version` (feature, point format and EVLR
// rules); the first broken rule gives the error. Changes nothing.
[[nodiscard]] Result<void> check_version(const Header& header, Version version);

// The lowest of 1.0 ... 1.4 that can hold the header, if any.
[[nodiscard]] std::optional<Version> minimum_version(const Header& header);

// The header rules, in order: 1.0's VLR padding ends in CC DD; features and format need the
// version; large VLRs become EVLRs (and EVLRs of pre-1.4 headers become VLRs); EVLRs need 1.4
// and point padding needs EVLRs; formats 6-10 set the WKT flag. Applied to every header read
// and to every output header.
[[nodiscard]] Result<void> validate_and_normalise(Header& header);

}  // namespace las
