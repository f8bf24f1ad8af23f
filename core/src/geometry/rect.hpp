// The closed, axis-aligned 2D rectangle in which tile extents and the frustum's footprint travel.
#pragma once

namespace quarrix_core::geometry {

struct Rect {
  double min_x;  // west edge
  double min_y;  // south edge
  double max_x;  // east edge
  double max_y;  // north edge

  // Orders each axis separately. The comparisons are plain less-than tests, so when either value
  // of an axis is NaN the minimum takes the second value and the maximum the first; every Rect in
  // the system is built here, so consumers may rely on min <= max unless a bound is NaN.
  [[nodiscard]] static constexpr Rect make(double x1, double y1, double x2, double y2) noexcept {
    return Rect{x1 < x2 ? x1 : x2, y1 < y2 ? y1 : y2, x1 < x2 ? x2 : x1, y1 < y2 ? y2 : y1};
  }

  friend constexpr bool operator==(const Rect&, const Rect&) = default;
};

}  // namespace quarrix_core::geometry
