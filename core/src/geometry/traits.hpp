// The contract every extraction geometry fulfils. It is a compile-time constraint, not an
// interface: the tile query and the pipeline are instantiated per geometry so the per-point test
// is a direct, inlinable call.
#pragma once

#include <concepts>

#include "geometry/rect.hpp"

namespace quarrix_core::geometry::traits {

// contains_xyz: does the point (world coordinates) lie inside? Called concurrently from the
// pipeline's worker threads, so it must only read the geometry.
// intersects_rect: may the geometry's horizontal footprint meet the rectangle? Called once per
// tile of the index before any tile is read; false means the tile is never opened.
template <class G>
concept ExtractGeometry = requires(const G& g, double x, const Rect& r) {
  { g.contains_xyz(x, x, x) } -> std::same_as<bool>;
  { g.intersects_rect(r) } -> std::same_as<bool>;
};

}  // namespace quarrix_core::geometry::traits
