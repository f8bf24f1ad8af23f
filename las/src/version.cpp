// Versions, point formats and transforms: the small value types of a LAS header.
#include "las/version.hpp"

#include <cmath>

#include <fmt/format.h>

#include "las/point_format.hpp"
#include "las/transform.hpp"
#include "text.hpp"

namespace las {

std::string Version::text() const { return fmt::format("{}.{}", major, minor); }

std::string Version::debug_text() const {
  return fmt::format("Version {{ major: {}, minor: {} }}", major, minor);
}

uint16_t Version::standard_header_size() const {
  if (*this <= Version{1, 2}) return 227;
  if (*this == Version{1, 3}) return 235;
  return 375;
}

const char* feature_name(Feature feature) {
  switch (feature) {
    case Feature::FileSourceId:
      return "FileSourceId";
    case Feature::SyntheticReturnNumbers:
      return "SyntheticReturnNumbers";
    case Feature::GpsStandardTime:
      return "GpsStandardTime";
    case Feature::Evlrs:
      return "Evlrs";
    case Feature::LargeFiles:
      return "LargeFiles";
  }
  return "";
}

bool supports(Version version, Feature feature) {
  if (version.major != 1) return false;
  switch (feature) {
    case Feature::FileSourceId:
      return version.minor >= 1 && version.minor <= 4;
    case Feature::SyntheticReturnNumbers:
      return version.minor >= 3 && version.minor <= 4;
    case Feature::GpsStandardTime:
      return version.minor >= 2 && version.minor <= 4;
    case Feature::Evlrs:
    case Feature::LargeFiles:
      return version.minor == 4;
  }
  return false;
}

bool supports_point_format(Version version, uint8_t format_id) {
  if (version.major != 1) return false;
  switch (version.minor) {
    case 0:
    case 1:
      return format_id <= 1;
    case 2:
      return format_id <= 3;
    case 3:
      return format_id <= 5;
    case 4:
      return format_id <= 10;
    default:
      return false;
  }
}

std::string PointFormat::text() const { return fmt::format("point format {}", id); }

tl::unexpected<Error> Transform::inverse_failure(double stored) const {
  return fail(fmt::format("the transform {} cannot be inversely applied to {}", text(),
                          text::display_double(stored)));
}

std::string Transform::text() const {
  return fmt::format("`{} * x + {}`", text::display_double(scale), text::display_double(offset));
}

namespace {

// One bound onto the grid: floor for minima, ceil for maxima; infinities stay as they are.
Result<double> snap(double value, const Transform& transform, bool up) {
  if (std::isinf(value)) return value;
  const double quotient = (value - transform.offset) / transform.scale;
  const double index = up ? std::ceil(quotient) : std::floor(quotient);
  if (index > 2147483647.0 || index < -2147483648.0) {
    return fail(fmt::format("the transform {} cannot be inversely applied to {}", transform.text(),
                            text::display_double(index)));
  }
  if (std::isnan(index)) return transform.direct(0);
  return transform.direct(static_cast<int32_t>(index));
}

}  // namespace

Result<Bounds> widen_to_grid(const Bounds& bounds, const Transforms& transforms) {
  Bounds out;
  const struct {
    double in;
    const Transform& transform;
    bool up;
    double& out;
  } kAxes[] = {
      {bounds.min.x, transforms.x, false, out.min.x},
      {bounds.min.y, transforms.y, false, out.min.y},
      {bounds.min.z, transforms.z, false, out.min.z},
      {bounds.max.x, transforms.x, true, out.max.x},
      {bounds.max.y, transforms.y, true, out.max.y},
      {bounds.max.z, transforms.z, true, out.max.z},
  };
  for (const auto& axis : kAxes) {
    auto snapped = snap(axis.in, axis.transform, axis.up);
    if (!snapped) return tl::unexpected(std::move(snapped.error()));
    axis.out = *snapped;
  }
  return out;
}

}  // namespace las
