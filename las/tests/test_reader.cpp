// Opening files: every failure message of the reader on tiny files built here, the version
// raise with its warning record, and the decoding of point records.
#include <sys/stat.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "las/bytes.hpp"
#include "las/log.hpp"
#include "las/reader.hpp"
#include "las/writer.hpp"
#include "test_support.hpp"

namespace {

// A small valid file: `points` format-0/1/6 records with return number 1, on a 0.01 grid.
std::vector<uint8_t> small_file(const las_test::TempDir& dir, las::Version version, uint8_t format,
                                size_t points = 3,
                                const std::function<void(las::Header&)>& change = {},
                                const char* name = "fixture.las") {
  las::Header header;
  header.version = version;
  header.point_format.id = format;
  header.transforms = las::Transforms{{0.01, 0.0}, {0.01, 0.0}, {0.01, 0.0}};
  header.system_identifier = "test";
  header.generating_software = "las tests";
  if (change) change(header);
  const std::string path = dir.file(name);
  {
    auto writer = las::Writer::create(path, header);
    EXPECT_TRUE(writer) << writer.error().message();
    for (size_t i = 0; i < points; ++i) {
      las::Point p;
      p.x = static_cast<double>(i);
      p.y = 2.0 * static_cast<double>(i);
      p.z = -1.5;
      p.return_number = 1;
      p.number_of_returns = 1;
      if (header.point_format.has_gps_time()) p.gps_time = 10.0 + static_cast<double>(i);
      if (header.point_format.has_color()) p.color = las::Color{1, 2, 3};
      if (header.point_format.has_nir()) p.nir = 4;
      if (header.point_format.has_waveform()) p.waveform = las::Waveform{};
      std::vector<uint8_t> extra(header.point_format.extra_bytes, 0x5A);
      p.extra_bytes = extra;
      EXPECT_TRUE(writer->write(p));
    }
    EXPECT_TRUE(writer->close());
  }
  return las_test::read_file(path);
}

template <class T>
void patch(std::vector<uint8_t>& bytes, size_t offset, T value) {
  las::store_le<T>(bytes.data() + offset, value);
}

las::Result<las::PointBuffer> open_and_read(const std::string& path) {
  auto reader = las::Reader::open(path);
  if (!reader) return tl::unexpected(reader.error());
  return reader->read_all();
}

// Header block offsets used below.
constexpr size_t kFileSourceId = 4;
constexpr size_t kGlobalEncoding = 6;
constexpr size_t kVersionMinor = 25;
constexpr size_t kSystemIdentifier = 26;
constexpr size_t kGeneratingSoftware = 58;
constexpr size_t kHeaderSize = 94;
constexpr size_t kOffsetToPoints = 96;
constexpr size_t kFormat = 104;
constexpr size_t kRecordLength = 105;
constexpr size_t kPointCount = 107;
constexpr size_t kStartOfFirstEvlr = 235;

TEST(Reader, OperatingSystemErrors) {
  las_test::TempDir dir;
  const struct {
    std::string path;
    const char* message;
  } kCases[] = {
      {dir.file("missing.las"), "No such file or directory (os error 2)"},
      {dir.path().string(), "Is a directory (os error 21)"},
      {dir.file("missing/inside.las"), "No such file or directory (os error 2)"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.path);
    const auto reader = las::Reader::open(c.path);
    ASSERT_FALSE(reader);
    EXPECT_EQ(reader.error().message(), c.message);
  }
}

TEST(Reader, BrokenHeaders) {
  las_test::TempDir dir;
  const std::vector<uint8_t> valid = small_file(dir, {1, 2}, 1);
  const struct {
    const char* name;
    std::function<void(std::vector<uint8_t>&)> change;
    std::string message;
  } kCases[] = {
      {"zip file", [](auto& b) { b = {'P', 'K', 3, 4, 20, 0, 0, 0}; },
       "the file signature is not 'LASF': [80, 75, 3, 4]"},
      {"empty file", [](auto& b) { b.clear(); }, "failed to fill whole buffer"},
      {"ends in the header", [](auto& b) { b.resize(100); }, "failed to fill whole buffer"},
      {"format 11", [](auto& b) { b[kFormat] = 11; }, "invalid format number: 11"},
      {"format 127", [](auto& b) { b[kFormat] = 127; }, "invalid format number: 127"},
      {"record too short", [](auto& b) { patch<uint16_t>(b, kRecordLength, 27); },
       "the point data record length 27 is too small for format point format 1"},
      {"generating software not utf-8", [](auto& b) { b[kGeneratingSoftware + 1] = 0xC3; },
       "invalid utf-8 sequence of 1 bytes from index 1"},
      {"generating software truncated utf-8", [](auto& b) { b[kGeneratingSoftware + 8] = 0xE2; },
       "incomplete utf-8 byte sequence from index 8"},
      {"generating software not ascii",
       [](auto& b) {
         b[kGeneratingSoftware + 1] = 0xC3;
         b[kGeneratingSoftware + 2] = 0xA9;
       },
       "this string is not ascii: l\xC3\xA9 tests"},
      {"offset to points too small", [](auto& b) { patch<uint32_t>(b, kOffsetToPoints, 200); },
       "offset to the point data is too small: 200"},
      {"fewer records than counted", [](auto& b) { b.resize(b.size() - 1); },
       "failed to fill whole buffer"},
      {"count far beyond the file", [](auto& b) { patch<uint32_t>(b, kPointCount, 4000000000u); },
       "failed to fill whole buffer"},
      {"vlr count beyond the file", [](auto& b) { patch<uint32_t>(b, 100, 1069128089u); },
       "failed to fill whole buffer"},
      {"version 1.5 with file source id",
       [](auto& b) {
         b[kVersionMinor] = 5;
         patch<uint16_t>(b, kFileSourceId, 3);
       },
       "failed to fill whole buffer"},
      {"version 1.1 with standard gps time",
       [](auto& b) {
         b[kVersionMinor] = 1;
         patch<uint16_t>(b, kGlobalEncoding, 1);
       },
       ""},
      {"compressed without laszip record", [](auto& b) { b[kFormat] = 0x81; },
       "laszip vlr not found"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> bytes = valid;
    c.change(bytes);
    const std::string path = dir.file("broken.las");
    las_test::write_file(path, bytes);
    const auto points = open_and_read(path);
    if (c.message.empty()) {
      EXPECT_TRUE(points) << points.error().message();
    } else {
      ASSERT_FALSE(points);
      EXPECT_EQ(points.error().message(), c.message);
    }
  }
}

TEST(Reader, VersionsThatHoldNothing) {
  las_test::TempDir dir;
  // A 1.4-sized block relabelled 1.5 and 2.0: the version is never lowered, so validation fails.
  std::vector<uint8_t> bytes = small_file(dir, {1, 4}, 1);
  const struct {
    uint8_t major;
    uint8_t minor;
    uint16_t file_source_id;
    const char* message;
  } kCases[] = {
      {1, 5, 0, "version 1.5 does not support format point format 1"},
      {2, 0, 0, "version 2.0 does not support format point format 1"},
      {1, 5, 9, "feature FileSourceId is not supported by version 1.5"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.message);
    std::vector<uint8_t> b = bytes;
    b[24] = c.major;
    b[25] = c.minor;
    patch<uint16_t>(b, kFileSourceId, c.file_source_id);
    const std::string path = dir.file("version.las");
    las_test::write_file(path, b);
    const auto reader = las::Reader::open(path);
    ASSERT_FALSE(reader);
    EXPECT_EQ(reader.error().message(), c.message);
  }
}

TEST(Reader, EvlrsBeforeTheEndOfThePoints) {
  las_test::TempDir dir;
  std::vector<uint8_t> bytes = small_file(dir, {1, 4}, 6, 3, [](las::Header& h) {
    h.evlrs.push_back(las::Vlr{"evlr", 7, "after the points", {1, 2, 3}, {}, {}});
  });
  const uint64_t start = las::load_le<uint64_t>(bytes.data() + kStartOfFirstEvlr);
  patch<uint64_t>(bytes, kStartOfFirstEvlr, start - 1);
  const std::string path = dir.file("evlr.las");
  las_test::write_file(path, bytes);
  const auto reader = las::Reader::open(path);
  ASSERT_FALSE(reader);
  EXPECT_EQ(reader.error().message(),
            "offset to the start of the evlrs is too small: " + std::to_string(start - 1));
}

TEST(Reader, VersionRaiseLogsAWarning) {
  las_test::TempDir dir;
  // Written as 1.4 format 6, then relabelled 1.2 (keeping the 375-byte block would change
  // the layout, so relabel a 1.2 file's format instead).
  std::vector<uint8_t> bytes = small_file(dir, {1, 2}, 1, 0);
  bytes[kFormat] = 6;
  patch<uint16_t>(bytes, kRecordLength, 30);
  const std::string path = dir.file("raise.las");
  las_test::write_file(path, bytes);

  std::vector<std::string> records;
  las::log::set_sink([&](las::log::Level level, std::string_view target, std::string_view message) {
    records.push_back(std::string(las::log::level_name(level)) + " " + std::string(target) + " " +
                      std::string(message));
  });
  las::log::set_max_level(las::log::Level::Warn);
  const auto reader = las::Reader::open(path);
  las::log::set_max_level(las::log::Level::Off);
  las::log::set_sink({});

  ASSERT_TRUE(reader) << reader.error().message();
  EXPECT_EQ(reader->header().version, (las::Version{1, 4}));
  EXPECT_TRUE(reader->header().wkt);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0], "WARN las::reader upgrading las version to 1.4 (from 1.2)");
}

TEST(Reader, HeaderFieldsAndPaddings) {
  las_test::TempDir dir;
  std::vector<uint8_t> bytes = small_file(dir, {1, 3}, 1, 2, [](las::Header& h) {
    h.header_padding = {1, 2, 3};
    h.vlr_padding = {9, 8};
    h.file_source_id = 42;
    h.gps_time_type = las::GpsTimeType::Standard;
    h.synthetic_return_numbers = true;
    h.guid[0] = 0xAB;
    h.creation_date = las::CreationDate{200, 2020};
    h.vlrs.push_back(las::Vlr{"user", 5, "desc", {7, 7}, {}, {}});
  });
  const std::string path = dir.file("fields.las");
  las_test::write_file(path, bytes);
  const auto reader = las::Reader::open(path);
  ASSERT_TRUE(reader) << reader.error().message();
  const las::Header& h = reader->header();
  EXPECT_EQ(h.version, (las::Version{1, 3}));
  EXPECT_EQ(h.header_padding, (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(h.vlr_padding, (std::vector<uint8_t>{9, 8}));
  EXPECT_EQ(h.file_source_id, 42);
  EXPECT_EQ(h.gps_time_type, las::GpsTimeType::Standard);
  EXPECT_TRUE(h.synthetic_return_numbers);
  EXPECT_EQ(h.guid[0], 0xAB);
  EXPECT_EQ(h.creation_date, (las::CreationDate{200, 2020}));
  EXPECT_EQ(h.system_identifier, "test");
  EXPECT_EQ(h.generating_software, "las tests");
  ASSERT_EQ(h.vlrs.size(), 1u);
  EXPECT_EQ(h.vlrs[0].user_id, "user");
  EXPECT_EQ(h.vlrs[0].description, "desc");
  EXPECT_EQ(h.number_of_points, 2u);
  EXPECT_EQ(h.number_of_points_by_return, (std::map<uint8_t, uint64_t>{{1, 2}}));
  EXPECT_EQ(h.bounds.min.x, 0.0);
  EXPECT_EQ(h.bounds.max.y, 2.0);

  // A day of year of 0 is no date.
  patch<uint16_t>(bytes, 90, 0);
  las_test::write_file(path, bytes);
  const auto no_date = las::Reader::open(path);
  ASSERT_TRUE(no_date);
  EXPECT_EQ(no_date->header().creation_date, std::nullopt);
}

// Some writers leave stray bytes after the zero that ends the system identifier or the
// generating software (1_4_w_evlr.las holds "pylas\0 Mapper"). The text is what precedes the
// zero, the tile reads, and an output whose text was not changed gets the field back as stored.
TEST(Reader, StrayBytesAfterHeaderTexts) {
  las_test::TempDir dir;
  std::vector<uint8_t> bytes = small_file(dir, {1, 2}, 1);
  bytes[kSystemIdentifier + 10] = 'x';
  bytes[kGeneratingSoftware + 20] = 'y';
  const std::string path = dir.file("stray.las");
  las_test::write_file(path, bytes);
  auto reader = las::Reader::open(path);
  ASSERT_TRUE(reader) << reader.error().message();
  EXPECT_EQ(reader->header().system_identifier, "test");
  EXPECT_EQ(reader->header().generating_software, "las tests");
  ASSERT_TRUE(reader->read_all());

  const struct {
    const char* name;
    std::function<void(las::Header&)> change;
    bool system_identifier_kept, generating_software_kept;
  } kCases[] = {
      {"texts unchanged", [](las::Header&) {}, true, true},
      {"generating software replaced", [](las::Header& h) { h.generating_software = "other"; },
       true, false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    las::Header header = reader->header();
    c.change(header);
    const std::string out = dir.file("copy.las");
    {
      auto writer = las::Writer::create(out, header);
      ASSERT_TRUE(writer) << writer.error().message();
      ASSERT_TRUE(writer->close());
    }
    const std::vector<uint8_t> written = las_test::read_file(out);
    const auto field = [](const std::vector<uint8_t>& b, size_t at) {
      return std::vector<uint8_t>(b.begin() + static_cast<long>(at),
                                  b.begin() + static_cast<long>(at) + 32);
    };
    EXPECT_EQ(field(written, kSystemIdentifier) == field(bytes, kSystemIdentifier),
              c.system_identifier_kept);
    EXPECT_EQ(field(written, kGeneratingSoftware) == field(bytes, kGeneratingSoftware),
              c.generating_software_kept);
    auto reread = las::Reader::open(out);
    ASSERT_TRUE(reread) << reread.error().message();
    EXPECT_EQ(reread->header().generating_software, header.generating_software);
  }
}

TEST(Reader, EmptyTileAndSecondRead) {
  las_test::TempDir dir;
  const std::string path = dir.file("empty.las");
  las_test::write_file(path, small_file(dir, {1, 2}, 0, 0));
  auto reader = las::Reader::open(path);
  ASSERT_TRUE(reader);
  auto points = reader->read_all();
  ASSERT_TRUE(points);
  EXPECT_TRUE(points->empty());

  las_test::write_file(path, small_file(dir, {1, 2}, 0, 4));
  reader = las::Reader::open(path);
  ASSERT_TRUE(reader);
  points = reader->read_all();
  ASSERT_TRUE(points);
  EXPECT_EQ(points->size(), 4u);
  points = reader->read_all();
  ASSERT_TRUE(points);
  EXPECT_EQ(points->size(), 0u);
}

// A compressed tile cannot be checked against its size before decoding (its points may
// compress far below their record size), so a count it does not hold must end in an error as
// the decoder runs out of data, having reserved no more than a small multiple of the file.
TEST(Reader, CompressedCountsThatLie) {
  las_test::TempDir dir;
  const std::vector<uint8_t> valid = small_file(dir, {1, 2}, 1, 1000, {}, "fixture.laz");
  const struct {
    uint32_t count;
    const char* message;  // empty: reads that many points
  } kCases[] = {
      {999, ""},
      {1001, "failed to fill whole buffer"},
      {4000000000u, "failed to fill whole buffer"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.count);
    std::vector<uint8_t> bytes = valid;
    patch<uint32_t>(bytes, kPointCount, c.count);
    const std::string path = dir.file("lying.laz");
    las_test::write_file(path, bytes);
    const auto points = open_and_read(path);
    if (*c.message == '\0') {
      ASSERT_TRUE(points) << points.error().message();
      EXPECT_EQ(points->size(), c.count);
    } else {
      ASSERT_FALSE(points);
      EXPECT_EQ(points.error().message(), c.message);
    }
  }
}

TEST(Reader, CompressionIsRecognisedByContent) {
  const auto data = las_test::testdata_dir();
  if (!data) GTEST_SKIP() << "shared test data folder not found at " << QUARRIX_TESTDATA_DIR;
  las_test::TempDir dir;
  // A LAZ file named .las and a LAS file named .laz read by what they hold.
  const std::string laz_named_las = dir.file("compressed.las");
  const std::string las_named_laz = dir.file("plain.laz");
  las_test::write_file(laz_named_las, las_test::read_file(*data / "simple.laz"));
  las_test::write_file(las_named_laz, las_test::read_file(*data / "simple.las"));
  const auto a = open_and_read(laz_named_las);
  const auto b = open_and_read(las_named_laz);
  ASSERT_TRUE(a) << a.error().message();
  ASSERT_TRUE(b) << b.error().message();
  EXPECT_TRUE(std::equal(a->raw().begin(), a->raw().end(), b->raw().begin(), b->raw().end()));
}

TEST(Points, DecodeEveryFormat) {
  // One hand-made record per format with every field set; checks field positions.
  for (uint8_t format = 0; format <= 10; ++format) {
    SCOPED_TRACE(int{format});
    const las::PointFormat f{format, false, 2};
    std::vector<uint8_t> record(f.record_length(), 0);
    las::store_le<int32_t>(record.data(), 100);
    las::store_le<int32_t>(record.data() + 4, -200);
    las::store_le<int32_t>(record.data() + 8, 300);
    las::store_le<uint16_t>(record.data() + 12, 1234);
    size_t offset;
    if (f.is_extended()) {
      record[14] = 0x93;         // return 3 of 9
      record[15] = 0b1110'0101;  // synthetic, withheld, channel 2, scan direction, edge
      record[16] = 7;
      record[17] = 8;
      las::store_le<int16_t>(record.data() + 18, -1500);
      las::store_le<uint16_t>(record.data() + 20, 77);
      las::store_le<double>(record.data() + 22, 1.5);
      offset = 30;
    } else {
      record[14] = 0b1101'0011;  // return 3 of 2, scan direction, edge
      record[15] = 0b1010'0111;  // class 7, synthetic, withheld
      record[16] = static_cast<uint8_t>(int8_t{-12});
      record[17] = 8;
      las::store_le<uint16_t>(record.data() + 18, 77);
      offset = 20;
      if (f.has_gps_time()) {
        las::store_le<double>(record.data() + 20, 1.5);
        offset = 28;
      }
    }
    if (f.has_color()) {
      las::store_le<uint16_t>(record.data() + offset, 10);
      las::store_le<uint16_t>(record.data() + offset + 2, 11);
      las::store_le<uint16_t>(record.data() + offset + 4, 12);
      offset += 6;
    }
    if (f.has_nir()) {
      las::store_le<uint16_t>(record.data() + offset, 13);
      offset += 2;
    }
    if (f.has_waveform()) {
      record[offset] = 1;
      las::store_le<uint64_t>(record.data() + offset + 1, 2);
      las::store_le<uint32_t>(record.data() + offset + 9, 3);
      las::store_le<float>(record.data() + offset + 13, 4.0f);
      las::store_le<float>(record.data() + offset + 25, 7.0f);
    }
    record[f.standard_length()] = 0xEE;
    record[f.standard_length() + 1] = 0xFF;

    const las::Transforms t{{0.5, 1.0}, {0.25, 0.0}, {1.0, -10.0}};
    const las::Point p = las::decode_record(record.data(), f, t);
    EXPECT_EQ(p.x, 51.0);
    EXPECT_EQ(p.y, -50.0);
    EXPECT_EQ(p.z, 290.0);
    EXPECT_EQ(p.intensity, 1234);
    EXPECT_EQ(p.classification, 7);
    EXPECT_TRUE(p.is_synthetic);
    EXPECT_FALSE(p.is_key_point);
    EXPECT_TRUE(p.is_withheld);
    EXPECT_EQ(p.scan_direction, las::ScanDirection::LeftToRight);
    EXPECT_TRUE(p.is_edge_of_flight_line);
    EXPECT_EQ(p.user_data, 8);
    EXPECT_EQ(p.point_source_id, 77);
    if (f.is_extended()) {
      EXPECT_EQ(p.return_number, 3);
      EXPECT_EQ(p.number_of_returns, 9);
      EXPECT_EQ(p.scanner_channel, 2);
      EXPECT_EQ(p.scan_angle, -1500.0f * 0.006f);
    } else {
      EXPECT_EQ(p.return_number, 3);
      EXPECT_EQ(p.number_of_returns, 2);
      EXPECT_EQ(p.scanner_channel, 0);
      EXPECT_EQ(p.scan_angle, -12.0f);
    }
    EXPECT_EQ(p.gps_time.has_value(), f.has_gps_time());
    if (p.gps_time) {
      EXPECT_EQ(*p.gps_time, 1.5);
    }
    EXPECT_EQ(p.color.has_value(), f.has_color());
    if (p.color) {
      EXPECT_EQ(*p.color, (las::Color{10, 11, 12}));
    }
    EXPECT_EQ(p.nir.has_value(), f.has_nir());
    if (p.nir) {
      EXPECT_EQ(*p.nir, 13);
    }
    EXPECT_EQ(p.waveform.has_value(), f.has_waveform());
    if (p.waveform) {
      EXPECT_EQ(p.waveform->wave_packet_descriptor_index, 1);
      EXPECT_EQ(p.waveform->byte_offset_to_waveform_data, 2u);
      EXPECT_EQ(p.waveform->waveform_packet_size_in_bytes, 3u);
      EXPECT_EQ(p.waveform->return_point_waveform_location, 4.0f);
      EXPECT_EQ(p.waveform->z_t, 7.0f);
    }
    ASSERT_EQ(p.extra_bytes.size(), 2u);
    EXPECT_EQ(p.extra_bytes[0], 0xEE);
    EXPECT_EQ(p.extra_bytes[1], 0xFF);
  }
}

TEST(Points, OverlapClass) {
  const struct {
    uint8_t format;
    uint8_t class_byte;
    uint8_t flags_byte;
    uint8_t classification;
    bool overlap;
    bool synthetic;
  } kCases[] = {
      {0, 12, 0, 1, true, false},   {0, 12 | 0x20, 0, 1, true, true}, {0, 28, 0, 28, false, false},
      {0, 1, 0, 1, false, false},   {6, 12, 0, 1, true, false},       {6, 2, 0x08, 2, true, false},
      {6, 28, 0, 28, false, false}, {6, 200, 0x01, 200, false, true},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(int{c.class_byte});
    const las::PointFormat f{c.format, false, 0};
    std::vector<uint8_t> record(f.record_length(), 0);
    if (f.is_extended()) {
      record[16] = c.class_byte;
      record[15] = c.flags_byte;
    } else {
      record[15] = c.class_byte;
    }
    const las::Point p = las::decode_record(record.data(), f, las::Transforms{});
    EXPECT_EQ(p.classification, c.classification);
    EXPECT_EQ(p.is_overlap, c.overlap);
    EXPECT_EQ(p.is_synthetic, c.synthetic);
  }
}

}  // namespace
