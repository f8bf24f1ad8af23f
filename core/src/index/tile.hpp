// One tile selected from the GeoPackage index.
#pragma once

#include <string>

#include "geometry/rect.hpp"

namespace quarrix_core::index::tile {

// Plain data owned by value. `path` is the row's `location` text verbatim: not trimmed, normalised
// or joined to the index's folder, so a relative path resolves against the working directory.
struct TileInfo {
  std::string path;
  geometry::Rect bounds;  // the envelope's x/y extent, ordered by Rect::make

  friend bool operator==(const TileInfo&, const TileInfo&) = default;
};

}  // namespace quarrix_core::index::tile

namespace quarrix_core::index {
using tile::TileInfo;
}  // namespace quarrix_core::index
