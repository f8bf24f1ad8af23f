// The vertical cylinder of unlimited height: a disc in plan view.
#pragma once

#include "geometry/rect.hpp"
#include "geometry/traits.hpp"

namespace quarrix_core::geometry::cylinder {

// A plain value; it validates nothing (the Python class guarantees radius > 0, NaN aside).
struct VerticalCylinder {
  double center_x;
  double center_y;
  double radius;

  // Squares summed and compared with the squared radius, without a square root, so the rim is
  // decided identically by the pipeline and by the Python contains(); the library is built with
  // -ffp-contract=off so no fused multiply-add changes that. z plays no part; NaN is outside.
  [[nodiscard]] bool contains_xyz(double x, double y, double /*z*/) const noexcept {
    const double dx = x - center_x;
    const double dy = y - center_y;
    return dx * dx + dy * dy <= radius * radius;
  }

  // The disc meets the rectangle when the rectangle's point nearest the centre lies within the
  // radius. A rectangle with a NaN bound or an inverted axis (only a NaN envelope in the index
  // makes one) meets nothing, as with the box and the frustum: the clamp alone would ignore the
  // NaN and judge by the other bounds.
  [[nodiscard]] bool intersects_rect(const Rect& rect) const noexcept {
    if (!(rect.min_x <= rect.max_x && rect.min_y <= rect.max_y)) return false;
    double nx = center_x;
    if (nx < rect.min_x) nx = rect.min_x;
    if (nx > rect.max_x) nx = rect.max_x;
    double ny = center_y;
    if (ny < rect.min_y) ny = rect.min_y;
    if (ny > rect.max_y) ny = rect.max_y;
    const double dx = nx - center_x;
    const double dy = ny - center_y;
    return dx * dx + dy * dy <= radius * radius;
  }
};

static_assert(traits::ExtractGeometry<VerticalCylinder>);

}  // namespace quarrix_core::geometry::cylinder

namespace quarrix_core::geometry {
using cylinder::VerticalCylinder;
}  // namespace quarrix_core::geometry
