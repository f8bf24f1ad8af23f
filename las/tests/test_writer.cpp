// Writing: round trips through the reader for every format and version, the header rules of
// the output, the point encoding rules and the failures that reach users.
#include <cmath>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "las/bytes.hpp"
#include "las/reader.hpp"
#include "las/writer.hpp"
#include "test_support.hpp"

namespace {

las::Version lowest_version_for(uint8_t format) {
  if (format <= 1) return {1, 0};
  if (format <= 3) return {1, 2};
  if (format <= 5) return {1, 3};
  return {1, 4};
}

// A point with every field of `format` set from the generator; on the transforms' grid.
las::Point random_point(std::mt19937& rng, const las::PointFormat& format, const las::Transforms& t,
                        std::vector<uint8_t>& extra_storage, bool large_returns) {
  auto pick = [&](uint32_t n) { return static_cast<uint32_t>(rng() % n); };
  las::Point p;
  p.x = t.x.direct(static_cast<int32_t>(pick(200000)) - 100000);
  p.y = t.y.direct(static_cast<int32_t>(pick(200000)));
  p.z = t.z.direct(-static_cast<int32_t>(pick(5000)));
  p.intensity = static_cast<uint16_t>(pick(65536));
  const uint32_t max_return = large_returns ? 15 : 5;
  p.number_of_returns = static_cast<uint8_t>(1 + pick(max_return));
  p.return_number = static_cast<uint8_t>(1 + pick(p.number_of_returns));
  p.scan_direction = pick(2) ? las::ScanDirection::LeftToRight : las::ScanDirection::RightToLeft;
  p.is_edge_of_flight_line = pick(2);
  if (format.is_extended()) {
    p.classification = static_cast<uint8_t>(pick(256));
    if (p.classification == 12) p.classification = 13;
    p.scanner_channel = static_cast<uint8_t>(pick(4));
    p.scan_angle = static_cast<float>(static_cast<int>(pick(65536)) - 32768) * las::kScanAngleStep;
  } else {
    p.classification = static_cast<uint8_t>(pick(32));
    if (p.classification == 12) p.classification = 2;
    p.scan_angle = static_cast<float>(static_cast<int>(pick(256)) - 128);
  }
  p.is_overlap = pick(4) == 0;
  if (p.is_overlap) p.classification = 1;
  p.is_synthetic = pick(2);
  p.is_key_point = pick(2);
  p.is_withheld = pick(2);
  p.user_data = static_cast<uint8_t>(pick(256));
  p.point_source_id = static_cast<uint16_t>(pick(65536));
  if (format.has_gps_time()) p.gps_time = static_cast<double>(pick(1000000)) / 8.0;
  if (format.has_color()) {
    p.color = las::Color{static_cast<uint16_t>(pick(65536)), static_cast<uint16_t>(pick(65536)),
                         static_cast<uint16_t>(pick(65536))};
  }
  if (format.has_nir()) p.nir = static_cast<uint16_t>(pick(65536));
  if (format.has_waveform()) {
    p.waveform = las::Waveform{
        static_cast<uint8_t>(pick(256)), pick(1u << 30), pick(1u << 20), 0.5f, 1.25f, -2.0f, 3.5f};
  }
  const size_t start = extra_storage.size();
  for (size_t i = 0; i < format.extra_bytes; ++i)
    extra_storage.push_back(static_cast<uint8_t>(pick(256)));
  p.extra_bytes = std::span<const uint8_t>(extra_storage.data() + start, format.extra_bytes);
  return p;
}

void expect_same_point(const las::Point& a, const las::Point& b) {
  EXPECT_EQ(a.x, b.x);
  EXPECT_EQ(a.y, b.y);
  EXPECT_EQ(a.z, b.z);
  EXPECT_EQ(a.intensity, b.intensity);
  EXPECT_EQ(a.return_number, b.return_number);
  EXPECT_EQ(a.number_of_returns, b.number_of_returns);
  EXPECT_EQ(a.scan_direction, b.scan_direction);
  EXPECT_EQ(a.is_edge_of_flight_line, b.is_edge_of_flight_line);
  EXPECT_EQ(a.classification, b.classification);
  EXPECT_EQ(a.is_synthetic, b.is_synthetic);
  EXPECT_EQ(a.is_key_point, b.is_key_point);
  EXPECT_EQ(a.is_withheld, b.is_withheld);
  EXPECT_EQ(a.is_overlap, b.is_overlap);
  EXPECT_EQ(a.scanner_channel, b.scanner_channel);
  EXPECT_EQ(a.scan_angle, b.scan_angle);
  EXPECT_EQ(a.user_data, b.user_data);
  EXPECT_EQ(a.point_source_id, b.point_source_id);
  EXPECT_EQ(a.gps_time, b.gps_time);
  EXPECT_EQ(a.color, b.color);
  EXPECT_EQ(a.waveform, b.waveform);
  EXPECT_EQ(a.nir, b.nir);
  EXPECT_TRUE(std::equal(a.extra_bytes.begin(), a.extra_bytes.end(), b.extra_bytes.begin(),
                         b.extra_bytes.end()));
}

// The fields a written header must carry over from the header it was created from.
void expect_carried_over(const las::Header& written, const las::Header& read) {
  EXPECT_EQ(read.version, written.version);
  EXPECT_EQ(read.point_format.id, written.point_format.id);
  EXPECT_EQ(read.point_format.extra_bytes, written.point_format.extra_bytes);
  EXPECT_EQ(read.transforms, written.transforms);
  EXPECT_EQ(read.file_source_id, written.file_source_id);
  EXPECT_EQ(read.gps_time_type, written.gps_time_type);
  EXPECT_EQ(read.synthetic_return_numbers, written.synthetic_return_numbers);
  EXPECT_EQ(read.wkt, written.wkt || written.point_format.is_extended());
  EXPECT_EQ(read.guid, written.guid);
  EXPECT_EQ(read.system_identifier, written.system_identifier);
  EXPECT_EQ(read.generating_software, written.generating_software);
  EXPECT_EQ(read.creation_date, written.creation_date);
  ASSERT_EQ(read.vlrs.size(), written.vlrs.size());
  for (size_t i = 0; i < read.vlrs.size(); ++i) {
    EXPECT_EQ(read.vlrs[i].user_id, written.vlrs[i].user_id);
    EXPECT_EQ(read.vlrs[i].record_id, written.vlrs[i].record_id);
    EXPECT_EQ(read.vlrs[i].description, written.vlrs[i].description);
    EXPECT_EQ(read.vlrs[i].data, written.vlrs[i].data);
  }
  ASSERT_EQ(read.evlrs.size(), written.evlrs.size());
  for (size_t i = 0; i < read.evlrs.size(); ++i) {
    EXPECT_EQ(read.evlrs[i].user_id, written.evlrs[i].user_id);
    EXPECT_EQ(read.evlrs[i].data, written.evlrs[i].data);
  }
  EXPECT_EQ(read.header_padding, written.header_padding);
  EXPECT_EQ(read.vlr_padding, written.vlr_padding);
  EXPECT_EQ(read.point_padding, written.point_padding);
}

struct RoundTripCase {
  uint8_t format;
  las::Version version;
  uint16_t extra_bytes;
  bool evlrs;
};

std::vector<RoundTripCase> round_trip_cases() {
  std::vector<RoundTripCase> out;
  for (uint8_t format = 0; format <= 10; ++format) {
    for (las::Version v = lowest_version_for(format); v <= las::Version{1, 4}; ++v.minor) {
      for (uint16_t extra : {0, 3}) out.push_back({format, v, extra, false});
    }
    out.push_back({format, {1, 4}, 5, true});
  }
  return out;
}

TEST(RoundTrip, EveryFormatAndVersion) {
  las_test::TempDir dir;
  for (const RoundTripCase& c : round_trip_cases()) {
    SCOPED_TRACE(fmt::format("format {} version {} extra {} evlrs {}", c.format, c.version.text(),
                             c.extra_bytes, c.evlrs));
    las::Header header;
    header.version = c.version;
    header.point_format = las::PointFormat{c.format, false, c.extra_bytes};
    header.transforms = las::Transforms{{0.01, 1000.0}, {0.001, -50.0}, {0.25, 0.0}};
    header.file_source_id = c.version >= las::Version{1, 1} ? 17 : 0;
    header.gps_time_type =
        c.version >= las::Version{1, 2} ? las::GpsTimeType::Standard : las::GpsTimeType::Week;
    header.synthetic_return_numbers = c.version >= las::Version{1, 3};
    header.guid = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    header.system_identifier = "round trip";
    header.generating_software = "quarrix las tests";
    header.creation_date = las::CreationDate{45, 2019};
    header.vlrs.push_back(
        las::Vlr{"LASF_Projection", 34735, "GeoKeyDirectoryTag", {1, 1, 0, 0}, {}, {}});
    header.vlrs.push_back(las::Vlr{"empty", 1, "", {}, {}, {}});
    header.header_padding = {0xAA, 0xBB};
    header.vlr_padding = {0, 0, 0xCC, 0xDD};
    if (c.evlrs) {
      header.evlrs.push_back(
          las::Vlr{"evlr", 9, "big record", std::vector<uint8_t>(70000, 0x11), {}, {}});
      header.evlrs.push_back(las::Vlr{"evlr", 10, "small", {1, 2, 3}, {}, {}});
      header.point_padding = {0x77, 0x66, 0x55};
    }
    ASSERT_TRUE(las::validate_and_normalise(header));

    std::mt19937 rng(c.format * 100u + c.version.minor);
    std::vector<uint8_t> extra_storage;
    extra_storage.reserve(200 * c.extra_bytes);
    std::vector<las::Point> points;
    for (int i = 0; i < 200; ++i) {
      points.push_back(random_point(rng, header.point_format, header.transforms, extra_storage,
                                    header.point_format.is_extended()));
    }

    const std::string first = dir.file("first.las");
    {
      auto writer = las::Writer::create(first, header);
      ASSERT_TRUE(writer) << writer.error().message();
      for (const las::Point& p : points) ASSERT_TRUE(writer->write(p));
      const auto closed = writer->close();
      ASSERT_TRUE(closed) << closed.error().message();
    }
    auto reader = las::Reader::open(first);
    ASSERT_TRUE(reader) << reader.error().message();
    auto read = reader->read_all();
    ASSERT_TRUE(read) << read.error().message();
    ASSERT_EQ(read->size(), points.size());
    for (size_t i = 0; i < points.size(); ++i) expect_same_point(read->decode(i), points[i]);

    const las::Header& h = reader->header();
    expect_carried_over(header, h);
    EXPECT_EQ(h.number_of_points, points.size());
    std::map<uint8_t, uint64_t> by_return;
    las::Bounds bounds;
    for (const las::Point& p : points) {
      ++by_return[p.return_number];
      bounds.grow(p.x, p.y, p.z);
    }
    // Read back, the legacy counts (returns 1 to 5) win whenever one is non-zero; a 1.4 file
    // also holds all fifteen in its 64-bit counts.
    std::map<uint8_t, uint64_t> legacy_returns(by_return.begin(), by_return.upper_bound(5));
    EXPECT_EQ(h.number_of_points_by_return, legacy_returns);
    if (c.version == las::Version{1, 4}) {
      const auto bytes = las_test::read_file(first);
      EXPECT_EQ(las::load_le<uint64_t>(bytes.data() + 247), points.size());
      for (uint8_t r = 1; r <= 15; ++r) {
        const uint64_t stored = las::load_le<uint64_t>(bytes.data() + 255 + 8 * (r - 1));
        EXPECT_EQ(stored, by_return.count(r) ? by_return[r] : 0u) << int{r};
      }
    }
    EXPECT_EQ(h.bounds, *las::widen_to_grid(bounds, header.transforms));

    // Second leg: records copied as they are, and records encoded from decoded points, give
    // the same file.
    const std::string copied = dir.file("copied.las");
    const std::string encoded = dir.file("encoded.las");
    {
      auto writer = las::Writer::create(copied, h);
      ASSERT_TRUE(writer);
      ASSERT_TRUE(writer->write_buffer(*read));
      ASSERT_TRUE(writer->close());
      auto slow = las::Writer::create(encoded, h);
      ASSERT_TRUE(slow);
      for (size_t i = 0; i < read->size(); ++i) ASSERT_TRUE(slow->write(read->decode(i)));
      ASSERT_TRUE(slow->close());
    }
    EXPECT_EQ(las_test::read_file(copied), las_test::read_file(first));
    EXPECT_EQ(las_test::read_file(encoded), las_test::read_file(first));
  }
}

las::Header simple_header(las::Version version, uint8_t format) {
  las::Header h;
  h.version = version;
  h.point_format.id = format;
  h.transforms = las::Transforms{{0.01, 0.0}, {0.01, 0.0}, {0.01, 0.0}};
  return h;
}

las::Point simple_point(const las::PointFormat& format, double x) {
  las::Point p;
  p.x = x;
  p.y = 2.0;
  p.z = 3.0;
  p.return_number = 1;
  p.number_of_returns = 1;
  if (format.has_gps_time()) p.gps_time = 1.0;
  if (format.has_color()) p.color = las::Color{};
  if (format.has_nir()) p.nir = 0;
  if (format.has_waveform()) p.waveform = las::Waveform{};
  return p;
}

TEST(Writer, CompressionFollowsTheExtension) {
  const struct {
    const char* path;
    bool compressed;
  } kCases[] = {
      {"out.laz", true},      {"out.LAZ", true},   {"out.Laz", true},         {"dir/a.b.laz", true},
      {"..laz", true},        {"out.las", false},  {"out.txt", false},        {"out", false},
      {".laz", false},        {"dir/.laz", false}, {"out.laz.las", false},    {"out.lazy", false},
      {"dir.laz/out", false}, {"out.laz/", true},  {"out.l\xC3\xA1z", false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(las::path_wants_compression(c.path), c.compressed);
  }
}

TEST(Writer, CreateFailures) {
  las_test::TempDir dir;
  const struct {
    std::string path;
    std::function<void(las::Header&)> change;
    const char* message;
  } kCases[] = {
      {dir.file("missing/out.las"), {}, "No such file or directory (os error 2)"},
      {dir.path().string(), {}, "Is a directory (os error 21)"},
      {dir.file("a.las"), [](las::Header& h) { h.system_identifier = std::string(33, 's'); },
       "string is too long for a slice of length 32: sssssssssssssssssssssssssssssssss"},
      {dir.file("b.las"),
       [](las::Header& h) {
         h.vlrs.push_back(las::Vlr{std::string(17, 'u'), 1, "", {}, {}, {}});
       },
       "string is too long for a slice of length 16: uuuuuuuuuuuuuuuuu"},
      {dir.file("c.las"),
       [](las::Header& h) {
         h.vlrs.push_back(las::Vlr{"u", 1, std::string(33, 'd'), {}, {}, {}});
       },
       "string is too long for a slice of length 32: ddddddddddddddddddddddddddddddddd"},
      {dir.file("d.las"), [](las::Header& h) { h.header_padding.resize(65536 - 227); },
       "the header is too large (65536 bytes) to convert to a raw header"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.message);
    las::Header h = simple_header({1, 2}, 0);
    if (c.change) c.change(h);
    const auto writer = las::Writer::create(c.path, h);
    ASSERT_FALSE(writer);
    EXPECT_EQ(writer.error().message(), c.message);
  }
}

TEST(Writer, SinglePointBoundsOnTheGrid) {
  las_test::TempDir dir;
  const std::string path = dir.file("one.las");
  las::Header h = simple_header({1, 2}, 0);
  {
    auto writer = las::Writer::create(path, h);
    ASSERT_TRUE(writer);
    ASSERT_TRUE(writer->write(simple_point(h.point_format, 1.234)));
    ASSERT_TRUE(writer->close());
  }
  auto reader = las::Reader::open(path);
  ASSERT_TRUE(reader);
  auto points = reader->read_all();
  ASSERT_TRUE(points);
  EXPECT_EQ(las::load_le<int32_t>(points->record(0)), 123);
  EXPECT_EQ(reader->header().bounds.min.x, 1.23);
  EXPECT_EQ(reader->header().bounds.max.x, 1.24);
}

TEST(Writer, MixedScalesAreRequantised) {
  las_test::TempDir dir;
  // The second tile's points go onto the first tile's 0.01 grid, halves away from zero.
  las::Header first = simple_header({1, 2}, 1);
  las::PointBuffer other(first.point_format,
                         las::Transforms{{0.001, 0.0}, {0.001, 0.0}, {0.001, 0.0}});
  const int32_t stored[] = {1235, -1235, 1234, 1236, 2147483, -5};
  for (int32_t x : stored) {
    std::vector<uint8_t> record(28, 0);
    las::store_le<int32_t>(record.data(), x);
    record[14] = 1 | (1 << 3);
    other.raw_mut().insert(other.raw_mut().end(), record.begin(), record.end());
  }
  const std::string path = dir.file("mixed.las");
  {
    auto writer = las::Writer::create(path, first);
    ASSERT_TRUE(writer);
    ASSERT_TRUE(writer->write_buffer(other));
    ASSERT_TRUE(writer->close());
  }
  auto reader = las::Reader::open(path);
  auto points = reader->read_all();
  ASSERT_TRUE(points);
  const int32_t expected[] = {124, -124, 123, 124, 214748, -1};
  for (size_t i = 0; i < std::size(expected); ++i) {
    EXPECT_EQ(las::load_le<int32_t>(points->record(i)), expected[i]) << i;
  }
}

TEST(Writer, TransformFailure) {
  las_test::TempDir dir;
  auto writer = las::Writer::create(dir.file("far.las"), simple_header({1, 2}, 0));
  ASSERT_TRUE(writer);
  const auto result = writer->write(simple_point(las::PointFormat{0, false, 0}, 1e9));
  ASSERT_FALSE(result);
  EXPECT_EQ(result.error().message(),
            "the transform `0.01 * x + 0` cannot be inversely applied to 100000000000");
}

TEST(Writer, ColourPointIntoFormat1) {
  las_test::TempDir dir;
  const std::string path = dir.file("mismatch.las");
  las::Header h = simple_header({1, 2}, 1);
  {
    auto writer = las::Writer::create(path, h);
    ASSERT_TRUE(writer);
    ASSERT_TRUE(writer->write(simple_point(h.point_format, 1.0)));
    ASSERT_TRUE(writer->write(simple_point(h.point_format, 2.0)));
    las::Point coloured = simple_point(las::PointFormat{3, false, 0}, 1.5);
    coloured.color = las::Color{1, 2, 3};
    coloured.gps_time = 1.25;
    coloured.scan_angle = -3.0f;
    coloured.classification = 2;
    coloured.intensity = 40;
    const auto failed = writer->write(coloured);
    ASSERT_FALSE(failed);
    EXPECT_EQ(failed.error().message(),
              "the attributes of the point format (point format 1) do not match the point: Point { "
              "x: 1.5, y: 2.0, z: 3.0, "
              "intensity: 40, return_number: 1, number_of_returns: 1, scan_direction: RightToLeft, "
              "is_edge_of_flight_line: false, classification: Ground, is_synthetic: false, "
              "is_key_point: false, "
              "is_withheld: false, is_overlap: false, scanner_channel: 0, scan_angle: -3.0, "
              "user_data: 0, "
              "point_source_id: 0, gps_time: Some(1.25), color: Some(Color { red: 1, green: 2, "
              "blue: 3 }), "
              "waveform: None, nir: None, extra_bytes: [] }");
    // Discarded without close(): the destructor finalises the file.
  }
  auto reader = las::Reader::open(path);
  ASSERT_TRUE(reader) << reader.error().message();
  EXPECT_EQ(reader->header().number_of_points, 2u);
  auto points = reader->read_all();
  ASSERT_TRUE(points);
  EXPECT_EQ(points->size(), 2u);
  EXPECT_EQ(reader->header().bounds.max.x, 2.0);
}

TEST(Writer, PointRendering) {
  las::Point p;
  p.x = 1e16;
  p.y = -0.00001;
  p.z = 0.0;
  p.scan_direction = las::ScanDirection::LeftToRight;
  p.is_edge_of_flight_line = true;
  p.classification = 200;
  p.waveform = las::Waveform{1, 2, 3, 4.5f, 0.0f, -1.0f, 1e-5f};
  p.nir = 9;
  const uint8_t extra[] = {1, 255};
  p.extra_bytes = extra;
  EXPECT_EQ(
      las::point_text(p),
      "Point { x: 1e16, y: -1e-5, z: 0.0, intensity: 0, return_number: 0, number_of_returns: 0, "
      "scan_direction: LeftToRight, is_edge_of_flight_line: true, classification: "
      "UserDefinable(200), "
      "is_synthetic: false, is_key_point: false, is_withheld: false, is_overlap: false, "
      "scanner_channel: 0, "
      "scan_angle: 0.0, user_data: 0, point_source_id: 0, gps_time: None, color: None, waveform: "
      "Some(Waveform { wave_packet_descriptor_index: 1, byte_offset_to_waveform_data: 2, "
      "waveform_packet_size_in_bytes: 3, return_point_waveform_location: 4.5, x_t: 0.0, y_t: -1.0, "
      "z_t: 1e-5 }), "
      "nir: Some(9), extra_bytes: [1, 255] }");
  const struct {
    uint8_t code;
    const char* name;
  } kClasses[] = {{0, "CreatedNeverClassified"}, {1, "Unclassified"},  {11, "RoadSurface"},
                  {12, "Reserved(12)"},          {13, "WireGuard"},    {18, "HighNoise"},
                  {19, "Reserved(19)"},          {63, "Reserved(63)"}, {64, "UserDefinable(64)"}};
  for (const auto& c : kClasses) {
    las::Point q;
    q.classification = c.code;
    EXPECT_NE(las::point_text(q).find(std::string("classification: ") + c.name + ","),
              std::string::npos)
        << c.name;
  }
}

TEST(Writer, ReturnNumberSixInA12OutputFailsAtClose) {
  las_test::TempDir dir;
  const std::string path = dir.file("returns.las");
  las::Header h = simple_header({1, 2}, 0);
  auto writer = las::Writer::create(path, h);
  ASSERT_TRUE(writer);
  las::Point p = simple_point(h.point_format, 1.0);
  p.return_number = 6;
  p.number_of_returns = 7;
  ASSERT_TRUE(writer->write(p));
  const auto closed = writer->close();
  ASSERT_FALSE(closed);
  EXPECT_EQ(closed.error().message(),
            "invalid return number 6 for version Some(Version { major: 1, minor: 2 })");
}

TEST(Writer, ReturnFieldLimits) {
  las_test::TempDir dir;
  const struct {
    uint8_t format;
    uint8_t return_number;
    uint8_t number_of_returns;
    uint8_t classification;
    uint8_t channel;
    const char* message;
  } kCases[] = {
      {1, 1, 9, 1, 0, "invalid return number 9 for version None"},
      {1, 8, 8, 1, 0, "invalid return number 8 for version None"},
      {1, 1, 1, 32, 0, "invalid classification: 32"},
      {1, 1, 1, 1, 1, "invalid scanner channel: 1"},
      {6, 16, 16, 1, 0, "invalid return number 16 for version None"},
      {6, 1, 1, 1, 4, "invalid scanner channel: 4"},
      {6, 15, 15, 255, 3, ""},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.message);
    las::Header h = simple_header({1, 4}, c.format);
    auto writer = las::Writer::create(dir.file("limits.las"), h);
    ASSERT_TRUE(writer);
    las::Point p = simple_point(h.point_format, 1.0);
    p.return_number = c.return_number;
    p.number_of_returns = c.number_of_returns;
    p.classification = c.classification;
    p.scanner_channel = c.channel;
    const auto result = writer->write(p);
    if (*c.message == '\0') {
      EXPECT_TRUE(result);
    } else {
      ASSERT_FALSE(result);
      EXPECT_EQ(result.error().message(), c.message);
    }
  }
}

TEST(Writer, Format6PointWithNineReturnsIntoFormat1) {
  las_test::TempDir dir;
  // A decoded format-6 record: return 2 of 9.
  las::PointBuffer tile(las::PointFormat{6, false, 0}, las::Transforms{});
  std::vector<uint8_t> record(30, 0);
  record[14] = 2 | (9 << 4);
  tile.raw_mut().insert(tile.raw_mut().end(), record.begin(), record.end());
  auto writer = las::Writer::create(dir.file("nine.las"), simple_header({1, 2}, 1));
  ASSERT_TRUE(writer);
  const auto result = writer->write_buffer(tile);
  ASSERT_FALSE(result);
  EXPECT_EQ(result.error().message(), "invalid return number 9 for version None");
}

TEST(Writer, ScanAngles) {
  const las::PointFormat extended{6, false, 0};
  const las::PointFormat legacy{1, false, 0};
  std::vector<uint8_t> in(
      80, 0);  // roomy: the decoder's optional fields are not visible to the compiler
  std::vector<uint8_t> out(80, 0);
  // Every stored 16-bit value survives a decode and encode.
  for (int v = -32768; v <= 32767; ++v) {
    las::store_le<int16_t>(in.data() + 18, static_cast<int16_t>(v));
    const las::Point p = las::decode_record(in.data(), extended, las::Transforms{});
    ASSERT_TRUE(las::encode_record(p, extended, las::Transforms{}, out.data()));
    ASSERT_EQ(las::load_le<int16_t>(out.data() + 18), v);
  }
  // Every legacy rank too.
  std::vector<uint8_t> legacy_in(80, 0);
  std::vector<uint8_t> legacy_out(80, 0);
  for (int v = -128; v <= 127; ++v) {
    legacy_in[16] = static_cast<uint8_t>(static_cast<int8_t>(v));
    const las::Point p = las::decode_record(legacy_in.data(), legacy, las::Transforms{});
    ASSERT_TRUE(las::encode_record(p, legacy, las::Transforms{}, legacy_out.data()));
    ASSERT_EQ(static_cast<int8_t>(legacy_out[16]), v);
  }
  const struct {
    float degrees;
    const las::PointFormat* format;
    int stored;
  } kCases[] = {
      {10.0f, &extended, 1667},    {-10.0f, &extended, -1667},    {3.0f * 0.006f, &extended, 3},
      {1000.0f, &extended, 32767}, {-1000.0f, &extended, -32768}, {10.0f, &legacy, 10},
      {179.0f, &legacy, 127},      {-179.0f, &legacy, -128},      {0.5f, &legacy, 0},
      {0.7f, &legacy, 1},          {std::nanf(""), &extended, 0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.degrees);
    las::Point p;
    p.return_number = 1;
    p.number_of_returns = 1;
    p.gps_time = 0.0;
    p.scan_angle = c.degrees;
    ASSERT_TRUE(las::encode_record(p, *c.format, las::Transforms{}, out.data()));
    const int stored = c.format->is_extended() ? las::load_le<int16_t>(out.data() + 18)
                                               : static_cast<int8_t>(out[16]);
    EXPECT_EQ(stored, c.stored);
  }
}

TEST(Writer, OverlapClassIsWrittenPerFamily) {
  const struct {
    uint8_t format;
    uint8_t class_byte_in;
    uint8_t class_byte_out;
    uint8_t flags_out;
  } kCases[] = {{0, 12, 12, 0}, {6, 12, 1, 0x08}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(int{c.format});
    const las::PointFormat f{c.format, false, 0};
    std::vector<uint8_t> in(f.record_length(), 0);
    std::vector<uint8_t> out(f.record_length(), 0);
    in[f.is_extended() ? 16 : 15] = c.class_byte_in;
    const las::Point p = las::decode_record(in.data(), f, las::Transforms{});
    ASSERT_TRUE(las::encode_record(p, f, las::Transforms{}, out.data()));
    EXPECT_EQ(out[f.is_extended() ? 16 : 15], c.class_byte_out);
    if (f.is_extended()) {
      EXPECT_EQ(out[15], c.flags_out);
    }

    // The copying path gives the same bytes.
    las_test::TempDir dir;
    las::PointBuffer buffer(f, las::Transforms{});
    buffer.raw_mut().insert(buffer.raw_mut().end(), in.begin(), in.end());
    const std::string path = dir.file("overlap.las");
    {
      auto writer = las::Writer::create(path, simple_header({1, 4}, c.format));
      ASSERT_TRUE(writer);
      ASSERT_TRUE(writer->write_buffer(buffer));
      ASSERT_TRUE(writer->close());
    }
    auto reader = las::Reader::open(path);
    auto points = reader->read_all();
    ASSERT_TRUE(points);
    EXPECT_TRUE(std::equal(out.begin(), out.end(), points->record(0)));
  }
}

TEST(Writer, Version10PaddingEndsWithCcDd) {
  las_test::TempDir dir;
  las::Header h = simple_header({1, 0}, 0);
  ASSERT_TRUE(las::validate_and_normalise(h));
  const std::string path = dir.file("v10.las");
  {
    auto writer = las::Writer::create(path, h);
    ASSERT_TRUE(writer);
    ASSERT_TRUE(writer->write(simple_point(h.point_format, 1.0)));
    ASSERT_TRUE(writer->close());
  }
  const auto bytes = las_test::read_file(path);
  const uint32_t offset = las::load_le<uint32_t>(bytes.data() + 96);
  EXPECT_EQ(offset, 229u);
  EXPECT_EQ(bytes[227], 0xCC);
  EXPECT_EQ(bytes[228], 0xDD);
  auto reader = las::Reader::open(path);
  ASSERT_TRUE(reader);
  EXPECT_EQ(reader->header().vlr_padding, (std::vector<uint8_t>{0xCC, 0xDD}));
}

TEST(Writer, DiscardedWriterLeavesACompleteFile) {
  las_test::TempDir dir;
  const std::string path = dir.file("discarded.las");
  las::Header h = simple_header({1, 4}, 6);
  h.evlrs.push_back(las::Vlr{"evlr", 1, "kept", {4, 5, 6}, {}, {}});
  {
    auto writer = las::Writer::create(path, h);
    ASSERT_TRUE(writer);
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(writer->write(simple_point(h.point_format, i)));
  }
  auto reader = las::Reader::open(path);
  ASSERT_TRUE(reader) << reader.error().message();
  EXPECT_EQ(reader->header().number_of_points, 5u);
  EXPECT_EQ(reader->header().number_of_points_by_return, (std::map<uint8_t, uint64_t>{{1, 5}}));
  ASSERT_EQ(reader->header().evlrs.size(), 1u);
  EXPECT_EQ(reader->header().evlrs[0].data, (std::vector<uint8_t>{4, 5, 6}));
  auto points = reader->read_all();
  ASSERT_TRUE(points);
  EXPECT_EQ(points->size(), 5u);
}

TEST(Writer, ReturnNumberZeroIsNotCounted) {
  las_test::TempDir dir;
  const std::string path = dir.file("zero.las");
  las::Header h = simple_header({1, 2}, 0);
  {
    auto writer = las::Writer::create(path, h);
    ASSERT_TRUE(writer);
    las::Point p = simple_point(h.point_format, 1.0);
    p.return_number = 0;
    ASSERT_TRUE(writer->write(p));
    ASSERT_TRUE(writer->close());
  }
  auto reader = las::Reader::open(path);
  ASSERT_TRUE(reader);
  EXPECT_EQ(reader->header().number_of_points, 1u);
  EXPECT_TRUE(reader->header().number_of_points_by_return.empty());
}

TEST(Writer, NoPointsKeepsResetBounds) {
  las_test::TempDir dir;
  const std::string path = dir.file("nothing.las");
  {
    auto writer = las::Writer::create(path, simple_header({1, 2}, 0));
    ASSERT_TRUE(writer);
    ASSERT_TRUE(writer->close());
  }
  auto reader = las::Reader::open(path);
  ASSERT_TRUE(reader);
  EXPECT_EQ(reader->header().bounds.min.x, std::numeric_limits<double>::infinity());
  EXPECT_EQ(reader->header().bounds.max.x, -std::numeric_limits<double>::infinity());
}

// ---------------------------------------------------------------- real files

// Writes a tile's records under its header to `path` and closes the file.
void write_all(const std::string& path, const las::Header& header, const las::PointBuffer& points) {
  auto writer = las::Writer::create(path, header);
  ASSERT_TRUE(writer) << writer.error().message();
  ASSERT_TRUE(writer->write_buffer(points));
  const auto closed = writer->close();
  ASSERT_TRUE(closed) << closed.error().message();
}

TEST(RealFileWrites, Simple13WritesBackUnchanged) {
  const auto data = las_test::testdata_dir();
  if (!data) GTEST_SKIP() << "shared test data folder not found at " << QUARRIX_TESTDATA_DIR;
  las_test::TempDir dir;
  const auto original = las_test::read_file(*data / "simple1_3.las");
  auto reader = las::Reader::open((*data / "simple1_3.las").string());
  ASSERT_TRUE(reader) << reader.error().message();
  // Its VLR fields hold stray bytes after the zero: the texts are longer than the fields.
  bool long_text = false;
  for (const las::Vlr& vlr : reader->header().vlrs)
    long_text = long_text || vlr.description.size() > 32 || vlr.user_id.size() > 16;
  EXPECT_TRUE(long_text);
  auto points = reader->read_all();
  ASSERT_TRUE(points);
  const std::string path = dir.file("simple1_3.las");
  ASSERT_NO_FATAL_FAILURE(write_all(path, reader->header(), *points));
  const auto written = las_test::read_file(path);
  // Same VLRs byte for byte (all but the reserved field, which we write as 0), same records.
  const uint32_t offset = las::load_le<uint32_t>(original.data() + 96);
  ASSERT_EQ(las::load_le<uint32_t>(written.data() + 96), offset);
  size_t position = las::load_le<uint16_t>(original.data() + 94);
  for (size_t i = 0; i < reader->header().vlrs.size(); ++i) {
    const size_t length = 54 + las::load_le<uint16_t>(original.data() + position + 20);
    EXPECT_TRUE(std::equal(original.begin() + static_cast<long>(position) + 2,
                           original.begin() + static_cast<long>(position + length),
                           written.begin() + static_cast<long>(position) + 2))
        << "vlr " << i;
    position += length;
  }
  const size_t records = points->raw().size();
  ASSERT_EQ(written.size(), offset + records);
  EXPECT_TRUE(std::equal(original.begin() + offset,
                         original.begin() + static_cast<long>(offset + records),
                         written.begin() + offset));

  // A changed text is written from the text (and must fit).
  las::Header changed = reader->header();
  changed.vlrs[0].description = "new description";
  const std::string changed_path = dir.file("changed.las");
  {
    auto writer = las::Writer::create(changed_path, changed);
    ASSERT_TRUE(writer) << writer.error().message();
    ASSERT_TRUE(writer->close());
  }
  auto again = las::Reader::open(changed_path);
  ASSERT_TRUE(again);
  EXPECT_EQ(again->header().vlrs[0].description, "new description");
  EXPECT_EQ(again->header().vlrs[1].description, reader->header().vlrs[1].description);
}

TEST(RealFileWrites, LaszipRecordOnlyInCompressedOutput) {
  const auto data = las_test::testdata_dir();
  if (!data) GTEST_SKIP() << "shared test data folder not found at " << QUARRIX_TESTDATA_DIR;
  las_test::TempDir dir;
  auto reader = las::Reader::open((*data / "point-time.las.laz").string());
  ASSERT_TRUE(reader) << reader.error().message();
  auto points = reader->read_all();
  ASSERT_TRUE(points);
  const auto count_laszip = [](const las::Header& h) {
    return std::count_if(h.vlrs.begin(), h.vlrs.end(),
                         [](const las::Vlr& v) { return v.is_laszip(); });
  };
  ASSERT_EQ(count_laszip(reader->header()), 1);

  const struct {
    const char* name;
    bool compressed;
  } kCases[] = {{"out.las", false}, {"out.laz", true}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.file(c.name);
    ASSERT_NO_FATAL_FAILURE(write_all(path, reader->header(), *points));
    auto back = las::Reader::open(path);
    ASSERT_TRUE(back) << back.error().message();
    EXPECT_EQ(back->header().point_format.compressed, c.compressed);
    EXPECT_EQ(count_laszip(back->header()), c.compressed ? 1 : 0);
    if (c.compressed) {
      EXPECT_TRUE(back->header().vlrs.back().is_laszip());
    }
    EXPECT_EQ(back->header().vlrs.size() - static_cast<size_t>(count_laszip(back->header())),
              reader->header().vlrs.size() - 1);
    auto back_points = back->read_all();
    ASSERT_TRUE(back_points) << back_points.error().message();
    EXPECT_TRUE(std::equal(points->raw().begin(), points->raw().end(), back_points->raw().begin(),
                           back_points->raw().end()));
  }
}

// Compressed outputs of the golden inputs hold the reference compressor's point data.
TEST(RealFileWrites, CompressedOutputMatchesTheReferenceCompressor) {
  const auto data = las_test::testdata_dir();
  if (!data) GTEST_SKIP() << "shared test data folder not found at " << QUARRIX_TESTDATA_DIR;
  const struct {
    const char* input;
    const char* golden;
  } kCases[] = {
      {"point10.las", "golden/point10.golden.laz"},
      {"point-time.las", "golden/point-time.golden.laz"},
      {"simple.las", "golden/simple.golden.laz"},
      {"autzen_trim.las", "golden/autzen_trim.golden.laz"},
      {"extrabytes.las", "golden/extrabytes.golden.laz"},
      {"test1_4.las", "golden/test1_4.golden.laz"},
      {"5points_14.las", "golden/5points_14.golden.laz"},
      {"autzen-bmx-2010.las", "golden/autzen-bmx-2010.golden.laz"},
      {"pasture/10_points_format_8.las", "golden/10_points_format_8.golden.laz"},
  };
  las_test::TempDir dir;
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.input);
    auto reader = las::Reader::open((*data / c.input).string());
    ASSERT_TRUE(reader) << reader.error().message();
    auto points = reader->read_all();
    ASSERT_TRUE(points);
    const std::string path = dir.file("out.laz");
    ASSERT_NO_FATAL_FAILURE(write_all(path, reader->header(), *points));
    const auto ours = las_test::read_file(path);
    const auto golden = las_test::read_file(*data / c.golden);
    const uint32_t our_offset = las::load_le<uint32_t>(ours.data() + 96);
    const uint32_t golden_offset = las::load_le<uint32_t>(golden.data() + 96);
    const uint64_t our_table = las::load_le<uint64_t>(ours.data() + our_offset) - our_offset;
    const uint64_t golden_table =
        las::load_le<uint64_t>(golden.data() + golden_offset) - golden_offset;
    EXPECT_EQ(our_table, golden_table);
    EXPECT_EQ(ours.size() - our_offset, golden.size() - golden_offset);
    EXPECT_TRUE(std::equal(ours.begin() + our_offset + 8, ours.end(),
                           golden.begin() + golden_offset + 8, golden.end()));
  }
}

}  // namespace

namespace {

TEST(Writer, FullDiskIsAnOsError) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full on this system";
  las::Header h = simple_header({1, 2}, 0);
  auto writer = las::Writer::create("/dev/full", h);
  ASSERT_TRUE(writer) << writer.error().message();  // the header is still in the write buffer
  las::Result<void> result;
  for (int i = 0; i < 1000 && result; ++i) result = writer->write(simple_point(h.point_format, i));
  ASSERT_FALSE(result);
  EXPECT_EQ(result.error().message(), "No space left on device (os error 28)");
  const auto closed = writer->close();
  ASSERT_FALSE(closed);
  EXPECT_EQ(closed.error().message(), "No space left on device (os error 28)");
}

}  // namespace
