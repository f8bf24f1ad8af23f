// Construction and the horizontal bounding rectangle of the frustum.
#include "geometry/frustum.hpp"

#include <array>
#include <cmath>
#include <cstddef>

#include <fmt/format.h>

#include "geometry/float_text.hpp"

namespace quarrix_core::geometry::frustum {

namespace {

// Into [0, 2 pi): fmod keeps the dividend's sign, so negative angles need one turn added.
double normalised_azimuth(double degrees) {
  double radians = std::fmod(degrees * kDegreesToRadians, kFullTurn);
  if (radians < 0.0) radians += kFullTurn;
  return radians;
}

}  // namespace

tl::expected<Frustum, std::string> Frustum::make(double origin_x, double origin_y, double origin_z,
                                                 double phi1, double theta1, double phi2,
                                                 double theta2, double min_distance,
                                                 double max_distance) {
  if (!(min_distance >= 0.0)) {
    return tl::unexpected(
        fmt::format("min_distance must be non-negative, got {}", float_text(min_distance)));
  }
  if (!(max_distance >= min_distance)) {
    return tl::unexpected(fmt::format("max_distance ({}) must be >= min_distance ({})",
                                      float_text(max_distance), float_text(min_distance)));
  }

  Frustum f;
  f.origin_x_ = origin_x;
  f.origin_y_ = origin_y;
  f.origin_z_ = origin_z;
  f.min_distance_ = min_distance;
  f.max_distance_ = max_distance;

  // The span is judged on the raw degrees, before normalisation, so 10 and 370 are a full circle.
  const double span = std::fabs(phi2 - phi1);
  if (span >= kFullCircleSpanHigh || span <= kFullCircleSpanLow) {
    f.phi_min_ = 0.0;
    f.phi_max_ = kFullTurn;
    f.phi_wraps_ = false;
  } else {
    const double a1 = normalised_azimuth(phi1);
    const double a2 = normalised_azimuth(phi2);
    const double smaller = a1 < a2 ? a1 : a2;
    const double larger = a1 < a2 ? a2 : a1;
    const double direct = std::fabs(a2 - a1);
    if (direct <= kFullTurn - direct) {
      f.phi_min_ = smaller;
      f.phi_max_ = larger;
      f.phi_wraps_ = false;
    } else {
      // The shorter arc passes through north.
      f.phi_min_ = larger;
      f.phi_max_ = smaller;
      f.phi_wraps_ = true;
    }
  }

  const double t1 = theta1 * kDegreesToRadians;
  const double t2 = theta2 * kDegreesToRadians;
  f.theta_min_ = t1 < t2 ? t1 : t2;
  f.theta_max_ = t1 < t2 ? t2 : t1;
  return f;
}

Rect Frustum::compute_bounding_box() const noexcept {
  // The horizontal reach of a point is distance * cos(elevation). Over the distance and elevation
  // ranges its extremes lie at the corners, except that when the elevation range spans the
  // horizontal the farthest reach is max_distance itself (cos 0 = 1); without those two reaches the
  // rectangle would miss the outer rim and tiles holding points of the frustum would be dropped.
  std::array<double, 6> reaches{};
  std::size_t reach_count = 0;
  const double cos_min = std::cos(theta_min_);
  const double cos_max = std::cos(theta_max_);
  reaches[reach_count++] = min_distance_ * cos_min;
  reaches[reach_count++] = max_distance_ * cos_min;
  reaches[reach_count++] = min_distance_ * cos_max;
  reaches[reach_count++] = max_distance_ * cos_max;
  if (theta_min_ <= 0.0 && 0.0 <= theta_max_) {
    reaches[reach_count++] = min_distance_;
    reaches[reach_count++] = max_distance_;
  }

  double min_x = origin_x_;
  double max_x = origin_x_;
  double min_y = origin_y_;
  double max_y = origin_y_;
  // fmin/fmax ignore a NaN operand when the other is a number.
  const auto extend = [&](double sin_a, double cos_a) {
    for (std::size_t i = 0; i < reach_count; ++i) {
      const double x = origin_x_ + reaches[i] * sin_a;
      const double y = origin_y_ + reaches[i] * cos_a;
      min_x = std::fmin(min_x, x);
      max_x = std::fmax(max_x, x);
      min_y = std::fmin(min_y, y);
      max_y = std::fmax(max_y, y);
    }
  };

  // Along an arc of azimuths the extremes of r * sin a and r * cos a lie at the arc's ends or at
  // the cardinals inside it; a range through north has its ends split by north.
  extend(std::sin(phi_min_), std::cos(phi_min_));
  extend(std::sin(phi_max_), std::cos(phi_max_));
  if (phi_wraps_) extend(kNorth.sin, kNorth.cos);
  for (const Cardinal& cardinal : kCardinals) {
    if (azimuth_in_range(cardinal.azimuth)) extend(cardinal.sin, cardinal.cos);
  }
  return Rect::make(min_x, min_y, max_x, max_y);
}

bool Frustum::intersects_rect(const Rect& rect) const noexcept {
  const Rect b = compute_bounding_box();
  return b.min_x <= rect.max_x && b.max_x >= rect.min_x && b.min_y <= rect.max_y &&
         b.max_y >= rect.min_y;
}

}  // namespace quarrix_core::geometry::frustum
