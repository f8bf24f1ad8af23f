// The version 1 point-wise items of LASzip 1.x files: the PDAL sample written by LASzip 1.2
// (compressor 1, one arithmetic stream after the raw first record) decodes to simple.las.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "arithmetic_decoder.hpp"
#include "arithmetic_encoder.hpp"
#include "byte_streams.hpp"
#include "field_byte_v1.hpp"
#include "field_gpstime11_v1.hpp"
#include "field_point10_v1.hpp"
#include "field_rgb12_v1.hpp"
#include "integer_compressor.hpp"
#include "laz/vlr.hpp"
#include "laz_test_files.hpp"
#include "sha256.hpp"

namespace laz::detail {
namespace {

TEST(ItemsV1, Laszip12PointwiseFileDecodesToSimpleLas) {
  const std::string name = "simple-laszip-compressor-version-1.2r0.laz";
  const auto las = test::load_las(test::testdata_dir() / name);
  if (!las) GTEST_SKIP() << "test data not found: " << (test::testdata_dir() / name).string();
  const test::Expected want = test::load_expected(name);

  const auto vlr = test::parse_laszip_vlr(*las);
  ASSERT_TRUE(vlr.has_value()) << vlr.error().message;
  ASSERT_EQ(vlr->compressor, 1) << "expected a LASzip 1.x point-wise file";
  const std::vector<LazItem> kItems = {{6, 20, 1}, {7, 8, 1}, {8, 6, 1}};
  ASSERT_EQ(vlr->items, kItems);
  ASSERT_EQ(las->record_length, 34);
  ASSERT_EQ(las->point_count, 1065U);

  // Compressor 1: the first record raw, then a single arithmetic stream for all others.
  const size_t record = las->record_length;
  const size_t point_count = static_cast<size_t>(las->point_count);
  const std::vector<uint8_t>& file = las->bytes;
  std::vector<uint8_t> points(record * point_count);
  const uint8_t* start = &file[las->point_data_offset];
  std::copy_n(start, record, points.begin());
  MemorySource source{start + record, file.data() + file.size()};
  ArithmeticDecoder<MemorySource> dec(source);
  Point10V1Decoder point;
  GpsTime11V1Decoder gps_time;
  Rgb12V1Decoder rgb;
  point.init(&points[0]);
  gps_time.init(&points[20]);
  rgb.init(&points[28]);
  dec.init();
  for (size_t index = 1; index < point_count; ++index) {
    uint8_t* out = &points[index * record];
    point.decode(dec, out);
    gps_time.decode(dec, out + 20);
    rgb.decode(dec, out + 28);
  }
  EXPECT_FALSE(source.overrun);

  const std::span<const uint8_t> all(points);
  EXPECT_EQ(test::to_hex(all.first(record)), want.first_record_hex);
  EXPECT_EQ(test::to_hex(all.last(record)), want.last_record_hex);
  EXPECT_EQ(test::sha256_hex(points), want.sha256);

  const auto twin = test::load_las(test::testdata_dir() / "simple.las");
  if (twin) {
    const auto twin_start = twin->bytes.begin() + twin->point_data_offset;
    const std::vector<uint8_t> twin_points(twin_start,
                                           twin_start + static_cast<std::ptrdiff_t>(points.size()));
    EXPECT_TRUE(twin_points == points) << "records differ from simple.las";
  }
}

// BYTE v1 has no sample file: encode with the integer compressor exactly as the item is defined
// (one context per byte, predicted by the previous byte) and check that the decoder follows.
TEST(ItemsV1, ByteItemFollowsItsDefinition) {
  const struct {
    const char* name;
    uint16_t count;
    int spread;  // how far a byte moves between records
  } kCases[] = {
      {"one byte, still", 1, 0},
      {"one byte, small steps", 1, 3},
      {"seven bytes, any value", 7, 255},
      {"27 bytes, small steps", 27, 5},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    std::mt19937 random(c.count * 31U + static_cast<unsigned>(c.spread));
    constexpr size_t kRecords = 500;
    std::vector<uint8_t> records(kRecords * c.count);
    for (size_t i = 0; i < records.size(); ++i) {
      const uint8_t previous = i >= c.count ? records[i - c.count] : uint8_t{100};
      const int step =
          c.spread == 0 ? 0 : static_cast<int>(random() % (2U * c.spread + 1)) - c.spread;
      records[i] = static_cast<uint8_t>(previous + step);
    }

    std::vector<uint8_t> stream;
    VectorSink sink{&stream};
    ArithmeticEncoder<VectorSink> enc(sink);
    IntegerCompressor byte_ic(8, c.count);
    for (size_t r = 1; r < kRecords; ++r) {
      for (uint32_t b = 0; b < c.count; ++b) {
        byte_ic.compress(enc, records[(r - 1) * c.count + b], records[r * c.count + b], b);
      }
    }
    enc.done();

    MemorySource source{stream.data(), stream.data() + stream.size()};
    ArithmeticDecoder<MemorySource> dec(source);
    ByteV1Decoder decoder(c.count);
    decoder.init(records.data());
    dec.init();
    std::vector<uint8_t> decoded(records.size());
    std::copy_n(records.begin(), c.count, decoded.begin());
    for (size_t r = 1; r < kRecords; ++r) decoder.decode(dec, &decoded[r * c.count]);
    EXPECT_EQ(decoded, records);
    EXPECT_FALSE(source.overrun);
  }
}

// Garbage after the raw first record: the decoders stay inside their tables and the source
// reports reading past its end instead of touching memory beyond it.
TEST(ItemsV1, GarbageStreamIsBoundedAndFlagged) {
  const struct {
    const char* name;
    uint32_t seed;
    size_t stream_size;
  } kCases[] = {
      {"empty", 1, 0}, {"four bytes", 2, 4}, {"short noise", 3, 64}, {"long noise", 4, 4096}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    std::mt19937 random(c.seed);
    std::vector<uint8_t> stream(c.stream_size);
    for (auto& b : stream) b = static_cast<uint8_t>(random());
    std::array<uint8_t, 61> record{};  // POINT10 + GPSTIME11 + RGB12 + 27 extra bytes
    for (auto& b : record) b = static_cast<uint8_t>(random());

    MemorySource source{stream.data(), stream.data() + stream.size()};
    ArithmeticDecoder<MemorySource> dec(source);
    Point10V1Decoder point;
    GpsTime11V1Decoder gps_time;
    Rgb12V1Decoder rgb;
    ByteV1Decoder bytes(27);
    point.init(&record[0]);
    gps_time.init(&record[20]);
    rgb.init(&record[28]);
    bytes.init(&record[34]);
    dec.init();
    for (int index = 0; index < 2000; ++index) {
      point.decode(dec, &record[0]);
      gps_time.decode(dec, &record[20]);
      rgb.decode(dec, &record[28]);
      bytes.decode(dec, &record[34]);
    }
    EXPECT_TRUE(source.overrun);
  }
}

}  // namespace
}  // namespace laz::detail
