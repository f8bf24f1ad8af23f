// The frustum extraction geometry: a sector of a spherical shell seen from an origin, bounded by a
// range of compass azimuths, a range of elevations and a range of distances.
#pragma once

#include <cmath>
#include <string>

#include <tl/expected.hpp>

#include "geometry/rect.hpp"
#include "geometry/traits.hpp"

namespace quarrix_core::geometry::frustum {

inline constexpr double kDegreesToRadians = 0.017453292519943295;  // pi / 180
inline constexpr double kFullTurn = 6.283185307179586;             // 2 pi
// phi_max at or above this means every azimuth is in range.
inline constexpr double kFullCircleThreshold = 6.283185306179586;  // 2 pi - 1e-9
// Raw azimuth differences (degrees) at or beyond these make the range the full circle.
inline constexpr double kFullCircleSpanHigh = 359.9;
inline constexpr double kFullCircleSpanLow = 0.1;
// Distances below this count as zero (world units).
inline constexpr double kDegenerateDistance = 1e-10;

// The cardinal azimuths as the doubles nearest 0, pi/2, pi and 3 pi/2, with the double-precision
// sine and cosine at exactly those doubles (not the exact 0/1/-1), so the bounding rectangle
// matches what std::sin and std::cos give at the same angles.
struct Cardinal {
  double azimuth;
  double sin;
  double cos;
};
inline constexpr Cardinal kNorth{0.0, 0.0, 1.0};
inline constexpr Cardinal kEast{1.5707963267948966, 1.0, 6.123233995736766e-17};
inline constexpr Cardinal kSouth{3.141592653589793, 1.2246467991473532e-16, -1.0};
inline constexpr Cardinal kWest{4.71238898038469, -1.0, -1.8369701987210297e-16};
inline constexpr Cardinal kCardinals[] = {kNorth, kEast, kSouth, kWest};

// Azimuth is clockwise from north (+y), so direction a is (sin a, cos a) in (x, y); elevation is
// from the horizontal, positive up. Angles are held in radians. An immutable value, safe to share
// among threads; built only by make().
class Frustum {
 public:
  // Angles in degrees. The two azimuths and two elevations are opposite corners; the azimuth range
  // is the shorter arc joining the corners (the full circle when they differ by at most 0.1 or at
  // least 359.9 degrees). Refuses a negative or NaN min_distance and a max_distance below
  // min_distance or NaN, with the exact messages users see; angles are never refused.
  [[nodiscard]] static tl::expected<Frustum, std::string> make(double origin_x, double origin_y,
                                                               double origin_z, double phi1,
                                                               double theta1, double phi2,
                                                               double theta2, double min_distance,
                                                               double max_distance);

  // Inclusive on every bound. Bounds only reject, so a NaN survives the distance and elevation
  // tests: a point with a NaN x or y is inside exactly when the azimuth range is the full circle,
  // one with only a NaN z when its azimuth is in range.
  [[nodiscard]] bool contains_xyz(double x, double y, double z) const noexcept {
    const double dx = x - origin_x_;
    const double dy = y - origin_y_;
    const double dz = z - origin_z_;
    const double h2 = dx * dx + dy * dy;
    const double distance = std::sqrt(h2 + dz * dz);
    if (distance < kDegenerateDistance) {
      // The origin itself: distance 0, elevation 0, azimuth north.
      if (0.0 < min_distance_ || 0.0 > max_distance_ || 0.0 < theta_min_ || 0.0 > theta_max_) {
        return false;
      }
      return azimuth_in_range(0.0);
    }
    // The rejections are independent, so the cheap ones go first and the azimuth is only worked
    // out when it can still change the answer.
    if (distance < min_distance_ || distance > max_distance_) return false;
    const double elevation = std::asin(dz / distance);
    if (elevation < theta_min_ || elevation > theta_max_) return false;
    if (phi_max_ >= kFullCircleThreshold) return true;
    double azimuth = 0.0;  // straight above or below the origin counts as north
    if (!(std::sqrt(h2) < kDegenerateDistance)) {
      // atan2(east, north) is the clockwise-from-north angle.
      azimuth = std::fmod(std::atan2(dx, dy), kFullTurn);
      if (azimuth < 0.0) azimuth += kFullTurn;
    }
    return azimuth_in_range(azimuth);
  }

  // Tests compute_bounding_box() (computed afresh on each call) against the rectangle; touching
  // counts and a NaN makes the answer false.
  [[nodiscard]] bool intersects_rect(const Rect& rect) const noexcept;

  // A horizontal rectangle that contains every point contains_xyz accepts (and the origin's
  // horizontal position), from the reaches at the elevation bounds and, when the elevation range
  // spans the horizontal, at elevation 0, sampled at the azimuth bounds, north for a range through
  // north, and every cardinal in range.
  [[nodiscard]] Rect compute_bounding_box() const noexcept;

  // The inclusive azimuth test shared by the point test and the bounding rectangle.
  [[nodiscard]] bool azimuth_in_range(double azimuth) const noexcept {
    if (phi_max_ >= kFullCircleThreshold) return true;
    if (phi_wraps_) return azimuth >= phi_min_ || azimuth <= phi_max_;
    return phi_min_ <= azimuth && azimuth <= phi_max_;
  }

  [[nodiscard]] double origin_x() const noexcept { return origin_x_; }
  [[nodiscard]] double origin_y() const noexcept { return origin_y_; }
  [[nodiscard]] double origin_z() const noexcept { return origin_z_; }
  [[nodiscard]] double phi_min() const noexcept { return phi_min_; }
  [[nodiscard]] double phi_max() const noexcept { return phi_max_; }
  [[nodiscard]] double theta_min() const noexcept { return theta_min_; }
  [[nodiscard]] double theta_max() const noexcept { return theta_max_; }
  [[nodiscard]] double min_distance() const noexcept { return min_distance_; }
  [[nodiscard]] double max_distance() const noexcept { return max_distance_; }
  [[nodiscard]] bool phi_wraps() const noexcept { return phi_wraps_; }

 private:
  Frustum() = default;

  double origin_x_ = 0.0;
  double origin_y_ = 0.0;
  double origin_z_ = 0.0;
  double phi_min_ = 0.0;        // radians, in [0, 2 pi); 0 for the full circle
  double phi_max_ = kFullTurn;  // radians; 2 pi for the full circle
  double theta_min_ = 0.0;      // radians, not clamped to +-pi/2
  double theta_max_ = 0.0;
  double min_distance_ = 0.0;
  double max_distance_ = 0.0;
  bool phi_wraps_ = false;  // the range is [phi_min, 2 pi) together with [0, phi_max]
};

static_assert(traits::ExtractGeometry<Frustum>);

}  // namespace quarrix_core::geometry::frustum

namespace quarrix_core::geometry {
using frustum::Frustum;
}  // namespace quarrix_core::geometry
