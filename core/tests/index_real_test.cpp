// TileIndexReader on a real GeoPackage written by GDAL (through PDAL's tindex): the four tiles of
// lone-star-split with their header extents, selected by boxes, cylinders and frusta.
#include "index/reader.hpp"

#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace quarrix_core::index::reader {
namespace {

using error::ErrorKind;
using geometry::BoundingBox;
using geometry::Rect;
using geometry::cylinder::VerticalCylinder;
using geometry::frustum::Frustum;
using tile::TileInfo;

constexpr double kInf = std::numeric_limits<double>::infinity();

// Rows in rowid order, as the index's README lists them.
const TileInfo kSplit1{"lone-star-split/split-1.laz",
                       Rect{515393.0, 4918340.364, 515400.00175, 4918364.99975}};
const TileInfo kSplit4{"lone-star-split/split-4.laz",
                       Rect{515378.12025, 4918365.0, 515392.99975, 4918381.12375}};
const TileInfo kSplit2{"lone-star-split/split-2.laz",
                       Rect{515368.60225, 4918341.0385, 515392.99975, 4918364.99975}};
const TileInfo kSplit3{"lone-star-split/split-3.laz",
                       Rect{515393.0, 4918365.0, 515401.043, 4918379.74375}};

class RealIndex : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = std::string(QUARRIX_TESTDATA_DIR) + "/tindex/lone-star-split.gpkg";
    if (!std::filesystem::exists(path_)) {
      GTEST_SKIP() << "shared test data not found at " << path_;
    }
    // Work on a copy: the reader opens read-write, and the shared file must never change.
    std::string pattern =
        (std::filesystem::temp_directory_path() / "quarrix-core-real-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    copy_ = (dir_ / "lone-star-split.gpkg").string();
    std::filesystem::copy_file(path_, copy_);
  }
  void TearDown() override {
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  }

  template <class G>
  error::Result<std::vector<TileInfo>> read(const G& geometry) {
    auto reader = TileIndexReader::open(copy_);
    if (!reader) return error::fail(std::move(reader.error()));
    return reader->read_tiles(std::nullopt, geometry);
  }

  std::string path_;
  std::filesystem::path dir_;
  std::string copy_;
};

TEST_F(RealIndex, MetadataAndAllRows) {
  auto reader = TileIndexReader::open(copy_);
  ASSERT_TRUE(reader.has_value()) << reader.error().message();
  const auto tables = reader->list_tables();
  ASSERT_TRUE(tables.has_value()) << tables.error().message();
  EXPECT_EQ(*tables, std::vector<std::string>{"split-1"});
  const auto column = reader->find_geometry_column("split-1");
  ASSERT_TRUE(column.has_value()) << column.error().message();
  EXPECT_EQ(*column, "geom");

  const BoundingBox everything{-kInf, kInf, -kInf, kInf, std::nullopt, std::nullopt};
  const auto tiles = reader->read_tiles(std::nullopt, everything);
  ASSERT_TRUE(tiles.has_value()) << tiles.error().message();
  // Extents equal the tiles' header bounds double for double.
  EXPECT_EQ(*tiles, (std::vector<TileInfo>{kSplit1, kSplit4, kSplit2, kSplit3}));
}

TEST_F(RealIndex, BoxesSelectInRowOrder) {
  const struct {
    const char* name;
    BoundingBox box;
    std::vector<TileInfo> expected;
  } kCases[] = {
      {"south-east corner only",
       {515395, 515396, 4918345, 4918346, std::nullopt, std::nullopt},
       {kSplit1}},
      {"around the split point",
       {515392, 515394, 4918364, 4918366, std::nullopt, std::nullopt},
       {kSplit1, kSplit4, kSplit2, kSplit3}},
      {"west strip", {515370, 515380, 4918342, 4918380, 0.0, 10.0}, {kSplit4, kSplit2}},
      {"north strip",
       {515360, 515410, 4918370, 4918375, std::nullopt, std::nullopt},
       {kSplit4, kSplit3}},
      // The gap between neighbours is one quantum: x = 515392.99975 belongs to the west tiles.
      {"in the one-quantum gap east of the west tiles",
       {515392.9999, 515392.9999, 4918350, 4918350, std::nullopt, std::nullopt},
       {}},
      {"on the west tiles' east edge",
       {515392.99975, 515392.99975, 4918350, 4918350, std::nullopt, std::nullopt},
       {kSplit2}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const auto tiles = read(c.box);
    if (c.expected.empty()) {
      ASSERT_FALSE(tiles.has_value());
      EXPECT_EQ(tiles.error().kind(), ErrorKind::NoTilesFound);
    } else {
      ASSERT_TRUE(tiles.has_value()) << tiles.error().message();
      EXPECT_EQ(*tiles, c.expected);
    }
  }
}

TEST_F(RealIndex, CylindersSelectByTheDisc) {
  const struct {
    const char* name;
    VerticalCylinder cylinder;
    std::vector<std::string> expected;
  } kCases[] = {
      {"centre of split-2", {515380, 4918352, 3}, {"lone-star-split/split-2.laz"}},
      {"at the split point",
       {515393, 4918365, 1},
       {"lone-star-split/split-1.laz", "lone-star-split/split-4.laz", "lone-star-split/split-2.laz",
        "lone-star-split/split-3.laz"}},
      // Nearest corner of split-3 lies 5 east and 5 north: 50 > 49, so it is missed, while the
      // disc reaches split-1 and split-4 along the axes.
      {"corner judged by distance",
       {515388, 4918360, 7},
       {"lone-star-split/split-1.laz", "lone-star-split/split-4.laz",
        "lone-star-split/split-2.laz"}},
      {"far away", {0, 0, 100}, {}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const auto tiles = read(c.cylinder);
    if (c.expected.empty()) {
      ASSERT_FALSE(tiles.has_value());
      EXPECT_EQ(tiles.error().message(), "No tiles found intersecting the extraction geometry");
      continue;
    }
    ASSERT_TRUE(tiles.has_value()) << tiles.error().message();
    std::vector<std::string> paths;
    for (const TileInfo& t : *tiles) paths.push_back(t.path);
    EXPECT_EQ(paths, c.expected);
  }
}

TEST_F(RealIndex, FrustaSelectByTheirRectangle) {
  const struct {
    const char* name;
    double phi1, theta1, phi2, theta2, min_distance, max_distance;
    std::vector<std::string> expected;
  } kCases[] = {
      // From the middle of split-2 looking east along the horizon: the rectangle reaches the full
      // 10 m east, into split-1 (x >= 515393 starts 8 m away), only because the elevation range
      // spans the horizontal.
      {"east, elevations spanning the horizon",
       80,
       -45,
       100,
       45,
       0,
       10,
       {"lone-star-split/split-1.laz", "lone-star-split/split-2.laz"}},
      {"east, steep elevations fall short",
       80,
       60,
       100,
       80,
       0,
       10,
       {"lone-star-split/split-2.laz"}},
      {"north-east quarter, far",
       0,
       -10,
       90,
       10,
       0,
       20,
       {"lone-star-split/split-1.laz", "lone-star-split/split-4.laz", "lone-star-split/split-2.laz",
        "lone-star-split/split-3.laz"}},
      {"full circle, short range", 0, -90, 360, 90, 0, 1, {"lone-star-split/split-2.laz"}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const auto f = Frustum::make(515385, 4918355, 20, c.phi1, c.theta1, c.phi2, c.theta2,
                                 c.min_distance, c.max_distance);
    ASSERT_TRUE(f.has_value()) << f.error();
    const auto tiles = read(*f);
    ASSERT_TRUE(tiles.has_value()) << tiles.error().message();
    std::vector<std::string> paths;
    for (const TileInfo& t : *tiles) paths.push_back(t.path);
    EXPECT_EQ(paths, c.expected);
  }
}

TEST_F(RealIndex, FrustumPointingAwayFindsNothing) {
  // From far south-west of the tiles, looking further south-west.
  const auto f = Frustum::make(515300, 4918300, 0, 200, -10, 250, 10, 0, 30);
  ASSERT_TRUE(f.has_value());
  const auto tiles = read(*f);
  ASSERT_FALSE(tiles.has_value());
  EXPECT_EQ(tiles.error().kind(), ErrorKind::NoTilesFound);
}

}  // namespace
}  // namespace quarrix_core::index::reader
