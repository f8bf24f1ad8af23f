// TileIndexReader on GeoPackage fixtures written with raw SQL: every failure with its whole
// message, the envelope flags, row order and table choice, and opening odd paths.
#include "index/reader.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "gpkg_fixture.hpp"

namespace quarrix_core::index::reader {
namespace {

using error::ErrorKind;
using geometry::BoundingBox;
using geometry::Rect;
using geometry::cylinder::VerticalCylinder;
using testing::Blob;
using testing::gp_blob;
using testing::GpkgWriter;
using testing::Null;
using testing::TempDir;
using testing::xy_blob;
using tile::TileInfo;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

const BoundingBox kEverything{-kInf, kInf, -kInf, kInf, std::nullopt, std::nullopt};

error::Result<std::vector<TileInfo>> read_all(const std::string& path,
                                              const BoundingBox& box = kEverything) {
  auto reader = TileIndexReader::open(path);
  if (!reader) return error::fail(std::move(reader.error()));
  return reader->read_tiles(std::nullopt, box);
}

// A feature table "tiles" with one sound tile and then one row with the given values.
std::function<void(GpkgWriter&)> bad_row(testing::Value location, testing::Value geometry) {
  return [location, geometry](GpkgWriter& w) {
    w.metadata().feature_table("tiles").tile("tiles", "a.laz", 0, 1, 0, 1);
    w.row("tiles", location, geometry);
    w.tile("tiles", "c.laz", 2, 3, 2, 3);
  };
}

std::function<void(GpkgWriter&)> bad_blob(Blob blob) { return bad_row(std::string("b.laz"), blob); }

TEST(TileIndexReader, ReadTilesFailures) {
  // A row-level failure stops everything, even when the bad row lies far from the geometry.
  const struct {
    const char* name;
    std::function<void(GpkgWriter&)> build;
    ErrorKind kind;
    std::string message;
  } kCases[] = {
      {"empty database", [](GpkgWriter&) {}, ErrorKind::TileQuery,
       "Failed to query tiles: no such table: gpkg_contents"},
      {"no feature table", [](GpkgWriter& w) { w.metadata(); }, ErrorKind::TileQuery,
       "Failed to query tiles: No feature tables found"},
      {"only tiles, attributes and Features",
       [](GpkgWriter& w) {
         w.metadata().contents("raster", "tiles").contents("attrs", "attributes");
         w.contents("caps", "Features");
       },
       ErrorKind::TileQuery, "Failed to query tiles: No feature tables found"},
      {"table_name not text",
       [](GpkgWriter& w) {
         // Untyped columns, so the integer is stored as an integer.
         w.exec("CREATE TABLE gpkg_contents (table_name, data_type)");
         w.insert("gpkg_contents", {"table_name", "data_type"},
                  {std::int64_t{7}, std::string("features")});
       },
       ErrorKind::TileQuery,
       "Failed to query tiles: Invalid column type Integer at index: 0, name: table_name"},
      {"table_name invalid utf-8",
       [](GpkgWriter& w) {
         w.metadata().contents(
             "ab\xff"
             "c");
       },
       ErrorKind::TileQuery,
       "Failed to query tiles: Conversion error from type Text at index: 0, invalid utf-8 "
       "sequence of 1 bytes from index 2"},
      {"step error while listing",
       [](GpkgWriter& w) {
         w.exec(
             "CREATE VIEW gpkg_contents AS SELECT 'tiles' AS table_name, 'features' AS "
             "data_type WHERE abs(-9223372036854775807 - 1) > 0");
       },
       ErrorKind::TileQuery, "Failed to query tiles: integer overflow"},
      {"no gpkg_geometry_columns table",
       [](GpkgWriter& w) {
         w.exec("CREATE TABLE gpkg_contents (table_name TEXT, data_type TEXT)");
         w.contents("tiles");
       },
       ErrorKind::TileQuery, "Failed to query tiles: no such table: gpkg_geometry_columns"},
      {"missing gpkg_geometry_columns row",
       [](GpkgWriter& w) {
         w.metadata().contents("tiles");
         w.exec("CREATE TABLE tiles (location, geom)");
       },
       ErrorKind::TileQuery,
       "Failed to query tiles: No geometry column found for table 'tiles': Query returned no "
       "rows"},
      {"NULL column_name",
       [](GpkgWriter& w) {
         w.exec(
             "CREATE TABLE gpkg_contents (table_name, data_type);"
             "CREATE TABLE gpkg_geometry_columns (table_name, column_name);"
             "INSERT INTO gpkg_contents VALUES ('tiles', 'features');"
             "INSERT INTO gpkg_geometry_columns VALUES ('tiles', NULL);");
       },
       ErrorKind::TileQuery,
       "Failed to query tiles: No geometry column found for table 'tiles': Invalid column type "
       "Null at index: 0, name: column_name"},
      {"step error finding the column",
       [](GpkgWriter& w) {
         w.exec(
             "CREATE TABLE gpkg_contents (table_name, data_type);"
             "INSERT INTO gpkg_contents VALUES ('tiles', 'features');"
             "CREATE VIEW gpkg_geometry_columns AS SELECT 'tiles' AS table_name, 'geom' AS "
             "column_name WHERE abs(-9223372036854775807 - 1) > 0");
       },
       ErrorKind::TileQuery,
       "Failed to query tiles: No geometry column found for table 'tiles': integer overflow"},
      {"feature table missing",
       [](GpkgWriter& w) { w.metadata().contents("tiles").geometry_column("tiles", "geom"); },
       ErrorKind::TileQuery,
       "Failed to query tiles: Failed to prepare query: no such table: tiles"},
      {"quoting broken by a name",
       [](GpkgWriter& w) {
         w.metadata().feature_table("tiles");
         w.exec("UPDATE gpkg_geometry_columns SET column_name = 'ge\"om'");
       },
       ErrorKind::TileQuery,
       "Failed to query tiles: Failed to prepare query: near \"\" FROM \"\": syntax error"},
      {"a name that adds a parameter",
       [](GpkgWriter& w) {
         w.metadata().feature_table("tiles").tile("tiles", "a.laz", 0, 1, 0, 1);
         w.exec("UPDATE gpkg_geometry_columns SET column_name = 'geom\", ?1, \"geom'");
       },
       ErrorKind::TileQuery,
       "Failed to query tiles: Wrong number of parameters passed to query. Got 0, needed 1"},
      {"step error reading tiles",
       [](GpkgWriter& w) {
         w.metadata().contents("tiles").geometry_column("tiles", "geom");
         w.exec(
             "CREATE VIEW tiles AS SELECT 'a.laz' AS location, x'47500003' AS geom WHERE "
             "abs(-9223372036854775807 - 1) > 0");
       },
       ErrorKind::TileQuery, "Failed to query tiles: integer overflow"},
      {"NULL location", bad_row(Null{}, xy_blob(100, 101, 100, 101)), ErrorKind::TileQuery,
       "Failed to query tiles: Invalid column type Null at index: 0, name: location"},
      {"integer location", bad_row(std::int64_t{12}, xy_blob(0, 1, 0, 1)), ErrorKind::TileQuery,
       "Failed to query tiles: Invalid column type Integer at index: 0, name: location"},
      {"real location", bad_row(1.5, xy_blob(0, 1, 0, 1)), ErrorKind::TileQuery,
       "Failed to query tiles: Invalid column type Real at index: 0, name: location"},
      {"blob location", bad_row(Blob{0x61}, xy_blob(0, 1, 0, 1)), ErrorKind::TileQuery,
       "Failed to query tiles: Invalid column type Blob at index: 0, name: location"},
      {"invalid utf-8 location", bad_row(std::string("ab\xc3"), xy_blob(0, 1, 0, 1)),
       ErrorKind::TileQuery,
       "Failed to query tiles: Conversion error from type Text at index: 0, incomplete utf-8 "
       "byte sequence from index 2"},
      {"NULL geometry", bad_row(std::string("b.laz"), Null{}), ErrorKind::TileQuery,
       "Failed to query tiles: Invalid column type Null at index: 1, name: geom"},
      {"text geometry", bad_row(std::string("b.laz"), std::string("GP")), ErrorKind::TileQuery,
       "Failed to query tiles: Invalid column type Text at index: 1, name: geom"},
      {"integer geometry", bad_row(std::string("b.laz"), std::int64_t{1}), ErrorKind::TileQuery,
       "Failed to query tiles: Invalid column type Integer at index: 1, name: geom"},
      {"blob of 0 bytes", bad_blob(Blob{}), ErrorKind::TileQuery,
       "Failed to query tiles: Invalid geometry in tile index: Geometry blob too short"},
      {"blob of 7 bytes", bad_blob(gp_blob(0x03, 0, 1, 0, 1, 7)), ErrorKind::TileQuery,
       "Failed to query tiles: Invalid geometry in tile index: Geometry blob too short"},
      {"blob of 8 bytes", bad_blob(gp_blob(0x03, 0, 1, 0, 1, 8)), ErrorKind::TileQuery,
       "Failed to query tiles: Invalid geometry in tile index: Geometry blob too short for "
       "envelope"},
      {"blob of 39 bytes", bad_blob(gp_blob(0x03, 0, 1, 0, 1, 39)), ErrorKind::TileQuery,
       "Failed to query tiles: Invalid geometry in tile index: Geometry blob too short for "
       "envelope"},
      {"bad magic", bad_blob(Blob{0x47, 0x51, 0, 3, 0, 0, 0, 0}), ErrorKind::TileQuery,
       "Failed to query tiles: Invalid geometry in tile index: Invalid GeoPackage geometry magic "
       "bytes"},
      {"E = 0", bad_blob(gp_blob(0x01, 0, 1, 0, 1)), ErrorKind::TileQuery,
       "Failed to query tiles: Invalid geometry in tile index: Geometry has no envelope - WKB "
       "parsing not yet implemented"},
      {"E = 5", bad_blob(gp_blob(0x0B, 0, 1, 0, 1)), ErrorKind::TileQuery,
       "Failed to query tiles: Invalid geometry in tile index: Unknown envelope type: 5"},
      {"E = 7", bad_blob(gp_blob(0x0E, 0, 1, 0, 1)), ErrorKind::TileQuery,
       "Failed to query tiles: Invalid geometry in tile index: Unknown envelope type: 7"},
      {"no tiles in the table", [](GpkgWriter& w) { w.metadata().feature_table("tiles"); },
       ErrorKind::NoTilesFound, "No tiles found intersecting the extraction geometry"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string path = dir.file("index.gpkg");
    {
      GpkgWriter writer(path);
      c.build(writer);
    }
    const auto tiles = read_all(path);
    ASSERT_FALSE(tiles.has_value());
    EXPECT_EQ(tiles.error().kind(), c.kind);
    EXPECT_EQ(tiles.error().message(), c.message);
  }
}

TEST(TileIndexReader, ExtractBoundsFromBlob) {
  const struct {
    const char* name;
    Blob blob;
    std::optional<Rect> bounds;  // nullopt: fails with `message`
    std::string message;
  } kCases[] = {
      {"empty", Blob{}, std::nullopt, "Invalid geometry in tile index: Geometry blob too short"},
      {"7 bytes", Blob{0x47, 0x50, 0, 3, 0, 0, 0}, std::nullopt,
       "Invalid geometry in tile index: Geometry blob too short"},
      {"first magic byte", Blob{0x48, 0x50, 0, 3, 0, 0, 0, 0}, std::nullopt,
       "Invalid geometry in tile index: Invalid GeoPackage geometry magic bytes"},
      {"second magic byte", Blob{0x47, 0x00, 0, 3, 0, 0, 0, 0}, std::nullopt,
       "Invalid geometry in tile index: Invalid GeoPackage geometry magic bytes"},
      {"E = 0, flags 0x00", gp_blob(0x00, 0, 1, 0, 1), std::nullopt,
       "Invalid geometry in tile index: Geometry has no envelope - WKB parsing not yet "
       "implemented"},
      {"E = 0, flags 0x01", gp_blob(0x01, 0, 1, 0, 1), std::nullopt,
       "Invalid geometry in tile index: Geometry has no envelope - WKB parsing not yet "
       "implemented"},
      {"E = 0 on 8 bytes", gp_blob(0x01, 0, 1, 0, 1, 8), std::nullopt,
       "Invalid geometry in tile index: Geometry has no envelope - WKB parsing not yet "
       "implemented"},
      {"E = 5, flags 0x0A", gp_blob(0x0A, 0, 1, 0, 1), std::nullopt,
       "Invalid geometry in tile index: Unknown envelope type: 5"},
      {"E = 5, flags 0x0B", gp_blob(0x0B, 0, 1, 0, 1), std::nullopt,
       "Invalid geometry in tile index: Unknown envelope type: 5"},
      {"E = 6", gp_blob(0x0C, 0, 1, 0, 1), std::nullopt,
       "Invalid geometry in tile index: Unknown envelope type: 6"},
      {"E = 7, flags 0x0E", gp_blob(0x0E, 0, 1, 0, 1), std::nullopt,
       "Invalid geometry in tile index: Unknown envelope type: 7"},
      {"E = 7 on 8 bytes", gp_blob(0x0F, 0, 1, 0, 1, 8), std::nullopt,
       "Invalid geometry in tile index: Unknown envelope type: 7"},
      {"E = 1, 39 bytes", gp_blob(0x03, 0, 1, 0, 1, 39), std::nullopt,
       "Invalid geometry in tile index: Geometry blob too short for envelope"},
      {"E = 4, 39 bytes", gp_blob(0x09, 0, 1, 0, 1, 39), std::nullopt,
       "Invalid geometry in tile index: Geometry blob too short for envelope"},
      {"E = 1, 40 bytes", gp_blob(0x03, 1, 2, 3, 4, 40), Rect{1, 3, 2, 4}, ""},
      {"E = 1 big-endian bit clear, read little-endian anyway", gp_blob(0x02, 1, 2, 3, 4, 40),
       Rect{1, 3, 2, 4}, ""},
      {"E = 2, 40 bytes", gp_blob(0x05, -1, 2, -3, 4, 40), Rect{-1, -3, 2, 4}, ""},
      {"E = 3, 40 bytes", gp_blob(0x07, -1, 2, -3, 4, 40), Rect{-1, -3, 2, 4}, ""},
      {"E = 4, 40 bytes", gp_blob(0x09, 10, 20, 30, 40, 40), Rect{10, 30, 20, 40}, ""},
      {"E = 4, full xyzm envelope", gp_blob(0x09, 10, 20, 30, 40, 72), Rect{10, 30, 20, 40}, ""},
      {"empty-geometry and extended bits ignored", gp_blob(0x33, 1, 2, 3, 4), Rect{1, 3, 2, 4}, ""},
      {"swapped min/max", gp_blob(0x03, 10, 5, 0, 1), Rect{5, 0, 10, 1}, ""},
      {"swapped y", gp_blob(0x03, 0, 1, 9, -9), Rect{0, -9, 1, 9}, ""},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const auto bounds = TileIndexReader::extract_bounds_from_blob(c.blob);
    if (c.bounds) {
      ASSERT_TRUE(bounds.has_value()) << bounds.error().message();
      EXPECT_EQ(*bounds, *c.bounds);
    } else {
      ASSERT_FALSE(bounds.has_value());
      EXPECT_EQ(bounds.error().kind(), ErrorKind::InvalidGeometry);
      EXPECT_EQ(bounds.error().message(), c.message);
    }
  }
}

TEST(TileIndexReader, BigEndianFlagStillDecodesLittleEndian) {
  // Byte-order bit 0 = 0 says big-endian; the doubles are read little-endian regardless, so a
  // truly big-endian envelope gives meaningless bounds, not an error.
  Blob blob = gp_blob(0x02, 1.0, 2.0, 3.0, 4.0, 40);
  const auto as_written = TileIndexReader::extract_bounds_from_blob(blob);
  ASSERT_TRUE(as_written.has_value());
  EXPECT_EQ(*as_written, (Rect{1, 3, 2, 4}));
  for (std::size_t offset = 8; offset < 40; offset += 8) {
    std::reverse(blob.begin() + static_cast<long>(offset),
                 blob.begin() + static_cast<long>(offset + 8));
  }
  const auto reversed = TileIndexReader::extract_bounds_from_blob(blob);
  ASSERT_TRUE(reversed.has_value());
  EXPECT_NE(*reversed, (Rect{1, 3, 2, 4}));
}

TEST(TileIndexReader, NaNEnvelopeKeepsTheDocumentedOrder) {
  const auto a = TileIndexReader::extract_bounds_from_blob(gp_blob(0x03, kNaN, 5, 0, 1));
  ASSERT_TRUE(a.has_value());
  EXPECT_EQ(a->min_x, 5);  // the pair's second value
  EXPECT_TRUE(std::isnan(a->max_x));
  const auto b = TileIndexReader::extract_bounds_from_blob(gp_blob(0x03, 0, 1, 2, kNaN));
  ASSERT_TRUE(b.has_value());
  EXPECT_TRUE(std::isnan(b->min_y));
  EXPECT_EQ(b->max_y, 2);
}

TEST(TileIndexReader, NaNEnvelopeIsNotSelected) {
  TempDir dir;
  const std::string path = dir.file("nan.gpkg");
  {
    GpkgWriter w(path);
    w.metadata().feature_table("tiles");
    w.tile("tiles", "nan.laz", kNaN, 1, 0, 1);
    w.tile("tiles", "ok.laz", 0, 1, 0, 1);
  }
  auto reader = TileIndexReader::open(path);
  ASSERT_TRUE(reader.has_value());
  const auto box = reader->read_tiles(std::nullopt, kEverything);
  ASSERT_TRUE(box.has_value());
  ASSERT_EQ(box->size(), 1u);
  EXPECT_EQ((*box)[0].path, "ok.laz");
  const auto disc = reader->read_tiles(std::nullopt, VerticalCylinder{0.5, 0.5, 100});
  ASSERT_TRUE(disc.has_value());
  ASSERT_EQ(disc->size(), 1u);
  EXPECT_EQ((*disc)[0].path, "ok.laz");
}

TEST(TileIndexReader, KeepsRowOrderAndFiltersInPlace) {
  TempDir dir;
  const std::string path = dir.file("order.gpkg");
  {
    GpkgWriter w(path);
    w.metadata().feature_table("tiles");
    w.tile("tiles", "r1.laz", 100, 110, 100, 110);  // outside
    w.tile("tiles", "r2.laz", 5, 6, 5, 6);          // inside
    w.tile("tiles", "r3.laz", 0, 1, 0, 1);          // inside
    w.tile("tiles", "r4.laz", 10, 20, 10, 20);      // touches the corner: inside
  }
  auto reader = TileIndexReader::open(path);
  ASSERT_TRUE(reader.has_value());
  const BoundingBox box{0, 10, 0, 10, std::nullopt, std::nullopt};
  const auto tiles = reader->read_tiles(std::nullopt, box);
  ASSERT_TRUE(tiles.has_value()) << tiles.error().message();
  const std::vector<TileInfo> expected = {
      {"r2.laz", Rect{5, 5, 6, 6}}, {"r3.laz", Rect{0, 0, 1, 1}}, {"r4.laz", Rect{10, 10, 20, 20}}};
  EXPECT_EQ(*tiles, expected);

  const BoundingBox nowhere{1000, 2000, 1000, 2000, std::nullopt, std::nullopt};
  const auto none = reader->read_tiles(std::nullopt, nowhere);
  ASSERT_FALSE(none.has_value());
  EXPECT_EQ(none.error().kind(), ErrorKind::NoTilesFound);
  EXPECT_EQ(none.error().message(), "No tiles found intersecting the extraction geometry");
}

TEST(TileIndexReader, LocationIsTakenVerbatim) {
  TempDir dir;
  const std::string path = dir.file("paths.gpkg");
  const std::string odd = "  ../some dir/./tile.LAZ \t";
  {
    GpkgWriter w(path);
    w.metadata().feature_table("tiles");
    w.tile("tiles", odd, 0, 1, 0, 1);
    w.tile("tiles", "", 0, 1, 0, 1);
    w.tile("tiles", "d\xc3\xa9j\xc3\xa0.laz", 0, 1, 0, 1);
  }
  const auto tiles = read_all(path);
  ASSERT_TRUE(tiles.has_value()) << tiles.error().message();
  ASSERT_EQ(tiles->size(), 3u);
  EXPECT_EQ((*tiles)[0].path, odd);
  EXPECT_EQ((*tiles)[1].path, "");
  EXPECT_EQ((*tiles)[2].path, "d\xc3\xa9j\xc3\xa0.laz");
}

TEST(TileIndexReader, OnlyTheFirstFeatureTableIsRead) {
  TempDir dir;
  const std::string path = dir.file("two.gpkg");
  {
    GpkgWriter w(path);
    w.metadata();
    w.contents("raster", "tiles");
    w.feature_table("zeta").tile("zeta", "z.laz", 100, 101, 100, 101);
    w.feature_table("alpha").tile("alpha", "a.laz", 0, 1, 0, 1);
  }
  auto reader = TileIndexReader::open(path);
  ASSERT_TRUE(reader.has_value());
  const auto tables = reader->list_tables();
  ASSERT_TRUE(tables.has_value());
  EXPECT_EQ(*tables, (std::vector<std::string>{"zeta", "alpha"}));
  const auto column = reader->find_geometry_column("alpha");
  ASSERT_TRUE(column.has_value());
  EXPECT_EQ(*column, "geom");

  // "zeta" comes first; its only tile misses the box and "alpha" is never consulted.
  const BoundingBox box{0, 10, 0, 10, std::nullopt, std::nullopt};
  const auto tiles = reader->read_tiles(std::nullopt, box);
  ASSERT_FALSE(tiles.has_value());
  EXPECT_EQ(tiles.error().kind(), ErrorKind::NoTilesFound);

  // Naming the table reads that one.
  const auto named = reader->read_tiles(std::string("alpha"), box);
  ASSERT_TRUE(named.has_value()) << named.error().message();
  ASSERT_EQ(named->size(), 1u);
  EXPECT_EQ((*named)[0].path, "a.laz");
}

TEST(TileIndexReader, GeometryColumnNameIsReportedAsSqliteSeesIt) {
  TempDir dir;
  const std::string path = dir.file("column.gpkg");
  {
    GpkgWriter w(path);
    w.metadata().feature_table("my tiles", "The Shape");
    w.row("my tiles", std::string("a.laz"), Null{}, "The Shape");
  }
  const auto tiles = read_all(path);
  ASSERT_FALSE(tiles.has_value());
  EXPECT_EQ(tiles.error().message(),
            "Failed to query tiles: Invalid column type Null at index: 1, name: The Shape");
}

TEST(TileIndexReader, GeometryColumnMissingFromTheTable) {
  // Either outcome is acceptable, depending on how SQLite treats a double-quoted unknown name.
  TempDir dir;
  const std::string path = dir.file("nocolumn.gpkg");
  {
    GpkgWriter w(path);
    w.metadata().contents("tiles").geometry_column("tiles", "shape");
    w.exec("CREATE TABLE tiles (location, geom)");
    w.row("tiles", std::string("a.laz"), xy_blob(0, 1, 0, 1));
  }
  const auto tiles = read_all(path);
  ASSERT_FALSE(tiles.has_value());
  const std::string message = tiles.error().message();
  EXPECT_TRUE(message == "Failed to query tiles: Failed to prepare query: no such column: shape" ||
              message ==
                  "Failed to query tiles: Invalid column type Text at index: 1, name: \"shape\"")
      << message;
}

TEST(TileIndexReader, FindGeometryColumnFailures) {
  TempDir dir;
  const std::string path = dir.file("meta.gpkg");
  {
    GpkgWriter w(path);
    w.metadata().feature_table("tiles");
  }
  auto reader = TileIndexReader::open(path);
  ASSERT_TRUE(reader.has_value());
  const auto missing = reader->find_geometry_column("other");
  ASSERT_FALSE(missing.has_value());
  EXPECT_EQ(missing.error().message(),
            "Failed to query tiles: No geometry column found for table 'other': Query returned no "
            "rows");
  // A failed call leaves the reader usable.
  const auto found = reader->find_geometry_column("tiles");
  ASSERT_TRUE(found.has_value());
  EXPECT_EQ(*found, "geom");
  const auto named_missing = reader->read_tiles(std::string("nope"), kEverything);
  ASSERT_FALSE(named_missing.has_value());
  EXPECT_EQ(named_missing.error().message(),
            "Failed to query tiles: No geometry column found for table 'nope': Query returned no "
            "rows");
}

TEST(TileIndexReader, ListTablesMayBeEmpty) {
  TempDir dir;
  const std::string path = dir.file("empty.gpkg");
  {
    GpkgWriter w(path);
    w.metadata().contents("Features", "Features");
  }
  auto reader = TileIndexReader::open(path);
  ASSERT_TRUE(reader.has_value());
  const auto tables = reader->list_tables();
  ASSERT_TRUE(tables.has_value());
  EXPECT_TRUE(tables->empty());
}

TEST(TileIndexReader, OpenMissingFileInExistingFolderCreatesIt) {
  TempDir dir;
  const std::string path = dir.file("new.gpkg");
  ASSERT_FALSE(std::filesystem::exists(path));
  {
    auto reader = TileIndexReader::open(path);
    ASSERT_TRUE(reader.has_value()) << reader.error().message();
    const auto tiles = reader->read_tiles(std::nullopt, kEverything);
    ASSERT_FALSE(tiles.has_value());
    EXPECT_EQ(tiles.error().kind(), ErrorKind::TileQuery);
    EXPECT_EQ(tiles.error().message(), "Failed to query tiles: no such table: gpkg_contents");
  }
  EXPECT_TRUE(std::filesystem::exists(path));
  EXPECT_EQ(std::filesystem::file_size(path), 0u);
}

TEST(TileIndexReader, OpenFailures) {
  TempDir dir;
  const std::string in_missing_dir = dir.file("missing/index.gpkg");
  const struct {
    const char* name;
    std::string path;
    std::string message;
  } kCases[] = {
      {"folder does not exist", in_missing_dir,
       "Failed to open GeoPackage: unable to open database file: " + in_missing_dir},
      {"nul byte", std::string("abc\0def.gpkg", 12),
       "Failed to open GeoPackage: nul byte found in provided data at position: 3"},
      {"nul byte first", std::string("\0", 1),
       "Failed to open GeoPackage: nul byte found in provided data at position: 0"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const auto reader = TileIndexReader::open(c.path);
    ASSERT_FALSE(reader.has_value());
    EXPECT_EQ(reader.error().kind(), ErrorKind::GeoPackageOpen);
    EXPECT_EQ(reader.error().message(), c.message);
  }
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "missing"));
}

TEST(TileIndexReader, OpenFailureReplacesInvalidUtf8InThePath) {
  TempDir dir;
  const std::string path = dir.file(
      "no\xff"
      "dir/index.gpkg");
  const auto reader = TileIndexReader::open(path);
  ASSERT_FALSE(reader.has_value());
  EXPECT_EQ(reader.error().message(), "Failed to open GeoPackage: unable to open database file: " +
                                          dir.file("no\xef\xbf\xbd"
                                                   "dir/index.gpkg"));
}

TEST(TileIndexReader, TextFileIsNotADatabase) {
  TempDir dir;
  const std::string path = dir.file("index.txt");
  std::ofstream(path) << "location,geometry\nsome/tile.laz,POLYGON((0 0,1 0,1 1,0 0))\n"
                      << std::string(2000, 'x') << "\n";
  auto reader = TileIndexReader::open(path);
  ASSERT_TRUE(reader.has_value()) << reader.error().message();
  const auto tiles = reader->read_tiles(std::nullopt, kEverything);
  ASSERT_FALSE(tiles.has_value());
  EXPECT_EQ(tiles.error().kind(), ErrorKind::TileQuery);
  EXPECT_EQ(tiles.error().message(), "Failed to query tiles: file is not a database");
}

TEST(TileIndexReader, OpensUriPathsAndMoves) {
  TempDir dir;
  const std::string path = dir.file("uri.gpkg");
  {
    GpkgWriter w(path);
    w.metadata().feature_table("tiles").tile("tiles", "a.laz", 0, 1, 0, 1);
  }
  auto reader = TileIndexReader::open("file:" + path + "?mode=ro");
  ASSERT_TRUE(reader.has_value()) << reader.error().message();
  TileIndexReader moved = std::move(*reader);
  const auto tiles = moved.read_tiles(std::nullopt, kEverything);
  ASSERT_TRUE(tiles.has_value()) << tiles.error().message();
  ASSERT_EQ(tiles->size(), 1u);
  EXPECT_EQ((*tiles)[0], (TileInfo{"a.laz", Rect{0, 0, 1, 1}}));
}

TEST(TileIndexReader, NeverWritesTheIndex) {
  TempDir dir;
  const std::string path = dir.file("ro.gpkg");
  {
    GpkgWriter w(path);
    w.metadata().feature_table("tiles").tile("tiles", "a.laz", 0, 1, 0, 1);
  }
  const auto before = std::filesystem::last_write_time(path);
  const auto size = std::filesystem::file_size(path);
  {
    auto reader = TileIndexReader::open(path);
    ASSERT_TRUE(reader.has_value());
    ASSERT_TRUE(reader->read_tiles(std::nullopt, kEverything).has_value());
  }
  EXPECT_EQ(std::filesystem::last_write_time(path), before);
  EXPECT_EQ(std::filesystem::file_size(path), size);
  EXPECT_FALSE(std::filesystem::exists(path + "-journal"));
}

// Configuring SQLite for single-thread use is process-wide and only possible before SQLite
// initialises, so it runs in a freshly started copy of this test program.
void open_with_single_threaded_sqlite() {
  if (sqlite3_config(SQLITE_CONFIG_SINGLETHREAD) != SQLITE_OK) {
    std::fputs("could not configure single-thread mode\n", stderr);
    std::_Exit(3);
  }
  // The refusal comes before any file is touched, so the path never matters.
  const auto reader = TileIndexReader::open("/nonexistent-quarrix-folder/index.gpkg");
  if (reader.has_value()) std::_Exit(1);
  std::fputs(reader.error().message().c_str(), stderr);
  std::_Exit(reader.error().message() ==
                     "Failed to open GeoPackage: SQLite was compiled or configured for "
                     "single-threaded use only"
                 ? 0
                 : 2);
}

TEST(TileIndexReaderDeathTest, RefusesSingleThreadedSqlite) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(open_with_single_threaded_sqlite(), ::testing::ExitedWithCode(0),
              "SQLite was compiled or configured for single-threaded use only");
}

}  // namespace
}  // namespace quarrix_core::index::reader
