// The LASzip description record: what we write per point format, reading it back, and the
// refusals (with the texts the LAS layer shows after "laszip error: ").
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "laz/vlr.hpp"
#include "point_generator.hpp"

namespace laz {
namespace {

constexpr uint16_t kP10 = 6, kGps = 7, kRgb12 = 8, kWave13 = 9, kP14 = 10, kRgb14 = 11, kNir14 = 12,
                   kWave14 = 13, kByte14 = 14, kByte = 0;

TEST(LazVlr, DescriptionPerPointFormat) {
  const struct {
    uint8_t format;
    uint16_t extra;
    uint16_t compressor;
    std::vector<LazItem> items;
  } kCases[] = {
      {0, 0, 2, {{kP10, 20, 2}}},
      {1, 0, 2, {{kP10, 20, 2}, {kGps, 8, 2}}},
      {2, 0, 2, {{kP10, 20, 2}, {kRgb12, 6, 2}}},
      {3, 0, 2, {{kP10, 20, 2}, {kGps, 8, 2}, {kRgb12, 6, 2}}},
      {3, 27, 2, {{kP10, 20, 2}, {kGps, 8, 2}, {kRgb12, 6, 2}, {kByte, 27, 2}}},
      {4, 0, 2, {{kP10, 20, 2}, {kGps, 8, 2}, {kWave13, 29, 1}}},
      {5, 2, 2, {{kP10, 20, 2}, {kGps, 8, 2}, {kRgb12, 6, 2}, {kWave13, 29, 1}, {kByte, 2, 2}}},
      {6, 0, 3, {{kP14, 30, 3}}},
      {6, 3, 3, {{kP14, 30, 3}, {kByte14, 3, 3}}},
      {7, 0, 3, {{kP14, 30, 3}, {kRgb14, 6, 3}}},
      {8, 0, 3, {{kP14, 30, 3}, {kNir14, 8, 3}}},
      {9, 0, 3, {{kP14, 30, 3}, {kWave14, 29, 3}}},
      {10, 1, 3, {{kP14, 30, 3}, {kNir14, 8, 3}, {kWave14, 29, 3}, {kByte14, 1, 3}}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message() << "format " << int{c.format} << " extra " << c.extra);
    const LazVlr vlr = LazVlr::for_point_format(c.format, c.extra);
    EXPECT_EQ(vlr.compressor, c.compressor);
    EXPECT_EQ(vlr.coder, 0);
    EXPECT_EQ(vlr.version_major, 2);
    EXPECT_EQ(vlr.version_minor, 2);
    EXPECT_EQ(vlr.version_revision, 0);
    EXPECT_EQ(vlr.options, 0u);
    EXPECT_EQ(vlr.chunk_size, 50000u);
    EXPECT_EQ(vlr.number_of_special_evlrs, -1);
    EXPECT_EQ(vlr.offset_to_special_evlrs, -1);
    EXPECT_EQ(vlr.items, c.items);
    const auto record_length =
        static_cast<uint16_t>(test::kStandardRecordLength[c.format] + c.extra);
    EXPECT_TRUE(vlr.validate(c.format, record_length));
    const std::vector<uint8_t> bytes = vlr.serialize();
    EXPECT_EQ(bytes.size(), 34 + 6 * c.items.size());
    const auto back = LazVlr::parse(bytes);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, vlr);
  }
}

LazVlr with(void (*change)(LazVlr&)) {
  LazVlr v = LazVlr::for_point_format(3, 0);
  change(v);
  return v;
}

TEST(LazVlr, RefusesWhatItCannotHonour) {
  const struct {
    const char* name;
    LazVlr vlr;
    uint8_t format;
    uint16_t record_length;
    const char* message;
  } kCases[] = {
      {"no compressor", with([](LazVlr& v) { v.compressor = 0; }), 3, 34,
       "Compressor type None is not supported"},
      {"unknown compressor", with([](LazVlr& v) { v.compressor = 7; }), 3, 34,
       "Compressor type 7 is not valid"},
      {"other coder", with([](LazVlr& v) { v.coder = 1; }), 3, 34,
       "Compressor type PointWiseChunked with coder 1 is not supported"},
      {"item version", with([](LazVlr& v) { v.items[1].version = 3; }), 3, 34,
       "Item GpsTime with compression version: 3 is not supported"},
      {"layered item in point-wise data", with([](LazVlr& v) {
         v.items[2] = {kRgb14, 6, 3};
       }),
       3, 34, "Item RGB14 with compression version: 3 is not supported"},
      {"point-wise item in layered data", with([](LazVlr& v) {
         v.compressor = 3;
         v.items = {{kP14, 30, 3}, {kRgb12, 6, 2}};
       }),
       7, 36, "Item RGB12 with compression version: 2 is not supported"},
      {"wrong item size", with([](LazVlr& v) { v.items[2].size = 8; }), 3, 36,
       "Point format 3 is not supported"},
      {"items short of the record", with([](LazVlr&) {}), 3, 40, "Point format 3 is not supported"},
      {"items past the record", with([](LazVlr&) {}), 3, 30, "Point format 3 is not supported"},
      {"no items", with([](LazVlr& v) { v.items.clear(); }), 3, 34,
       "Point format 3 is not supported"},
      {"wave packet missing (format 9)",
       [] {
         LazVlr v = LazVlr::for_point_format(9, 0);
         v.items.pop_back();
         return v;
       }(),
       9, 59, "Point format 9 is not supported"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const auto r = c.vlr.validate(c.format, c.record_length);
    ASSERT_FALSE(r.has_value());
    EXPECT_EQ(r.error().kind, Error::Kind::Laszip);
    EXPECT_EQ(r.error().message, c.message);
  }
}

TEST(LazVlr, ParseRefusesBrokenRecords) {
  const std::vector<uint8_t> good = LazVlr::for_point_format(1, 0).serialize();
  const auto patched = [&good](size_t at, std::vector<uint8_t> bytes) {
    std::vector<uint8_t> v = good;
    std::copy(bytes.begin(), bytes.end(), v.begin() + static_cast<std::ptrdiff_t>(at));
    return v;
  };
  const struct {
    const char* name;
    std::vector<uint8_t> data;
    const char* message;
  } kCases[] = {
      {"empty", {}, "IoError: failed to fill whole buffer"},
      {"shorter than its items", std::vector<uint8_t>(good.begin(), good.end() - 1),
       "IoError: failed to fill whole buffer"},
      {"more items than bytes", patched(32, {9, 0}), "IoError: failed to fill whole buffer"},
      {"compressor 16", patched(0, {16, 0}), "Compressor type 16 is not valid"},
      {"item type 22", patched(40, {22, 0}), "Item with type code: 22 is unknown"},
      {"obsolete item type 3", patched(34, {3, 0}), "Item with type code: 3 is unknown"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const auto r = LazVlr::parse(c.data);
    ASSERT_FALSE(r.has_value());
    EXPECT_EQ(r.error().message, c.message);
  }
}

}  // namespace
}  // namespace laz
