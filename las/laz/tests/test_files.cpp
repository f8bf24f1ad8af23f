// Every LASzip-compressed file of the shared test data decodes to exactly the records the
// reference decoder gives (sha256, first and last record), and every file the reference refuses
// is refused.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "laz/decompressor.hpp"
#include "laz/vlr.hpp"
#include "laz_test_files.hpp"
#include "sha256.hpp"

namespace laz {
namespace {

// Decodes a whole file as the LAS layer does: LASzip record, checks, then all points.
Result<std::vector<uint8_t>> decode_file(const test::LasFile& f) {
  auto vlr = test::parse_laszip_vlr(f);
  if (!vlr) return tl::unexpected(vlr.error());
  if (auto r = vlr->validate(f.point_format(), f.record_length); !r)
    return tl::unexpected(r.error());
  test::SpanInput input(f.bytes);
  auto dec = Decompressor::open(*vlr, input, f.point_data_offset, f.point_count, f.record_length);
  if (!dec) return tl::unexpected(dec.error());
  std::vector<uint8_t> points(static_cast<size_t>(f.point_count) * f.record_length);
  // In uneven batches, so that batches straddle chunk boundaries.
  size_t done = 0;
  size_t batch = 1;
  while (done < f.point_count) {
    const size_t n = std::min<size_t>(batch, static_cast<size_t>(f.point_count) - done);
    if (auto r = dec->decompress(points.data() + done * f.record_length, n); !r) {
      return tl::unexpected(r.error());
    }
    done += n;
    batch = batch * 3 + 7;
  }
  return points;
}

class CompressedFile : public testing::TestWithParam<std::string> {};

TEST_P(CompressedFile, DecodesLikeTheReference) {
  if (GetParam().empty()) GTEST_SKIP() << "test data folder not found at " << test::testdata_dir();
  const auto f = test::load_las(test::testdata_dir() / GetParam());
  ASSERT_TRUE(f.has_value());
  const test::Expected want = test::load_expected(GetParam());
  const auto got = decode_file(*f);
  if (!want.error.empty()) {
    EXPECT_FALSE(got.has_value()) << "the reference refuses it: " << want.error;
    if (!got) RecordProperty("error", got.error().message);
    return;
  }
  ASSERT_TRUE(got.has_value()) << (got ? std::string() : got.error().message);
  ASSERT_EQ(f->point_count, want.point_count);
  EXPECT_EQ(test::sha256_hex(*got), want.sha256);
  if (f->point_count > 0) {
    const std::span<const uint8_t> all(*got);
    EXPECT_EQ(test::to_hex(all.first(f->record_length)), want.first_record_hex);
    EXPECT_EQ(test::to_hex(all.last(f->record_length)), want.last_record_hex);
  }
}

std::vector<std::string> compressed_files() {
  auto names = test::testdata_files(true);
  if (names.empty()) names.emplace_back();  // one skipped case when the data is absent
  return names;
}

std::string case_name(const testing::TestParamInfo<std::string>& info) {
  std::string name = info.param.empty() ? "no_testdata" : info.param;
  for (char& c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return name;
}

INSTANTIATE_TEST_SUITE_P(TestData, CompressedFile, testing::ValuesIn(compressed_files()),
                         case_name);

// The refusals carry the texts the LAS layer shows after "laszip error: ".
TEST(RefusedFiles, SayWhy) {
  if (!test::have_testdata()) GTEST_SKIP() << "test data folder not found";
  const struct {
    const char* file;
    const char* message;
  } kCases[] = {
      {"broken_coder.laz", "Compressor type PointWise with coder 15 is not supported"},
      {"broken_compressor.laz", "Compressor type 16 is not valid"},
      {"broken_type.laz", "Item with type code: 22 is unknown"},
      {"broken_version.laz", "Item Point10 with compression version: 6 is not supported"},
      {"pasture/10_points_format_9.laz", "Point format 9 is not supported"},
      {"pasture/10_points_format_10.laz", "Point format 10 is not supported"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.file);
    const auto f = test::load_las(test::testdata_dir() / c.file);
    ASSERT_TRUE(f.has_value());
    const auto got = decode_file(*f);
    ASSERT_FALSE(got.has_value());
    EXPECT_EQ(got.error().kind, Error::Kind::Laszip);
    EXPECT_EQ(got.error().message, c.message);
  }
}

}  // namespace
}  // namespace laz
