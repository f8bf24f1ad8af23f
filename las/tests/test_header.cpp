// Header rules: versions, features, formats, record sorting and the raw header block of each
// version.
#include <gtest/gtest.h>

#include "las/header.hpp"
#include "raw_header.hpp"

namespace {

las::Header header_with(las::Version version, uint8_t format) {
  las::Header h;
  h.version = version;
  h.point_format.id = format;
  return h;
}

TEST(Header, CheckVersion) {
  const struct {
    const char* name;
    las::Version version;
    uint8_t format;
    uint16_t file_source_id;
    bool synthetic;
    las::GpsTimeType gps;
    bool evlr;
    const char* message;  // empty: valid
  } kCases[] = {
      {"1.0 format 1", {1, 0}, 1, 0, false, las::GpsTimeType::Week, false, ""},
      {"1.0 format 2",
       {1, 0},
       2,
       0,
       false,
       las::GpsTimeType::Week,
       false,
       "version 1.0 does not support format point format 2"},
      {"1.2 format 3", {1, 2}, 3, 0, false, las::GpsTimeType::Week, false, ""},
      {"1.2 format 4",
       {1, 2},
       4,
       0,
       false,
       las::GpsTimeType::Week,
       false,
       "version 1.2 does not support format point format 4"},
      {"1.3 format 5", {1, 3}, 5, 0, false, las::GpsTimeType::Week, false, ""},
      {"1.3 format 6",
       {1, 3},
       6,
       0,
       false,
       las::GpsTimeType::Week,
       false,
       "version 1.3 does not support format point format 6"},
      {"1.4 format 10", {1, 4}, 10, 0, false, las::GpsTimeType::Week, false, ""},
      {"1.5 format 0",
       {1, 5},
       0,
       0,
       false,
       las::GpsTimeType::Week,
       false,
       "version 1.5 does not support format point format 0"},
      {"2.0 format 0",
       {2, 0},
       0,
       0,
       false,
       las::GpsTimeType::Week,
       false,
       "version 2.0 does not support format point format 0"},
      {"1.0 source id",
       {1, 0},
       0,
       7,
       false,
       las::GpsTimeType::Week,
       false,
       "feature FileSourceId is not supported by version 1.0"},
      {"1.5 source id",
       {1, 5},
       0,
       7,
       false,
       las::GpsTimeType::Week,
       false,
       "feature FileSourceId is not supported by version 1.5"},
      {"1.1 source id", {1, 1}, 0, 7, false, las::GpsTimeType::Week, false, ""},
      {"1.2 synthetic",
       {1, 2},
       0,
       0,
       true,
       las::GpsTimeType::Week,
       false,
       "feature SyntheticReturnNumbers is not supported by version 1.2"},
      {"1.1 gps standard",
       {1, 1},
       0,
       0,
       false,
       las::GpsTimeType::Standard,
       false,
       "feature GpsStandardTime is not supported by version 1.1"},
      {"1.2 gps standard", {1, 2}, 0, 0, false, las::GpsTimeType::Standard, false, ""},
      {"1.3 evlr",
       {1, 3},
       0,
       0,
       false,
       las::GpsTimeType::Week,
       true,
       "feature Evlrs is not supported by version 1.3"},
      {"1.4 evlr", {1, 4}, 0, 0, false, las::GpsTimeType::Week, true, ""},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    las::Header h = header_with(c.version, c.format);
    h.file_source_id = c.file_source_id;
    h.synthetic_return_numbers = c.synthetic;
    h.gps_time_type = c.gps;
    if (c.evlr) h.vlrs.push_back(las::Vlr{"big", 1, "", std::vector<uint8_t>(70000), {}, {}});
    const auto result = las::validate_and_normalise(h);
    if (*c.message == '\0') {
      EXPECT_TRUE(result) << result.error().message();
    } else {
      ASSERT_FALSE(result);
      EXPECT_EQ(result.error().message(), c.message);
    }
  }
}

TEST(Header, MinimumVersion) {
  const struct {
    uint8_t format;
    uint16_t file_source_id;
    las::GpsTimeType gps;
    las::Version expected;
  } kCases[] = {
      {0, 0, las::GpsTimeType::Week, {1, 0}}, {1, 3, las::GpsTimeType::Week, {1, 1}},
      {2, 0, las::GpsTimeType::Week, {1, 2}}, {1, 0, las::GpsTimeType::Standard, {1, 2}},
      {5, 0, las::GpsTimeType::Week, {1, 3}}, {6, 0, las::GpsTimeType::Week, {1, 4}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(int{c.format});
    las::Header h = header_with({1, 2}, c.format);
    h.file_source_id = c.file_source_id;
    h.gps_time_type = c.gps;
    EXPECT_EQ(las::minimum_version(h), c.expected);
  }
  las::Header none = header_with({1, 2}, 11);
  EXPECT_EQ(las::minimum_version(none), std::nullopt);
}

TEST(Header, PointPaddingNeedsEvlrs) {
  las::Header h = header_with({1, 4}, 0);
  h.point_padding = {1, 2};
  const auto result = las::validate_and_normalise(h);
  ASSERT_FALSE(result);
  EXPECT_EQ(result.error().message(), "point padding is only allowed when evlrs are present");
  h.evlrs.push_back(las::Vlr{"e", 1, "", {1}, {}, {}});
  EXPECT_TRUE(las::validate_and_normalise(h));
}

TEST(Header, RecordsAreSorted) {
  las::Header h = header_with({1, 2}, 0);
  h.vlrs.push_back(las::Vlr{"small", 1, "", {1}, {}, {}});
  h.evlrs.push_back(las::Vlr{"was evlr", 2, "", {2}, {}, {}});
  h.version = {1, 4};
  h.vlrs.push_back(las::Vlr{"large", 3, "", std::vector<uint8_t>(65536), {}, {}});
  ASSERT_TRUE(las::validate_and_normalise(h));
  ASSERT_EQ(h.vlrs.size(), 1u);
  EXPECT_EQ(h.vlrs[0].user_id, "small");
  ASSERT_EQ(h.evlrs.size(), 2u);
  EXPECT_EQ(h.evlrs[0].user_id, "was evlr");
  EXPECT_EQ(h.evlrs[1].user_id, "large");

  // Before 1.4, small EVLRs become VLRs and go first.
  las::Header old = header_with({1, 2}, 0);
  old.vlrs.push_back(las::Vlr{"vlr", 1, "", {1}, {}, {}});
  old.evlrs.push_back(las::Vlr{"evlr", 2, "", {2}, {}, {}});
  ASSERT_TRUE(las::validate_and_normalise(old));
  ASSERT_EQ(old.vlrs.size(), 2u);
  EXPECT_EQ(old.vlrs[0].user_id, "evlr");
  EXPECT_EQ(old.vlrs[1].user_id, "vlr");
  EXPECT_TRUE(old.evlrs.empty());
}

TEST(Header, Version10PaddingEndsWithCcDd) {
  const struct {
    std::vector<uint8_t> padding;
    std::vector<uint8_t> expected;
  } kCases[] = {
      {{}, {0xCC, 0xDD}},
      {{0xDD}, {0xDD, 0xCC, 0xDD}},
      {{0xCC, 0xDD}, {0xCC, 0xDD}},
      {{1, 2, 0xCC, 0xDD}, {1, 2, 0xCC, 0xDD}},
      {{0xDD, 0xCC}, {0xDD, 0xCC, 0xCC, 0xDD}},
  };
  for (const auto& c : kCases) {
    las::Header h = header_with({1, 0}, 0);
    h.vlr_padding = c.padding;
    ASSERT_TRUE(las::validate_and_normalise(h));
    EXPECT_EQ(h.vlr_padding, c.expected);
  }
  las::Header later = header_with({1, 1}, 0);
  ASSERT_TRUE(las::validate_and_normalise(later));
  EXPECT_TRUE(later.vlr_padding.empty());
}

TEST(Header, WktFollowsExtendedFormats) {
  for (uint8_t format = 0; format <= 10; ++format) {
    las::Header h = header_with({1, 4}, format);
    ASSERT_TRUE(las::validate_and_normalise(h));
    EXPECT_EQ(h.wkt, format >= 6) << int{format};
  }
}

TEST(Header, CreationDate) {
  EXPECT_FALSE(las::CreationDate::make(0, 2010));
  EXPECT_TRUE(las::CreationDate::make(1, 2010));
  EXPECT_TRUE(las::CreationDate::make(365, 2010));
  EXPECT_FALSE(las::CreationDate::make(366, 2010));
  EXPECT_TRUE(las::CreationDate::make(366, 2012));
  EXPECT_FALSE(las::CreationDate::make(366, 1900));
  EXPECT_TRUE(las::CreationDate::make(366, 2000));
}

TEST(RawHeader, EveryVersionRoundTrips) {
  const struct {
    las::Version version;
    size_t size;
  } kCases[] = {{{1, 0}, 227}, {{1, 1}, 227}, {{1, 2}, 227},
                {{1, 3}, 235}, {{1, 4}, 375}, {{1, 5}, 375}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.version.text());
    las::raw::RawHeader raw;
    raw.file_signature = {'L', 'A', 'S', 'F'};
    raw.version_major = c.version.major;
    raw.version_minor = c.version.minor;
    raw.file_source_id = 7;
    raw.header_size = static_cast<uint16_t>(c.size);
    raw.number_of_point_records = 12;
    raw.number_of_points_by_return = {1, 2, 3, 4, 5};
    raw.x_scale = 0.01;
    raw.max_z = -3.5;
    raw.start_of_waveform_data_packet_record = 99;
    raw.start_of_first_evlr = 1234;
    raw.number_of_evlrs = 2;
    raw.number_of_point_records_64 = 1ull << 33;
    raw.number_of_points_by_return_64[14] = 77;
    const std::vector<uint8_t> bytes = raw.serialize();
    ASSERT_EQ(bytes.size(), c.size);
    const las::raw::RawHeader back = las::raw::RawHeader::parse(bytes);
    EXPECT_EQ(back.serialize(), bytes);
    EXPECT_EQ(back.number_of_points_by_return[4], 5u);
    EXPECT_EQ(back.max_z, -3.5);
    EXPECT_EQ(back.start_of_waveform_data_packet_record,
              (c.version >= las::Version{1, 3} ? 99u : 0u));
    EXPECT_EQ(back.number_of_point_records_64,
              (c.version >= las::Version{1, 4} ? (1ull << 33) : 0ull));
  }
}

TEST(RawHeader, PointCountsFromLegacyOrLargeFields) {
  las::raw::RawHeader raw;
  raw.file_signature = {'L', 'A', 'S', 'F'};
  raw.version_minor = 4;
  raw.point_data_record_length = 20;
  raw.number_of_point_records_64 = 5000000000ull;
  raw.number_of_points_by_return_64[0] = 4000000000ull;
  raw.number_of_points_by_return_64[7] = 1000000000ull;
  auto header = las::raw::decode_header(raw);
  ASSERT_TRUE(header);
  EXPECT_EQ(header->number_of_points, 5000000000ull);
  EXPECT_EQ(header->number_of_points_by_return,
            (std::map<uint8_t, uint64_t>{{1, 4000000000ull}, {8, 1000000000ull}}));

  raw.number_of_point_records = 3;
  raw.number_of_points_by_return[1] = 3;
  header = las::raw::decode_header(raw);
  ASSERT_TRUE(header);
  EXPECT_EQ(header->number_of_points, 3u);
  EXPECT_EQ(header->number_of_points_by_return, (std::map<uint8_t, uint64_t>{{2, 3}}));
}

TEST(RawHeader, EncodingFailures) {
  const struct {
    const char* name;
    void (*change)(las::Header&);
    const char* message;
  } kCases[] = {
      {"system identifier", [](las::Header& h) { h.system_identifier = std::string(33, 'x'); },
       "string is too long for a slice of length 32: xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"},
      {"generating software", [](las::Header& h) { h.generating_software = std::string(40, 'y'); },
       "string is too long for a slice of length 32: yyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyy"},
      {"header size", [](las::Header& h) { h.header_padding.resize(65536 - 227); },
       "the header is too large (65536 bytes) to convert to a raw header"},
      {"points", [](las::Header& h) { h.number_of_points = 4294967296ull; },
       "too many points for version 1.2: 4294967296"},
      {"per return count", [](las::Header& h) { h.number_of_points_by_return[2] = 4294967296ull; },
       "too many points for version 1.2: 4294967296"},
      {"return 6", [](las::Header& h) { h.number_of_points_by_return[6] = 1; },
       "invalid return number 6 for version Some(Version { major: 1, minor: 2 })"},
      {"bounds", [](las::Header& h) { h.bounds.max.x = 1e10; },
       "the transform `0.01 * x + 0` cannot be inversely applied to 1000000000000"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    las::Header h = header_with({1, 2}, 0);
    h.transforms.x = las::Transform{0.01, 0.0};
    c.change(h);
    const auto raw = las::raw::encode_header(h, 0);
    ASSERT_FALSE(raw);
    EXPECT_EQ(raw.error().message(), c.message);
  }
}

TEST(RawHeader, LargeFileCountsIn14) {
  las::Header h = header_with({1, 4}, 6);
  h.number_of_points = 4294967296ull;
  h.number_of_points_by_return = {{1, 4294967296ull}, {2, 5}, {9, 3}};
  const auto raw = las::raw::encode_header(h, 0);
  ASSERT_TRUE(raw) << raw.error().message();
  EXPECT_EQ(raw->number_of_point_records, 0u);
  EXPECT_EQ(raw->number_of_points_by_return, (std::array<uint32_t, 5>{0, 5, 0, 0, 0}));
  EXPECT_EQ(raw->number_of_point_records_64, 4294967296ull);
  EXPECT_EQ(raw->number_of_points_by_return_64[0], 4294967296ull);
  EXPECT_EQ(raw->number_of_points_by_return_64[8], 3u);
}

TEST(RawHeader, BoundsWidenToTheGrid) {
  const struct {
    double min;
    double max;
    double scale;
    double offset;
    double grid_min;
    double grid_max;
  } kCases[] = {
      {1.234, 1.234, 0.01, 0.0, 1.23, 1.24},
      {-1.234, 5.0, 0.01, 0.0, -1.24, 5.0},
      {10.25, 10.3, 0.5, 0.25, 10.25, 10.75},
  };
  for (const auto& c : kCases) {
    las::Bounds b;
    b.min = {c.min, c.min, c.min};
    b.max = {c.max, c.max, c.max};
    const las::Transform t{c.scale, c.offset};
    const auto grid = las::widen_to_grid(b, las::Transforms{t, t, t});
    ASSERT_TRUE(grid);
    EXPECT_EQ(grid->min.x, c.grid_min);
    EXPECT_EQ(grid->max.x, c.grid_max);
  }
  // Reset bounds (no points) stay infinite.
  const auto empty = las::widen_to_grid(las::Bounds{}, las::Transforms{});
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->min.x, std::numeric_limits<double>::infinity());
  EXPECT_EQ(empty->max.z, -std::numeric_limits<double>::infinity());
}

}  // namespace
