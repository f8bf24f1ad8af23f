// The axis-aligned extraction box, 2D or bounded in z on either side.
#pragma once

#include <optional>

#include "geometry/rect.hpp"
#include "geometry/traits.hpp"

namespace quarrix_core::geometry {

// A plain value; it validates nothing (the Python constructors establish min < max). An absent
// vertical bound leaves z unbounded on that side.
struct BoundingBox {
  double min_x;
  double max_x;
  double min_y;
  double max_y;
  std::optional<double> min_z;
  std::optional<double> max_z;

  // Bounds are inclusive. x and y must compare true, so a NaN x or y is outside; the vertical
  // bounds only reject, so a NaN z is never rejected.
  [[nodiscard]] bool contains_xyz(double x, double y, double z) const noexcept {
    if (!(min_x <= x && x <= max_x && min_y <= y && y <= max_y)) return false;
    if (min_z && z < *min_z) return false;
    if (max_z && z > *max_z) return false;
    return true;
  }

  // Touching along an edge or at a corner meets; any NaN makes the answer false.
  [[nodiscard]] bool intersects_rect(const Rect& rect) const noexcept {
    return min_x <= rect.max_x && max_x >= rect.min_x && min_y <= rect.max_y && max_y >= rect.min_y;
  }
};

static_assert(traits::ExtractGeometry<BoundingBox>);

}  // namespace quarrix_core::geometry
