// Header rules shared by reading and writing: which version can hold a header, and the
// normalisation every header goes through.
#include "las/header.hpp"

#include <fmt/format.h>

namespace las {

namespace {

bool is_leap_year(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

tl::unexpected<Error> feature_error(Feature feature, Version version) {
  return fail(fmt::format("feature {} is not supported by version {}", feature_name(feature),
                          version.text()));
}

// Whether the EVLR list would be non-empty after the records are sorted for `version`.
bool has_evlrs_after_sorting(const Header& header, Version version) {
  if (version == Version{1, 4} && !header.evlrs.empty()) return true;
  for (const Vlr& evlr : header.evlrs) {
    if (evlr.has_large_data()) return true;
  }
  for (const Vlr& vlr : header.vlrs) {
    if (vlr.has_large_data()) return true;
  }
  return false;
}

}  // namespace

std::optional<CreationDate> CreationDate::make(uint16_t day_of_year, uint16_t year) {
  const int days = is_leap_year(year) ? 366 : 365;
  if (day_of_year < 1 || day_of_year > days) return std::nullopt;
  return CreationDate{day_of_year, year};
}

Result<void> check_version(const Header& header, Version version) {
  if (header.file_source_id != 0 && !supports(version, Feature::FileSourceId)) {
    return feature_error(Feature::FileSourceId, version);
  }
  if (header.synthetic_return_numbers && !supports(version, Feature::SyntheticReturnNumbers)) {
    return feature_error(Feature::SyntheticReturnNumbers, version);
  }
  if (header.gps_time_type == GpsTimeType::Standard &&
      !supports(version, Feature::GpsStandardTime)) {
    return feature_error(Feature::GpsStandardTime, version);
  }
  if (!supports_point_format(version, header.point_format.id)) {
    return fail(fmt::format("version {} does not support format {}", version.text(),
                            header.point_format.text()));
  }
  if (has_evlrs_after_sorting(header, version)) {
    if (!supports(version, Feature::Evlrs)) return feature_error(Feature::Evlrs, version);
  } else if (!header.point_padding.empty()) {
    return fail("point padding is only allowed when evlrs are present");
  }
  return {};
}

std::optional<Version> minimum_version(const Header& header) {
  for (uint8_t minor = 0; minor <= 4; ++minor) {
    const Version version{1, minor};
    if (check_version(header, version)) return version;
  }
  return std::nullopt;
}

Result<void> validate_and_normalise(Header& header) {
  // LAS 1.0 ends the VLR area with the two "start of point data" bytes.
  if (header.version == Version{1, 0}) {
    const auto& padding = header.vlr_padding;
    const size_t n = padding.size();
    if (n < 2 || padding[n - 2] != 0xCC || padding[n - 1] != 0xDD) {
      header.vlr_padding.push_back(0xCC);
      header.vlr_padding.push_back(0xDD);
    }
  }
  if (auto checked = check_version(header, header.version); !checked) return checked;

  const bool keep_evlrs = header.version == Version{1, 4};
  std::vector<Vlr> vlrs;
  std::vector<Vlr> evlrs;
  for (Vlr& evlr : header.evlrs) {
    if (keep_evlrs || evlr.has_large_data()) {
      evlrs.push_back(std::move(evlr));
    } else {
      vlrs.push_back(std::move(evlr));
    }
  }
  for (Vlr& vlr : header.vlrs) {
    if (vlr.has_large_data()) {
      evlrs.push_back(std::move(vlr));
    } else {
      vlrs.push_back(std::move(vlr));
    }
  }
  header.vlrs = std::move(vlrs);
  header.evlrs = std::move(evlrs);

  if (header.point_format.is_extended()) header.wkt = true;
  return {};
}

}  // namespace las
