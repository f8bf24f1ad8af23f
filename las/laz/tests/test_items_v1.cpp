// The version 1 point-wise items of LASzip 1.x files: the PDAL sample written by LASzip 1.2
// (compressor 1, one arithmetic stream after the raw first record) decodes to simple.las.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <random>
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
#include "sha256.hpp"

namespace laz::detail {
namespace {

const std::string kTestData = QUARRIX_TESTDATA_DIR;

std::vector<uint8_t> read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The value of a string field of an expected/*.json file (they are flat and machine-written).
std::string json_string(const std::string& json, const std::string& key) {
  const std::string needle = "\"" + key + "\": \"";
  const size_t start = json.find(needle);
  if (start == std::string::npos) return {};
  const size_t begin = start + needle.size();
  return json.substr(begin, json.find('"', begin) - begin);
}

std::string hex(const uint8_t* bytes, size_t size) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < size; ++i) {
    out.push_back(kHex[bytes[i] >> 4]);
    out.push_back(kHex[bytes[i] & 0xF]);
  }
  return out;
}

// What the test needs of a LAS header and its LASzip record.
struct LasFacts {
  uint32_t offset_to_point_data = 0;
  uint16_t record_length = 0;
  uint32_t point_count = 0;
  uint16_t compressor = 0xFFFF;
  std::vector<std::array<uint16_t, 3>> items;  // type, size, version
};

LasFacts read_las_facts(const std::vector<uint8_t>& file) {
  LasFacts facts;
  const uint16_t header_size = load_u16(&file[94]);
  facts.offset_to_point_data = load_u32(&file[96]);
  const uint32_t vlr_count = load_u32(&file[100]);
  facts.record_length = load_u16(&file[105]);
  facts.point_count = load_u32(&file[107]);
  size_t at = header_size;
  for (uint32_t vlr = 0; vlr < vlr_count && at + 54 <= file.size(); ++vlr) {
    const std::string user(reinterpret_cast<const char*>(&file[at + 2]), 14);
    const uint16_t record_id = load_u16(&file[at + 18]);
    const uint16_t length = load_u16(&file[at + 20]);
    const uint8_t* data = &file[at + 54];
    if (user == "laszip encoded" && record_id == 22204) {
      facts.compressor = load_u16(data);
      const uint16_t item_count = load_u16(data + 32);
      for (uint16_t i = 0; i < item_count; ++i) {
        const uint8_t* item = data + 34 + 6 * i;
        facts.items.push_back({load_u16(item), load_u16(item + 2), load_u16(item + 4)});
      }
    }
    at += 54 + size_t{length};
  }
  return facts;
}

TEST(ItemsV1, Laszip12PointwiseFileDecodesToSimpleLas) {
  const std::string laz_path = kTestData + "/simple-laszip-compressor-version-1.2r0.laz";
  const std::vector<uint8_t> file = read_file(laz_path);
  if (file.empty()) GTEST_SKIP() << "test data not found: " << laz_path;
  const std::string json = [&] {
    const auto bytes =
        read_file(kTestData + "/expected/simple-laszip-compressor-version-1.2r0.laz.json");
    return std::string(bytes.begin(), bytes.end());
  }();

  const LasFacts facts = read_las_facts(file);
  ASSERT_EQ(facts.compressor, 1) << "expected a LASzip 1.x point-wise file";
  const std::vector<std::array<uint16_t, 3>> kItems = {{6, 20, 1}, {7, 8, 1}, {8, 6, 1}};
  ASSERT_EQ(facts.items, kItems);
  ASSERT_EQ(facts.record_length, 34);
  ASSERT_EQ(facts.point_count, 1065U);

  // Compressor 1: the first record raw, then a single arithmetic stream for all others.
  const size_t record = facts.record_length;
  std::vector<uint8_t> points(record * facts.point_count);
  const uint8_t* start = &file[facts.offset_to_point_data];
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
  for (size_t index = 1; index < facts.point_count; ++index) {
    uint8_t* out = &points[index * record];
    point.decode(dec, out);
    gps_time.decode(dec, out + 20);
    rgb.decode(dec, out + 28);
  }
  EXPECT_FALSE(source.overrun);

  EXPECT_EQ(hex(&points[0], record), json_string(json, "first_record_hex"));
  EXPECT_EQ(hex(&points[points.size() - record], record), json_string(json, "last_record_hex"));
  EXPECT_EQ(test::sha256_hex(points), json_string(json, "sha256"));

  const std::vector<uint8_t> twin = read_file(kTestData + "/simple.las");
  if (!twin.empty()) {
    const LasFacts twin_facts = read_las_facts(twin);
    const std::vector<uint8_t> twin_points(twin.begin() + twin_facts.offset_to_point_data,
                                           twin.begin() + twin_facts.offset_to_point_data +
                                               static_cast<std::ptrdiff_t>(points.size()));
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
