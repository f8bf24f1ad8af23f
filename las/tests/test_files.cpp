// Every LAS/LAZ file of the shared test data against the reference decoder's values: readable
// files give the same records and bounds, refused files are refused with one of our messages.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "las/reader.hpp"
#include "test_support.hpp"

namespace {

namespace fs = std::filesystem;

struct Case {
  fs::path file;
  std::string json;
};

// Every file with an expected-value record, of one kind (".las" or ".laz").
std::vector<Case> cases(const fs::path& dir, const std::string& extension) {
  std::vector<Case> out;
  for (const auto& entry : fs::directory_iterator(dir / "expected")) {
    std::string name = entry.path().filename().string();
    if (name.size() < 5 || name.substr(name.size() - 5) != ".json") continue;
    name.resize(name.size() - 5);
    if (name.size() < 4 || name.substr(name.size() - 4) != extension) continue;
    std::string relative;  // "a__b.las" names a/b.las
    for (size_t i = 0; i < name.size(); ++i) {
      if (name.compare(i, 2, "__") == 0) {
        relative += '/';
        ++i;
      } else {
        relative += name[i];
      }
    }
    const auto bytes = las_test::read_file(entry.path());
    out.push_back({dir / relative, std::string(bytes.begin(), bytes.end())});
  }
  std::sort(out.begin(), out.end(), [](const Case& a, const Case& b) { return a.file < b.file; });
  return out;
}

// Files the reference reads but that this reader refuses on purpose, by the header rules:
// bad_vlr_count.las counts more VLRs than lie before the point data (VLRs are read as
// counted). (1_4_w_evlr.* carry stray bytes after the generating software text; they read.)
const char* deliberate_refusal(const fs::path& file) {
  if (file.filename() == "bad_vlr_count.las") return "failed to fill whole buffer";
  return nullptr;
}

// Messages a refused file may produce (all from the reader's failure table).
bool is_reader_message(const std::string& message) {
  static const char* kPrefixes[] = {"failed to fill whole buffer",
                                    "laszip error: ",
                                    "offset to the point data is too small: ",
                                    "invalid format number: ",
                                    "the point data record length ",
                                    "offset to the start of the evlrs is too small: ",
                                    "laszip vlr not found"};
  return std::any_of(std::begin(kPrefixes), std::end(kPrefixes),
                     [&](const char* p) { return message.rfind(p, 0) == 0; });
}

void check_file(const Case& c) {
  SCOPED_TRACE(c.file.string());
  auto reader = las::Reader::open(c.file.string());
  auto points = reader ? reader->read_all()
                       : tl::expected<las::PointBuffer, las::Error>(tl::unexpect, reader.error());

  if (const char* message = deliberate_refusal(c.file)) {
    ASSERT_FALSE(points);
    EXPECT_EQ(points.error().message(), message);
    return;
  }
  if (las_test::json_value(c.json, "error")) {
    ASSERT_FALSE(points) << "the reference refuses this file";
    EXPECT_TRUE(is_reader_message(points.error().message())) << points.error().message();
    return;
  }
  ASSERT_TRUE(points) << points.error().message();
  const las::Header& header = reader->header();
  EXPECT_EQ(std::to_string(header.point_format.id), *las_test::json_value(c.json, "point_format"));
  EXPECT_EQ(std::to_string(header.point_format.record_length()),
            *las_test::json_value(c.json, "record_length"));
  EXPECT_EQ(std::to_string(points->size()), *las_test::json_value(c.json, "point_count"));
  EXPECT_EQ(las_test::sha256_hex(points->raw()), *las_test::json_value(c.json, "sha256"));
  EXPECT_GE(header.version.text(), *las_test::json_value(c.json, "version"));
  if (points->empty()) {
    EXPECT_EQ(*las_test::json_value(c.json, "min_x"), "null");
    return;
  }
  const size_t n = points->size();
  const size_t len = points->record_length();
  EXPECT_EQ(las_test::hex(points->raw().first(len)),
            *las_test::json_value(c.json, "first_record_hex"));
  EXPECT_EQ(las_test::hex(points->raw().last(len)),
            *las_test::json_value(c.json, "last_record_hex"));

  las::Bounds bounds;
  for (size_t i = 0; i < n; ++i) {
    const las::Xyz p = points->xyz(i);
    bounds.grow(p.x, p.y, p.z);
    // The fat decode agrees with the coordinate fast path.
    if (i % 97 == 0 || i + 1 == n) {
      const las::Point full = points->decode(i);
      ASSERT_EQ(full.x, p.x);
      ASSERT_EQ(full.y, p.y);
      ASSERT_EQ(full.z, p.z);
    }
  }
  const struct {
    const char* key;
    double value;
  } kBounds[] = {{"min_x", bounds.min.x}, {"max_x", bounds.max.x}, {"min_y", bounds.min.y},
                 {"max_y", bounds.max.y}, {"min_z", bounds.min.z}, {"max_z", bounds.max.z}};
  for (const auto& b : kBounds) {
    SCOPED_TRACE(b.key);
    EXPECT_EQ(b.value, std::strtod(las_test::json_value(c.json, b.key)->c_str(), nullptr));
  }
}

TEST(RealFiles, BrokenLaszipRecords) {
  const auto dir = las_test::testdata_dir();
  if (!dir) GTEST_SKIP() << "shared test data folder not found at " << QUARRIX_TESTDATA_DIR;
  const struct {
    const char* file;
    const char* message;
  } kCases[] = {
      {"broken_compressor.laz", "laszip error: Compressor type 16 is not valid"},
      {"broken_type.laz", "laszip error: Item with type code: 22 is unknown"},
      {"broken_version.laz",
       "laszip error: Item Point10 with compression version: 6 is not supported"},
      {"pasture/10_points_format_9.laz", "laszip error: Point format 9 is not supported"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.file);
    const auto reader = las::Reader::open((*dir / c.file).string());
    ASSERT_FALSE(reader);
    EXPECT_EQ(reader.error().message(), c.message);
  }
}

TEST(RealFiles, UncompressedFilesMatchTheReference) {
  const auto dir = las_test::testdata_dir();
  if (!dir) GTEST_SKIP() << "shared test data folder not found at " << QUARRIX_TESTDATA_DIR;
  const auto all = cases(*dir, ".las");
  ASSERT_GT(all.size(), 30u);
  for (const Case& c : all) check_file(c);
}

TEST(RealFiles, CompressedFilesMatchTheReference) {
  const auto dir = las_test::testdata_dir();
  if (!dir) GTEST_SKIP() << "shared test data folder not found at " << QUARRIX_TESTDATA_DIR;
  const auto all = cases(*dir, ".laz");
  ASSERT_GT(all.size(), 30u);
  for (const Case& c : all) check_file(c);
}

}  // namespace
