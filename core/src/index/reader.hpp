// Reads the tile list of a GeoPackage tile index: the first feature table's `location` paths and
// the extents in the envelopes of their geometry blobs, filtered by an extraction geometry.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "error/error.hpp"
#include "geometry/bounding_box.hpp"
#include "geometry/cylinder.hpp"
#include "geometry/frustum.hpp"
#include "geometry/rect.hpp"
#include "geometry/traits.hpp"
#include "index/tile.hpp"

struct sqlite3;  // sqlite3.h stays inside reader.cpp

namespace quarrix_core::index::reader {

// Owns one SQLite connection and nothing else: every operation prepares its own statements and
// finalizes them before returning, so a failed call leaves the reader usable. Move-only. The
// connection is opened without SQLite's own mutex: use a reader from one thread at a time.
// Only SELECT statements are run; the index is never written.
class TileIndexReader {
 public:
  // Opens (read-write, created empty when missing, "file:" URIs honoured) with a 5000 ms busy
  // timeout. Nothing is checked about the content: a missing table shows at the first query.
  // Fails with GeoPackageOpen.
  [[nodiscard]] static error::Result<TileIndexReader> open(const std::string& path);

  // The feature tables named by gpkg_contents, in the order SQLite returns them (maybe none).
  // Fails with TileQuery.
  [[nodiscard]] error::Result<std::vector<std::string>> list_tables() const;

  // The geometry column of `table` from gpkg_geometry_columns. Fails with TileQuery.
  [[nodiscard]] error::Result<std::string> find_geometry_column(const std::string& table) const;

  // The x/y extent from the envelope in a GeoPackageBinary header; the WKB is never decoded and
  // the envelope is read little-endian whatever the byte-order flag says. Fails with
  // InvalidGeometry.
  [[nodiscard]] static error::Result<geometry::Rect> extract_bounds_from_blob(
      std::span<const std::uint8_t> blob);

  // Every row of `table` (or of the first feature table when none is given) is read, then the
  // tiles whose extent the geometry's intersects_rect accepts are kept in row order. Never empty
  // on success. Fails with TileQuery (any unreadable row fails the whole call) or NoTilesFound.
  // Instantiated for BoundingBox, VerticalCylinder and Frustum.
  template <geometry::traits::ExtractGeometry G>
  [[nodiscard]] error::Result<std::vector<tile::TileInfo>> read_tiles(
      const std::optional<std::string>& table, const G& geometry) const;

 private:
  struct CloseConnection {
    void operator()(sqlite3* db) const noexcept;
  };
  using Connection = std::unique_ptr<sqlite3, CloseConnection>;

  explicit TileIndexReader(Connection db) : db_(std::move(db)) {}

  // Steps 1 to 6 of read_tiles: every row as a TileInfo, before any filtering.
  [[nodiscard]] error::Result<std::vector<tile::TileInfo>> read_all_tiles(
      const std::optional<std::string>& table) const;

  Connection db_;
};

extern template error::Result<std::vector<tile::TileInfo>>
TileIndexReader::read_tiles<geometry::BoundingBox>(const std::optional<std::string>&,
                                                   const geometry::BoundingBox&) const;
extern template error::Result<std::vector<tile::TileInfo>>
TileIndexReader::read_tiles<geometry::cylinder::VerticalCylinder>(
    const std::optional<std::string>&, const geometry::cylinder::VerticalCylinder&) const;
extern template error::Result<std::vector<tile::TileInfo>>
TileIndexReader::read_tiles<geometry::frustum::Frustum>(const std::optional<std::string>&,
                                                        const geometry::frustum::Frustum&) const;

}  // namespace quarrix_core::index::reader

namespace quarrix_core::index {
using reader::TileIndexReader;
}  // namespace quarrix_core::index
