// The extraction pipeline end to end on tiny tiles: LAS files and a GeoPackage index written by
// the test itself into a temporary folder.
#include "pipeline/executor.hpp"

#include <sqlite3.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "geometry/bounding_box.hpp"
#include "geometry/cylinder.hpp"
#include "geometry/frustum.hpp"
#include "las/log.hpp"
#include "pipeline/quote_path.hpp"
#include "pointcloud/reader.hpp"

namespace quarrix_core::pipeline::executor {
namespace {

namespace fs = std::filesystem;
using error::ErrorKind;
using geometry::BoundingBox;

// ------------------------------------------------------------------ fixtures written by hand

void put(std::vector<std::uint8_t>& out, const void* value, std::size_t size) {
  const auto* bytes = static_cast<const std::uint8_t*>(value);
  out.insert(out.end(), bytes, bytes + size);
}
template <class T>
void put(std::vector<std::uint8_t>& out, T value) {
  put(out, &value, sizeof value);  // the test machine is little-endian, as LAS is
}

// One point of a fixture tile: stored coordinates on the 0.01 grid (offset 0), and two fields
// that identify it in the output.
struct FixturePoint {
  std::int32_t x;
  std::int32_t y;
  std::int32_t z;
  std::uint16_t point_source_id;  // the tile
  std::uint8_t user_data;         // the point's position in its tile
};

// A LAS 1.2 file of point format 0 (no VLRs), optionally cut short after `keep_bytes` bytes.
void write_las(const fs::path& path, const std::vector<FixturePoint>& points,
               std::optional<std::size_t> keep_bytes = std::nullopt) {
  constexpr double kScale = 0.01;
  std::vector<std::uint8_t> file;
  file.insert(file.end(), {'L', 'A', 'S', 'F'});
  put<std::uint16_t>(file, 0);     // file source id
  put<std::uint16_t>(file, 0);     // global encoding
  file.insert(file.end(), 16, 0);  // GUID
  put<std::uint8_t>(file, 1);      // version 1.2
  put<std::uint8_t>(file, 2);
  std::array<char, 32> system{"quarrix test"};
  std::array<char, 32> software{"test_pipeline"};
  put(file, system.data(), system.size());
  put(file, software.data(), software.size());
  put<std::uint16_t>(file, 100);  // day of year
  put<std::uint16_t>(file, 2024);
  put<std::uint16_t>(file, 227);  // header size
  put<std::uint32_t>(file, 227);  // offset to point data
  put<std::uint32_t>(file, 0);    // VLRs
  put<std::uint8_t>(file, 0);     // point format
  put<std::uint16_t>(file, 20);   // record length
  put<std::uint32_t>(file, static_cast<std::uint32_t>(points.size()));
  put<std::uint32_t>(file, static_cast<std::uint32_t>(points.size()));  // all first returns
  for (int i = 0; i < 4; ++i) put<std::uint32_t>(file, 0);
  for (int i = 0; i < 3; ++i) put<double>(file, kScale);
  for (int i = 0; i < 3; ++i) put<double>(file, 0.0);
  std::array<double, 3> min{0, 0, 0};
  std::array<double, 3> max{0, 0, 0};
  for (std::size_t i = 0; i < points.size(); ++i) {
    const std::array<double, 3> p{points[i].x * kScale, points[i].y * kScale, points[i].z * kScale};
    for (std::size_t axis = 0; axis < 3; ++axis) {
      if (i == 0 || p[axis] < min[axis]) min[axis] = p[axis];
      if (i == 0 || p[axis] > max[axis]) max[axis] = p[axis];
    }
  }
  for (std::size_t axis = 0; axis < 3; ++axis) {
    put<double>(file, max[axis]);
    put<double>(file, min[axis]);
  }
  EXPECT_EQ(file.size(), 227u);
  for (const FixturePoint& p : points) {
    put<std::int32_t>(file, p.x);
    put<std::int32_t>(file, p.y);
    put<std::int32_t>(file, p.z);
    put<std::uint16_t>(file, 100);  // intensity
    put<std::uint8_t>(file, 0x09);  // return 1 of 1
    put<std::uint8_t>(file, 2);     // ground
    put<std::int8_t>(file, 0);      // scan angle rank
    put<std::uint8_t>(file, p.user_data);
    put<std::uint16_t>(file, p.point_source_id);
  }
  if (keep_bytes) file.resize(*keep_bytes);
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
}

// A GeoPackage geometry blob with an [minx, maxx, miny, maxy] envelope and an empty WKB tail.
std::vector<std::uint8_t> envelope_blob(double min_x, double max_x, double min_y, double max_y) {
  std::vector<std::uint8_t> blob{'G', 'P', 0, 0x03};
  put<std::int32_t>(blob, -1);
  for (double v : {min_x, max_x, min_y, max_y}) put<double>(blob, v);
  return blob;
}

struct IndexRow {
  std::string location;
  double min_x, max_x, min_y, max_y;
};

void write_index(const fs::path& path, const std::vector<IndexRow>& rows) {
  sqlite3* raw = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &raw), SQLITE_OK);
  std::unique_ptr<sqlite3, decltype(&sqlite3_close)> db(raw, &sqlite3_close);
  const char* schema =
      "PRAGMA synchronous = OFF;"
      "CREATE TABLE gpkg_contents (table_name TEXT PRIMARY KEY, data_type TEXT NOT NULL);"
      "CREATE TABLE gpkg_geometry_columns (table_name TEXT, column_name TEXT);"
      "INSERT INTO gpkg_contents VALUES ('tiles', 'features');"
      "INSERT INTO gpkg_geometry_columns VALUES ('tiles', 'geom');"
      "CREATE TABLE tiles (fid INTEGER PRIMARY KEY, geom BLOB, location TEXT);";
  ASSERT_EQ(sqlite3_exec(db.get(), schema, nullptr, nullptr, nullptr), SQLITE_OK);
  for (const IndexRow& row : rows) {
    sqlite3_stmt* stmt = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db.get(), "INSERT INTO tiles (geom, location) VALUES (?1, ?2)", -1,
                                 &stmt, nullptr),
              SQLITE_OK);
    const auto blob = envelope_blob(row.min_x, row.max_x, row.min_y, row.max_y);
    sqlite3_bind_blob(stmt, 1, blob.data(), static_cast<int>(blob.size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(stmt, 2, row.location.c_str(), -1, SQLITE_TRANSIENT);
    EXPECT_EQ(sqlite3_step(stmt), SQLITE_DONE);
    sqlite3_finalize(stmt);
  }
}

// Tile t (0, 1, 2) covers x from 10 t to 10 t + 10 and y from 0 to 10; its points lie on the
// diagonal at x = 10 t + 1 + k, y = 1 + k, z = k for k = 0..7 (8 points).
std::vector<FixturePoint> tile_points(std::uint16_t tile) {
  std::vector<FixturePoint> points;
  for (std::uint8_t k = 0; k < 8; ++k) {
    points.push_back(
        {(10 * tile + 1 + k) * 100, (1 + k) * 100, k * 100, static_cast<std::uint16_t>(tile), k});
  }
  return points;
}

struct Written {
  std::uint16_t tile;
  std::uint8_t index;
  double x;
};

std::vector<Written> read_output(const fs::path& path) {
  std::vector<Written> result;
  auto reader = pointcloud::reader::PointCloudReader::open(path.string());
  EXPECT_TRUE(reader) << reader.error().message();
  if (!reader) return result;
  auto points = reader->points();
  EXPECT_TRUE(points) << points.error().message();
  if (!points) return result;
  for (std::size_t i = 0; i < points->size(); ++i) {
    const las::Point p = points->decode(i);
    result.push_back({p.point_source_id, p.user_data, p.x});
  }
  return result;
}

std::string file_text(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class PipelineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() /
           (std::string("quarrix-pipeline-") + info->name() + "-" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    for (std::uint16_t tile = 0; tile < 3; ++tile) write_las(tile_path(tile), tile_points(tile));
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path tile_path(int tile) const { return dir_ / ("tile" + std::to_string(tile) + ".las"); }
  IndexRow row(int tile) const {
    return {tile_path(tile).string(), 10.0 * tile, 10.0 * tile + 10, 0, 10};
  }
  // The index lists the tiles in the given order.
  fs::path index(const std::vector<IndexRow>& rows) const {
    const fs::path path = dir_ / "index.gpkg";
    fs::remove(path);
    write_index(path, rows);
    return path;
  }
  fs::path output(const char* name = "out.las") const { return dir_ / name; }

  fs::path dir_;
};

// Everything from x0 to x1 (inclusive), any y and z.
BoundingBox box_x(double x0, double x1) { return BoundingBox{x0, x1, -100, 100, {}, {}}; }

TEST_F(PipelineTest, OutputFollowsTileOrderThenPointOrder) {
  // Index rows in the order 2, 0, 1: the output follows the rows, not the file names.
  const auto pipeline =
      ExtractionPipeline::make(index({row(2), row(0), row(1)}).string(), output().string(), false);
  // x from 5 to 25 keeps k >= 4 of tile 0, all of tile 1, k <= 4 of tile 2.
  const auto stats = pipeline.execute(box_x(5, 25));
  ASSERT_TRUE(stats) << stats.error().message();
  EXPECT_EQ(stats->tiles_processed, 3u);
  EXPECT_EQ(stats->points_read, 24u);
  EXPECT_EQ(stats->points_written, 5u + 4u + 8u);

  std::vector<std::pair<int, int>> expected;
  for (int k = 0; k <= 4; ++k) expected.emplace_back(2, k);
  for (int k = 4; k < 8; ++k) expected.emplace_back(0, k);
  for (int k = 0; k < 8; ++k) expected.emplace_back(1, k);
  const auto written = read_output(output());
  ASSERT_EQ(written.size(), expected.size());
  for (std::size_t i = 0; i < written.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(written[i].tile, expected[i].first);
    EXPECT_EQ(written[i].index, expected[i].second);
    EXPECT_DOUBLE_EQ(written[i].x, 10.0 * expected[i].first + 1 + expected[i].second);
  }
}

TEST_F(PipelineTest, RepeatedRunsWriteTheSameBytes) {
  const auto pipeline =
      ExtractionPipeline::make(index({row(1), row(0), row(2)}).string(), output().string(), false);
  ASSERT_TRUE(pipeline.execute(box_x(0, 30)));
  const std::string first = file_text(output());
  ASSERT_TRUE(pipeline.execute(box_x(0, 30)));
  EXPECT_EQ(file_text(output()), first);
}

TEST_F(PipelineTest, SkippedTilesAndCounts) {
  const struct {
    const char* name;
    int broken_tile;  // which tile file is damaged
    bool missing;     // removed, or cut short inside its point records
  } kCases[] = {
      {"missing middle tile", 1, true},
      {"missing last tile", 2, true},
      {"truncated middle tile", 1, false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    SetUp();
    if (c.missing) {
      fs::remove(tile_path(c.broken_tile));
    } else {
      write_las(tile_path(c.broken_tile), tile_points(static_cast<std::uint16_t>(c.broken_tile)),
                227 + 20 * 3 + 7);
    }
    const auto pipeline = ExtractionPipeline::make(index({row(0), row(1), row(2)}).string(),
                                                   output().string(), false);
    const auto stats = pipeline.execute(box_x(0, 30));
    ASSERT_TRUE(stats) << stats.error().message();
    EXPECT_EQ(stats->tiles_processed, 3u);  // the skipped tile still counts as selected
    EXPECT_EQ(stats->points_read, 16u);     // but none of its points was read
    EXPECT_EQ(stats->points_written, 16u);
    const auto written = read_output(output());
    ASSERT_EQ(written.size(), 16u);
    for (const Written& w : written) EXPECT_NE(w.tile, c.broken_tile);
  }
}

TEST_F(PipelineTest, PointsReadCountsEveryPointOfEveryReadTile) {
  const auto pipeline =
      ExtractionPipeline::make(index({row(0), row(1), row(2)}).string(), output().string(), false);
  // Selects tile 0 only and keeps one of its points.
  const auto stats = pipeline.execute(box_x(1, 1));
  ASSERT_TRUE(stats) << stats.error().message();
  EXPECT_EQ(stats->tiles_processed, 1u);
  EXPECT_EQ(stats->points_read, 8u);
  EXPECT_EQ(stats->points_written, 1u);

  // Tile 1 only touches the box at x = 10: it is read, none of its points is kept.
  const auto touching = pipeline.execute(box_x(3, 10));
  ASSERT_TRUE(touching) << touching.error().message();
  EXPECT_EQ(touching->tiles_processed, 2u);
  EXPECT_EQ(touching->points_read, 16u);
  EXPECT_EQ(touching->points_written, 6u);
}

TEST_F(PipelineTest, MissingFirstTileFailsAndWritesNothing) {
  fs::remove(tile_path(0));
  const auto pipeline =
      ExtractionPipeline::make(index({row(0), row(1)}).string(), output().string(), false);
  const auto stats = pipeline.execute(box_x(0, 20));
  ASSERT_FALSE(stats);
  EXPECT_EQ(stats.error().kind(), ErrorKind::PointCloudIO);
  EXPECT_EQ(stats.error().message(),
            std::string("LAS/LAZ file error: ") + std::strerror(ENOENT) + " (os error 2)");
  EXPECT_FALSE(fs::exists(output()));
}

TEST_F(PipelineTest, NoKeptPointSucceedsWithoutWriting) {
  const struct {
    const char* name;
    bool old_file;
    BoundingBox box;
  } kCases[] = {
      {"no output yet", false, BoundingBox{0, 30, 0, 10, 50.0, 60.0}},
      {"older output stays untouched", true, BoundingBox{0, 30, 0, 10, 50.0, 60.0}},
      // Selects tile 0 by its extent, but no point lies in the corner.
      {"2D box in an empty corner", true, BoundingBox{8.5, 9.5, 0, 0.5, {}, {}}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    fs::remove(output());
    if (c.old_file) std::ofstream(output()) << "older output";
    const auto pipeline = ExtractionPipeline::make(index({row(0), row(1), row(2)}).string(),
                                                   output().string(), false);
    const auto stats = pipeline.execute(c.box);
    ASSERT_TRUE(stats) << stats.error().message();
    EXPECT_EQ(stats->points_written, 0u);
    EXPECT_GT(stats->points_read, 0u);
    if (c.old_file) {
      EXPECT_EQ(file_text(output()), "older output");
    } else {
      EXPECT_FALSE(fs::exists(output()));
    }
  }
}

TEST_F(PipelineTest, EveryTileFailingSucceedsWithoutWriting) {
  fs::remove(tile_path(1));
  fs::remove(tile_path(2));
  const auto pipeline =
      ExtractionPipeline::make(index({row(1), row(2)}).string(), output().string(), false);
  const auto stats = pipeline.execute(box_x(10, 30));
  ASSERT_TRUE(stats) << stats.error().message();
  EXPECT_EQ(stats->tiles_processed, 2u);
  EXPECT_EQ(stats->points_read, 0u);
  EXPECT_EQ(stats->points_written, 0u);
  EXPECT_FALSE(fs::exists(output()));
}

TEST_F(PipelineTest, NoTileMeetsTheGeometry) {
  const auto pipeline =
      ExtractionPipeline::make(index({row(0), row(1)}).string(), output().string(), false);
  const auto stats = pipeline.execute(box_x(100, 200));
  ASSERT_FALSE(stats);
  EXPECT_EQ(stats.error().kind(), ErrorKind::NoTilesFound);
  EXPECT_EQ(stats.error().message(), "No tiles found intersecting the extraction geometry");
  EXPECT_FALSE(fs::exists(output()));
}

TEST_F(PipelineTest, IndexFailuresPassUnchanged) {
  const auto pipeline = ExtractionPipeline::make((dir_ / "no-such-dir" / "index.gpkg").string(),
                                                 output().string(), false);
  const auto stats = pipeline.execute(box_x(0, 30));
  ASSERT_FALSE(stats);
  EXPECT_EQ(stats.error().kind(), ErrorKind::GeoPackageOpen);
  EXPECT_FALSE(fs::exists(output()));
}

TEST_F(PipelineTest, OutputThatCannotBeCreated) {
  const auto pipeline = ExtractionPipeline::make(index({row(0)}).string(),
                                                 (dir_ / "missing" / "out.las").string(), false);
  const auto stats = pipeline.execute(box_x(0, 10));
  ASSERT_FALSE(stats);
  EXPECT_EQ(stats.error().kind(), ErrorKind::OutputError);
  EXPECT_EQ(stats.error().message(),
            std::string("Output file error: ") + std::strerror(ENOENT) + " (os error 2)");
}

TEST_F(PipelineTest, CylinderAndFrustum) {
  const auto pipeline =
      ExtractionPipeline::make(index({row(0), row(1), row(2)}).string(), output().string(), false);
  // Disc around (12, 2) of radius 2: the points (11, 1), (12, 2) and (13, 3) of tile 1. Tile 0's
  // extent ends at x = 10, exactly on the rim, so it is selected too (and contributes nothing).
  const geometry::cylinder::VerticalCylinder cylinder{12, 2, 2};
  const auto by_cylinder = pipeline.execute(cylinder);
  ASSERT_TRUE(by_cylinder) << by_cylinder.error().message();
  EXPECT_EQ(by_cylinder->tiles_processed, 2u);
  EXPECT_EQ(by_cylinder->points_read, 16u);
  EXPECT_EQ(by_cylinder->points_written, 3u);

  // Looking east along the diagonal from (0, 0, 0) within 45 degrees of elevation: the points
  // (1 + k, 1 + k, k) of tile 0 have azimuth 45 degrees.
  const auto frustum = geometry::frustum::Frustum::make(0, 0, 0, 40, -45, 50, 45, 0, 100);
  ASSERT_TRUE(frustum);
  const auto by_frustum = pipeline.execute(*frustum);
  ASSERT_TRUE(by_frustum) << by_frustum.error().message();
  EXPECT_EQ(by_frustum->points_written, 8u);
  for (const Written& w : read_output(output())) EXPECT_EQ(w.tile, 0);
}

TEST(ExtractionStats, SecondsAndNanos) {
  const struct {
    std::int64_t nanoseconds;
    std::uint64_t seconds;
    std::uint32_t nanos;
  } kCases[] = {
      {0, 0, 0},
      {999'999'999, 0, 999'999'999},
      {1'000'000'000, 1, 0},
      {2'500'000'000, 2, 500'000'000},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.nanoseconds);
    ExtractionStats stats;
    stats.elapsed_time = std::chrono::nanoseconds(c.nanoseconds);
    EXPECT_EQ(stats.seconds(), c.seconds);
    EXPECT_EQ(stats.subsec_nanos(), c.nanos);
  }
}

TEST(ParallelTiles, EveryIndexOnceAndFaultsRethrownAfterwards) {
  std::vector<std::atomic<int>> runs(100);
  detail::for_each_tile_in_parallel(runs.size(), [&](std::size_t i) { ++runs[i]; });
  for (const auto& r : runs) EXPECT_EQ(r.load(), 1);

  std::atomic<int> started{0};
  EXPECT_THROW(detail::for_each_tile_in_parallel(50,
                                                 [&](std::size_t i) {
                                                   ++started;
                                                   if (i == 7)
                                                     throw std::logic_error("broken invariant");
                                                 }),
               std::logic_error);
  EXPECT_GE(started.load(), 1);
  detail::for_each_tile_in_parallel(0, [](std::size_t) { FAIL(); });
}

// Collects the records of the logging facade for one test and restores it afterwards.
class LogCapture {
 public:
  explicit LogCapture(las::log::Level level) {
    las::log::set_sink([this](las::log::Level l, std::string_view target, std::string_view text) {
      std::lock_guard lock(mutex_);
      records_.push_back({l, std::string(target), std::string(text)});
    });
    las::log::set_max_level(level);
  }
  ~LogCapture() {
    las::log::set_max_level(las::log::Level::Off);
    las::log::set_sink({});
  }
  struct Record {
    las::log::Level level;
    std::string target;
    std::string text;
  };
  std::vector<Record> records() {
    std::lock_guard lock(mutex_);
    return records_;
  }
  bool has(las::log::Level level, const std::string& text) {
    for (const Record& r : records()) {
      if (r.level == level && r.text == text) return true;
    }
    return false;
  }

 private:
  std::mutex mutex_;
  std::vector<Record> records_;
};

TEST_F(PipelineTest, ProgressAndWarningRecords) {
  using las::log::Level;
  fs::remove(tile_path(1));
  const std::string index_path = index({row(0), row(1), row(2)}).string();
  const std::string missing = tile_path(1).string();
  const std::string open_failure =
      std::string("LAS/LAZ file error: ") + std::strerror(ENOENT) + " (os error 2)";
  {
    LogCapture log(Level::Trace);
    const auto stats =
        ExtractionPipeline::make(index_path, output().string(), true).execute(box_x(0, 30));
    ASSERT_TRUE(stats);
    for (const auto& r : log.records()) EXPECT_EQ(r.target, "quarrix_core::pipeline::executor");
    EXPECT_TRUE(log.has(Level::Info, "Opening tile index: " + quote_path(index_path)));
    EXPECT_TRUE(log.has(Level::Info, "Found 3 intersecting tiles"));
    EXPECT_TRUE(log.has(Level::Info, "Processing tile: " + quote_path(tile_path(2).string())));
    EXPECT_TRUE(
        log.has(Level::Warn, "Failed to open " + quote_path(missing) + ": " + open_failure));
    EXPECT_TRUE(
        log.has(Level::Info, "Tile " + quote_path(tile_path(0).string()) + ": 8 -> 8 points"));
    EXPECT_TRUE(log.has(Level::Info, "Total: read 16 points, writing 16 points"));
    EXPECT_TRUE(log.has(Level::Info, "Wrote output to: " + quote_path(output().string())));
    EXPECT_EQ(log.records().size(), 10u);
  }
  {
    // Not verbose: only the warnings.
    LogCapture log(Level::Trace);
    ASSERT_TRUE(ExtractionPipeline::make(index_path, output().string(), false)
                    .execute(BoundingBox{0, 30, 0, 10, 50.0, 60.0}));
    const auto records = log.records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_TRUE(
        log.has(Level::Warn, "Failed to open " + quote_path(missing) + ": " + open_failure));
    EXPECT_TRUE(log.has(Level::Warn, "No points to write!"));
  }
  {
    // Level Warn: verbose progress is not produced even when asked for.
    LogCapture log(Level::Warn);
    ASSERT_TRUE(
        ExtractionPipeline::make(index_path, output().string(), true).execute(box_x(0, 30)));
    for (const auto& r : log.records()) EXPECT_EQ(r.level, Level::Warn);
    EXPECT_EQ(log.records().size(), 1u);
  }
  {
    // The facade starts at Off: nothing at all.
    LogCapture log(Level::Off);
    ASSERT_TRUE(
        ExtractionPipeline::make(index_path, output().string(), true).execute(box_x(0, 30)));
    EXPECT_TRUE(log.records().empty());
  }
}

TEST_F(PipelineTest, TruncatedTileGivesReadWarning) {
  using las::log::Level;
  write_las(tile_path(1), tile_points(1), 227 + 20 * 3 + 7);
  LogCapture log(Level::Warn);
  ASSERT_TRUE(ExtractionPipeline::make(index({row(0), row(1)}).string(), output().string(), false)
                  .execute(box_x(0, 20)));
  const auto records = log.records();
  ASSERT_EQ(records.size(), 1u);
  const std::string prefix =
      "Failed to read points from " + quote_path(tile_path(1).string()) + ": LAS/LAZ file error: ";
  EXPECT_EQ(records[0].text.substr(0, prefix.size()), prefix) << records[0].text;
}

}  // namespace
}  // namespace quarrix_core::pipeline::executor
