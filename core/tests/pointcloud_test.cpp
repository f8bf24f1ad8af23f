// The core's tile reader and output writer: error kinds and messages as users see them, and
// the output header rules on real tiles.
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "las/bytes.hpp"
#include "pointcloud/reader.hpp"
#include "pointcloud/writer.hpp"

namespace quarrix_core::pointcloud {
namespace {

namespace fs = std::filesystem;
using error::ErrorKind;

class TempDir {
 public:
  TempDir() {
    std::random_device rd;
    do {
      path_ = fs::temp_directory_path() / ("pointcloud_test_" + std::to_string(rd()));
    } while (!fs::create_directory(path_));
  }
  ~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  [[nodiscard]] std::string file(const std::string& name) const { return (path_ / name).string(); }
  [[nodiscard]] const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

std::vector<uint8_t> file_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

const fs::path kData(QUARRIX_TESTDATA_DIR);

#define REQUIRE_TESTDATA() \
  if (!fs::is_directory(kData)) GTEST_SKIP() << "shared test data not found at " << kData

las::Header small_header(las::Version version, uint8_t format) {
  las::Header h;
  h.version = version;
  h.point_format.id = format;
  h.transforms = las::Transforms{{0.01, 0.0}, {0.01, 0.0}, {0.01, 0.0}};
  return h;
}

// One batch of `n` format-`format` records on a 0.01 grid, return 1 of 1 unless told.
las::PointBuffer batch(uint8_t format, size_t n, uint8_t return_number = 1) {
  las::PointBuffer points(las::PointFormat{format, false, 0},
                          las::Transforms{{0.01, 0.0}, {0.01, 0.0}, {0.01, 0.0}});
  const size_t len = points.record_length();
  points.raw_mut().resize(n * len);
  std::fill(points.raw_mut().begin(), points.raw_mut().end(), uint8_t{0});
  for (size_t i = 0; i < n; ++i) {
    uint8_t* r = points.raw_mut().data() + i * len;
    las::store_le<int32_t>(r, static_cast<int32_t>(i * 100));
    r[14] = format >= 6 ? static_cast<uint8_t>(return_number | (return_number << 4))
                        : static_cast<uint8_t>(return_number | (7 << 3));
  }
  return points;
}

TEST(PointCloudReader, OpeningFailuresArePointCloudIo) {
  TempDir dir;
  const struct {
    std::string path;
    std::string message;
  } kCases[] = {
      {dir.file("missing.las"), "LAS/LAZ file error: No such file or directory (os error 2)"},
      {dir.path().string(), "LAS/LAZ file error: Is a directory (os error 21)"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.path);
    const auto reader = reader::PointCloudReader::open(c.path);
    ASSERT_FALSE(reader);
    EXPECT_EQ(reader.error().kind(), ErrorKind::PointCloudIO);
    EXPECT_EQ(reader.error().message(), c.message);
    ASSERT_NE(reader.error().cause(), nullptr);
    EXPECT_NE(reader.error().cause()->os_error(), 0);
  }
}

TEST(PointCloudReader, TruncatedTileFailsAsAWhole) {
  REQUIRE_TESTDATA();
  auto reader = reader::PointCloudReader::open((kData / "1.2-with-color-clipped.las").string());
  ASSERT_TRUE(reader) << reader.error().message();
  EXPECT_EQ(reader->header().number_of_points, 1065u);
  const auto points = reader->points();
  ASSERT_FALSE(points);
  EXPECT_EQ(points.error().kind(), ErrorKind::PointCloudIO);
  EXPECT_EQ(points.error().message(), "LAS/LAZ file error: failed to fill whole buffer");
}

TEST(PointCloudReader, PointsInFileOrderThenNone) {
  REQUIRE_TESTDATA();
  auto reader = reader::PointCloudReader::open((kData / "simple.laz").string());
  ASSERT_TRUE(reader) << reader.error().message();
  auto points = reader->points();
  ASSERT_TRUE(points) << points.error().message();
  ASSERT_EQ(points->size(), 1065u);
  const las::Header& h = reader->header();
  const las::Xyz first = points->xyz(0);
  EXPECT_EQ(first.x,
            static_cast<double>(las::load_le<int32_t>(points->record(0))) * h.transforms.x.scale +
                h.transforms.x.offset);
  auto again = reader->points();
  ASSERT_TRUE(again);
  EXPECT_TRUE(again->empty());
}

TEST(PointCloudWriter, DeriveHeaderFailureIsPointCloudIo) {
  const las::Header tile = small_header({1, 2}, 6);
  const auto header = writer::derive_output_header(tile);
  ASSERT_FALSE(header);
  EXPECT_EQ(header.error().kind(), ErrorKind::PointCloudIO);
  EXPECT_EQ(header.error().message(),
            "LAS/LAZ file error: version 1.2 does not support format point format 6");
}

TEST(PointCloudWriter, CreateFailuresAreOutputErrors) {
  TempDir dir;
  const struct {
    std::string path;
    std::string message;
  } kCases[] = {
      {dir.file("no/such/dir/out.las"),
       "Output file error: No such file or directory (os error 2)"},
      {dir.path().string(), "Output file error: Is a directory (os error 21)"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.path);
    const auto writer = writer::PointCloudWriter::create(c.path, small_header({1, 2}, 0));
    ASSERT_FALSE(writer);
    EXPECT_EQ(writer.error().kind(), ErrorKind::OutputError);
    EXPECT_EQ(writer.error().message(), c.message);
    EXPECT_EQ(writer.error().cause(), nullptr);
  }
}

TEST(PointCloudWriter, ColourPointIntoFormat1LeavesACompleteFile) {
  TempDir dir;
  const std::string path = dir.file("out.las");
  {
    auto writer = writer::PointCloudWriter::create(path, small_header({1, 2}, 1));
    ASSERT_TRUE(writer);
    const las::PointBuffer batches[] = {batch(1, 3), batch(3, 2)};
    const auto written = writer->write_points(batches);
    ASSERT_FALSE(written);
    EXPECT_EQ(written.error().kind(), ErrorKind::OutputError);
    EXPECT_EQ(
        written.error().message(),
        "Output file error: the attributes of the point format (point format 1) do not match the "
        "point: "
        "Point { x: 0.0, y: 0.0, z: 0.0, intensity: 0, return_number: 1, number_of_returns: 7, "
        "scan_direction: RightToLeft, is_edge_of_flight_line: false, classification: "
        "CreatedNeverClassified, "
        "is_synthetic: false, is_key_point: false, is_withheld: false, is_overlap: false, "
        "scanner_channel: 0, "
        "scan_angle: 0.0, user_data: 0, point_source_id: 0, gps_time: Some(0.0), "
        "color: Some(Color { red: 0, green: 0, blue: 0 }), waveform: None, nir: None, extra_bytes: "
        "[] }");
    // The writer is dropped here without close(), as the pipeline does after a failure.
  }
  auto reader = reader::PointCloudReader::open(path);
  ASSERT_TRUE(reader) << reader.error().message();
  EXPECT_EQ(reader->header().number_of_points, 3u);
  auto points = reader->points();
  ASSERT_TRUE(points);
  EXPECT_EQ(points->size(), 3u);
}

TEST(PointCloudWriter, ReturnSixInA12OutputFailsAtClose) {
  TempDir dir;
  auto writer = writer::PointCloudWriter::create(dir.file("out.las"), small_header({1, 2}, 0));
  ASSERT_TRUE(writer);
  const las::PointBuffer batches[] = {batch(0, 2, 6)};
  ASSERT_TRUE(writer->write_points(batches));
  const auto closed = writer->close();
  ASSERT_FALSE(closed);
  EXPECT_EQ(closed.error().kind(), ErrorKind::OutputError);
  EXPECT_EQ(closed.error().message(),
            "Output file error: invalid return number 6 for version Some(Version { major: 1, "
            "minor: 2 })");
}

TEST(PointCloudWriter, NineReturnsIntoFormat1) {
  TempDir dir;
  auto writer = writer::PointCloudWriter::create(dir.file("out.las"), small_header({1, 2}, 1));
  ASSERT_TRUE(writer);
  const las::PointBuffer batches[] = {batch(6, 1, 9)};
  const auto written = writer->write_points(batches);
  ASSERT_FALSE(written);
  EXPECT_EQ(written.error().message(),
            "Output file error: invalid return number 9 for version None");
}

// Output header rules on real first tiles: what is copied, what is recomputed, and how the
// output's name decides compression.
TEST(PointCloudWriter, OutputFromRealFirstTiles) {
  REQUIRE_TESTDATA();
  TempDir dir;
  const struct {
    const char* tile;
    const char* output;
    bool compressed;
  } kCases[] = {
      {"simple.laz", "a.las", false},         {"simple.laz", "b.LAZ", true},
      {"simple.las", "c.laz", true},          {"simple.las", "d.txt", false},
      {"simple.las", "noext", false},         {"point10-1.0.las", "e.las", false},
      {"autzen-bmx-2010.las", "f.laz", true}, {"test1_4.las", "g.Laz", true},
      {"simple1_3.las", "h.las", false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.tile) + " -> " + c.output);
    auto tile = reader::PointCloudReader::open((kData / c.tile).string());
    ASSERT_TRUE(tile) << tile.error().message();
    auto points = tile->points();
    ASSERT_TRUE(points) << points.error().message();
    auto header = writer::derive_output_header(tile->header());
    ASSERT_TRUE(header) << header.error().message();
    EXPECT_EQ(*header, tile->header());

    const std::string path = dir.file(c.output);
    {
      auto writer = writer::PointCloudWriter::create(path, *header);
      ASSERT_TRUE(writer) << writer.error().message();
      const las::PointBuffer batches[] = {std::move(*points)};
      ASSERT_TRUE(writer->write_points(batches));
      const auto closed = writer->close();
      ASSERT_TRUE(closed) << closed.error().message();
    }
    const auto bytes = file_bytes(path);
    EXPECT_EQ((bytes[104] & 0x80) != 0, c.compressed);

    auto out = reader::PointCloudReader::open(path);
    ASSERT_TRUE(out) << out.error().message();
    const las::Header& in_h = tile->header();
    const las::Header& out_h = out->header();
    EXPECT_EQ(out_h.version, in_h.version);
    EXPECT_EQ(out_h.point_format.id, in_h.point_format.id);
    EXPECT_EQ(out_h.point_format.compressed, c.compressed);
    EXPECT_EQ(out_h.transforms, in_h.transforms);
    EXPECT_EQ(out_h.system_identifier, in_h.system_identifier);
    EXPECT_EQ(out_h.generating_software, in_h.generating_software);
    EXPECT_EQ(out_h.guid, in_h.guid);
    EXPECT_EQ(out_h.file_source_id, in_h.file_source_id);
    EXPECT_EQ(out_h.creation_date, in_h.creation_date);
    EXPECT_EQ(out_h.number_of_points, in_h.number_of_points);
    if (!in_h.creation_date) {
      EXPECT_EQ(las::load_le<uint16_t>(bytes.data() + 90), 0);
      EXPECT_EQ(las::load_le<uint16_t>(bytes.data() + 92), 0);
    }

    // VLRs: the tile's, without LASzip records, plus one new LASzip record at the end when
    // compressed.
    std::vector<std::string> expected_ids;
    for (const las::Vlr& v : in_h.vlrs) {
      if (!v.is_laszip()) expected_ids.push_back(v.user_id);
    }
    if (c.compressed) expected_ids.push_back("laszip encoded");
    std::vector<std::string> ids;
    for (const las::Vlr& v : out_h.vlrs) ids.push_back(v.user_id);
    EXPECT_EQ(ids, expected_ids);
    if (c.compressed) {
      EXPECT_EQ(out_h.vlrs.back().record_id, 22204);
      EXPECT_EQ(out_h.vlrs.back().description, "https://laszip.org");
    }
    if (in_h.version == las::Version{1, 0}) {
      ASSERT_GE(out_h.vlr_padding.size(), 2u);
      EXPECT_EQ(out_h.vlr_padding[out_h.vlr_padding.size() - 2], 0xCC);
      EXPECT_EQ(out_h.vlr_padding.back(), 0xDD);
    }
  }
}

TEST(PointCloudWriter, VersionRaisedAtReadingCarriesToTheOutput) {
  TempDir dir;
  const std::string tile_path = dir.file("tile.las");
  {
    auto writer = writer::PointCloudWriter::create(tile_path, small_header({1, 2}, 1));
    ASSERT_TRUE(writer);
    ASSERT_TRUE(writer->close());
  }
  // Relabel the 1.2 tile as format 6 (record length 30): it reads as LAS 1.4.
  std::vector<uint8_t> bytes = file_bytes(tile_path);
  bytes[104] = 6;
  las::store_le<uint16_t>(bytes.data() + 105, 30);
  std::ofstream(tile_path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));

  auto tile = reader::PointCloudReader::open(tile_path);
  ASSERT_TRUE(tile) << tile.error().message();
  EXPECT_EQ(tile->header().version, (las::Version{1, 4}));
  auto header = writer::derive_output_header(tile->header());
  ASSERT_TRUE(header);
  const std::string out = dir.file("out.las");
  {
    auto writer = writer::PointCloudWriter::create(out, *header);
    ASSERT_TRUE(writer);
    const las::PointBuffer batches[] = {batch(6, 4)};
    ASSERT_TRUE(writer->write_points(batches));
    ASSERT_TRUE(writer->close());
  }
  const auto written = file_bytes(out);
  EXPECT_EQ(written[24], 1);
  EXPECT_EQ(written[25], 4);
  EXPECT_EQ(las::load_le<uint16_t>(written.data() + 94), 375);
}

}  // namespace
}  // namespace quarrix_core::pointcloud
