// Compression is bit-exact with the reference: the LAS inputs of golden/ compressed with the
// description we write give the reference's point-data bytes, from the chunk table offset
// through the chunk table.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "byte_streams.hpp"
#include "laz/compressor.hpp"
#include "laz/vlr.hpp"
#include "laz_test_files.hpp"

namespace laz {
namespace {

constexpr std::array<uint16_t, 11> kStandardRecordLength = {20, 28, 26, 34, 57, 63,
                                                            30, 36, 38, 59, 67};

TEST(Golden, CompressionMatchesTheReferenceByteForByte) {
  if (!test::have_testdata()) GTEST_SKIP() << "test data folder not found";
  const struct {
    const char* golden;
    const char* input;
  } kCases[] = {
      {"golden/point10.golden.laz", "point10.las"},
      {"golden/point-time.golden.laz", "point-time.las"},
      {"golden/1.2_2.golden.laz", "liblas/1.2_2.las"},
      {"golden/simple.golden.laz", "simple.las"},
      {"golden/autzen_trim.golden.laz", "autzen_trim.las"},
      {"golden/extrabytes.golden.laz", "extrabytes.las"},
      {"golden/test1_4.golden.laz", "test1_4.las"},
      {"golden/5points_14.golden.laz", "5points_14.las"},
      {"golden/autzen-bmx-2010.golden.laz", "autzen-bmx-2010.las"},
      {"golden/10_points_format_0.golden.laz", "pasture/10_points_format_0.las"},
      {"golden/10_points_format_1.golden.laz", "pasture/10_points_format_1.las"},
      {"golden/10_points_format_2.golden.laz", "pasture/10_points_format_2.las"},
      {"golden/10_points_format_3.golden.laz", "pasture/10_points_format_3.las"},
      {"golden/10_points_format_4.golden.laz", "pasture/10_points_format_4.las"},
      {"golden/10_points_format_5.golden.laz", "pasture/10_points_format_5.las"},
      {"golden/10_points_format_6.golden.laz", "pasture/10_points_format_6.las"},
      {"golden/10_points_format_7.golden.laz", "pasture/10_points_format_7.las"},
      {"golden/10_points_format_8.golden.laz", "pasture/10_points_format_8.las"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.golden);
    const auto input = test::load_las(test::testdata_dir() / c.input);
    const auto golden = test::load_las(test::testdata_dir() / c.golden);
    ASSERT_TRUE(input && golden);
    const uint8_t format = input->point_format();
    ASSERT_LE(format, 10);
    const auto extra = static_cast<uint16_t>(input->record_length - kStandardRecordLength[format]);
    const LazVlr vlr = LazVlr::for_point_format(format, extra);
    ASSERT_TRUE(vlr.validate(format, input->record_length));
    // The description we write is the one the reference wrote, apart from its version.
    const auto theirs = test::parse_laszip_vlr(*golden);
    ASSERT_TRUE(theirs.has_value());
    EXPECT_EQ(theirs->items, vlr.items);
    EXPECT_EQ(theirs->compressor, vlr.compressor);
    EXPECT_EQ(theirs->chunk_size, vlr.chunk_size);

    test::VectorOutput out;
    auto compressor = Compressor::create(vlr, out);
    ASSERT_TRUE(compressor.has_value());
    const auto points = input->raw_points();
    for (size_t i = 0; i < input->point_count; ++i) {
      ASSERT_TRUE(compressor->compress(points.data() + i * input->record_length));
    }
    ASSERT_TRUE(compressor->finish());

    const std::vector<uint8_t>& ours = out.bytes();
    const std::span<const uint8_t> reference =
        std::span<const uint8_t>(golden->bytes).subspan(golden->point_data_offset);
    ASSERT_GE(ours.size(), 8u);
    ASSERT_GE(reference.size(), 8u);
    // The offset is absolute in the reference file and relative to the start here.
    EXPECT_EQ(detail::load_i64(ours.data()),
              detail::load_i64(reference.data()) - static_cast<int64_t>(golden->point_data_offset));
    ASSERT_EQ(ours.size(), reference.size());
    size_t first_difference = ours.size();
    for (size_t i = 8; i < ours.size(); ++i) {
      if (ours[i] != reference[i]) {
        first_difference = i;
        break;
      }
    }
    EXPECT_EQ(first_difference, ours.size()) << "first differing byte of " << ours.size();
  }
}

}  // namespace
}  // namespace laz
