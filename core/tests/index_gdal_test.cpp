// TileIndexReader on GeoPackages written by GDAL (through pyogrio, which bundles it): what a real
// GIS library writes for 2D and 3D polygons, several layers, and points (which get no envelope).
#include "index/reader.hpp"

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
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
using tile::TileInfo;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr int kNoGdal = 77;

// Writes grid.gpkg, multi.gpkg and points.gpkg into the folder given as its argument.
constexpr const char* kWriterScript = R"PY(
import struct, sys, warnings
try:
    import numpy as np
    from pyogrio.raw import write
except ImportError:
    sys.exit(77)
warnings.simplefilter("ignore")
out = sys.argv[1]

def ring(x0, y0, x1, y1):
    return [(x0, y0), (x1, y0), (x1, y1), (x0, y1), (x0, y0)]

def polygon(x0, y0, x1, y1):
    pts = ring(x0, y0, x1, y1)
    return struct.pack("<BII", 1, 3, 1) + struct.pack("<I", len(pts)) + b"".join(
        struct.pack("<dd", *p) for p in pts)

def polygon_z(x0, y0, x1, y1, z):
    pts = ring(x0, y0, x1, y1)
    return struct.pack("<BII", 1, 1003, 1) + struct.pack("<I", len(pts)) + b"".join(
        struct.pack("<ddd", *p, z) for p in pts)

def layer(path, name, geoms, locations, geometry_type, append=False):
    write(path, np.array(geoms, dtype=object), [np.array(locations, dtype=object)],
          ["location"], layer=name, driver="GPKG", geometry_type=geometry_type,
          crs="EPSG:32615", append=append)

layer(out + "/grid.gpkg", "tiles",
      [polygon(100, 0, 200, 100), polygon(0, 0, 100, 100), polygon(0, 100, 100, 200),
       polygon(100, 100, 200, 200)],
      ["tiles/se.laz", "tiles/sw.laz", "tiles/nw.laz", "/abs/ne.laz"], "Polygon")
layer(out + "/multi.gpkg", "first", [polygon_z(0, 0, 10, 10, 5.0)], ["first.laz"], "Polygon Z")
layer(out + "/multi.gpkg", "second", [polygon(0, 0, 10, 10)], ["second.laz"], "Polygon")
layer(out + "/points.gpkg", "pts", [struct.pack("<BIdd", 1, 1, 5.0, 5.0)], ["p.laz"], "Point")
)PY";

class GdalIndex : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string script = dir_.file("write_indexes.py");
    std::ofstream(script) << kWriterScript;
    const std::string command = "python3 '" + script + "' '" + dir_.path().string() + "'";
    const int status = std::system(command.c_str());
    if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) == 127) {
      GTEST_SKIP() << "python3 is not available to run GDAL";
    }
    if (WEXITSTATUS(status) == kNoGdal) GTEST_SKIP() << "pyogrio (GDAL) is not installed";
    ASSERT_EQ(WEXITSTATUS(status), 0) << "the GDAL writer script failed";
  }

  template <class G>
  error::Result<std::vector<TileInfo>> read(const std::string& name, const G& geometry) {
    auto reader = TileIndexReader::open(dir_.file(name));
    if (!reader) return error::fail(std::move(reader.error()));
    return reader->read_tiles(std::nullopt, geometry);
  }

  testing::TempDir dir_;
};

TEST_F(GdalIndex, ReadsEveryTileInRowOrder) {
  const auto tiles =
      read("grid.gpkg", BoundingBox{-kInf, kInf, -kInf, kInf, std::nullopt, std::nullopt});
  ASSERT_TRUE(tiles.has_value()) << tiles.error().message();
  const std::vector<TileInfo> expected = {
      {"tiles/se.laz", Rect{100, 0, 200, 100}},
      {"tiles/sw.laz", Rect{0, 0, 100, 100}},
      {"tiles/nw.laz", Rect{0, 100, 100, 200}},
      {"/abs/ne.laz", Rect{100, 100, 200, 200}},
  };
  EXPECT_EQ(*tiles, expected);
}

TEST_F(GdalIndex, SelectsByGeometry) {
  const struct {
    const char* name;
    BoundingBox box;
    std::vector<std::string> expected;
  } kCases[] = {
      {"inside one tile", {10, 20, 10, 20, std::nullopt, std::nullopt}, {"tiles/sw.laz"}},
      {"on the shared edge",
       {100, 100, 50, 60, std::nullopt, std::nullopt},
       {"tiles/se.laz", "tiles/sw.laz"}},
      {"on the shared corner",
       {100, 100, 100, 100, 0.0, 1.0},
       {"tiles/se.laz", "tiles/sw.laz", "tiles/nw.laz", "/abs/ne.laz"}},
      {"north half",
       {0, 200, 150, 160, std::nullopt, std::nullopt},
       {"tiles/nw.laz", "/abs/ne.laz"}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const auto tiles = read("grid.gpkg", c.box);
    ASSERT_TRUE(tiles.has_value()) << tiles.error().message();
    std::vector<std::string> paths;
    for (const TileInfo& t : *tiles) paths.push_back(t.path);
    EXPECT_EQ(paths, c.expected);
  }
  // A small disc centred on the corner the four tiles share meets all of them.
  const auto disc = read("grid.gpkg", VerticalCylinder{100, 100, 1});
  ASSERT_TRUE(disc.has_value());
  EXPECT_EQ(disc->size(), 4u);
  const auto none = read("grid.gpkg", VerticalCylinder{500, 500, 10});
  ASSERT_FALSE(none.has_value());
  EXPECT_EQ(none.error().kind(), ErrorKind::NoTilesFound);
}

TEST_F(GdalIndex, FirstLayerOfSeveralWithAnXyzEnvelope) {
  auto reader = TileIndexReader::open(dir_.file("multi.gpkg"));
  ASSERT_TRUE(reader.has_value());
  const auto tables = reader->list_tables();
  ASSERT_TRUE(tables.has_value());
  EXPECT_EQ(*tables, (std::vector<std::string>{"first", "second"}));
  const auto tiles = reader->read_tiles(
      std::nullopt, BoundingBox{-kInf, kInf, -kInf, kInf, std::nullopt, std::nullopt});
  ASSERT_TRUE(tiles.has_value()) << tiles.error().message();
  EXPECT_EQ(*tiles, (std::vector<TileInfo>{{"first.laz", Rect{0, 0, 10, 10}}}));
}

TEST_F(GdalIndex, PointsCarryNoEnvelope) {
  const auto tiles =
      read("points.gpkg", BoundingBox{-kInf, kInf, -kInf, kInf, std::nullopt, std::nullopt});
  ASSERT_FALSE(tiles.has_value());
  EXPECT_EQ(tiles.error().kind(), ErrorKind::TileQuery);
  EXPECT_EQ(tiles.error().message(),
            "Failed to query tiles: Invalid geometry in tile index: Geometry has no envelope - WKB "
            "parsing not yet implemented");
}

}  // namespace
}  // namespace quarrix_core::index::reader
