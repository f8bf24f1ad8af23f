// Layered (compressor 3) chunks: item codecs round-trip tiny point sets built here, the chunk
// decoder reads the layered LAZ files other programs wrote to the reference's records, the chunk
// encoder writes the reference compressor's bytes, and corrupt chunks fail cleanly.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "byte_streams.hpp"
#include "laz/vlr.hpp"
#include "layered.hpp"
#include "sha256.hpp"

namespace laz {
namespace {

using detail::LayeredChunkDecoder;
using detail::LayeredChunkEncoder;

const std::string kTestData = QUARRIX_TESTDATA_DIR;

std::optional<std::vector<uint8_t>> read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::vector<uint8_t>{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string json_field(const std::string& json, const std::string& key) {
  const std::string needle = "\"" + key + "\":";
  size_t at = json.find(needle);
  if (at == std::string::npos) return {};
  at += needle.size();
  while (at < json.size() && json[at] == ' ') ++at;
  if (json[at] == '"') {
    const size_t end = json.find('"', at + 1);
    return json.substr(at + 1, end - at - 1);
  }
  const size_t end = json.find_first_of(",\n}", at);
  return json.substr(at, end - at);
}

std::string hex(const uint8_t* p, size_t n) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string s;
  for (size_t i = 0; i < n; ++i) {
    s += kDigits[p[i] >> 4];
    s += kDigits[p[i] & 15];
  }
  return s;
}

// Just what these tests need of a LAS file: where the points are, their size and count, and the
// LASzip record.
struct LasFile {
  std::vector<uint8_t> bytes;
  uint32_t offset_to_point_data = 0;
  uint8_t point_format = 0;
  uint16_t record_length = 0;
  uint64_t point_count = 0;
  std::optional<LazVlr> laszip;
};

std::optional<LasFile> open_las(const std::string& name) {
  auto bytes = read_file(kTestData + "/" + name);
  if (!bytes || bytes->size() < 227) return std::nullopt;
  LasFile f;
  f.bytes = std::move(*bytes);
  const uint8_t* p = f.bytes.data();
  const uint16_t header_size = detail::load_u16(p + 94);
  f.offset_to_point_data = detail::load_u32(p + 96);
  const uint32_t vlr_count = detail::load_u32(p + 100);
  f.point_format = static_cast<uint8_t>(p[104] & 0x3F);
  f.record_length = detail::load_u16(p + 105);
  f.point_count = detail::load_u32(p + 107);
  if (f.point_count == 0 && p[25] >= 4) f.point_count = detail::load_u64(p + 247);
  size_t at = header_size;
  for (uint32_t i = 0; i < vlr_count && at + 54 <= f.bytes.size(); ++i) {
    const std::string user_id(reinterpret_cast<const char*>(p + at + 2), 14);
    const uint16_t record_id = detail::load_u16(p + at + 18);
    const uint16_t length = detail::load_u16(p + at + 20);
    if (user_id == "laszip encoded" && record_id == 22204) {
      auto vlr = LazVlr::parse(std::span<const uint8_t>(p + at + 54, length));
      if (vlr) f.laszip = *vlr;
    }
    at += 54u + length;
  }
  return f;
}

// Decodes every chunk in file order, walking from chunk to chunk by their own sizes.
Result<std::vector<uint8_t>> decode_all(const LasFile& f) {
  auto decoder = LayeredChunkDecoder::create(f.laszip->items);
  if (!decoder) return tl::unexpected(decoder.error());
  EXPECT_EQ(decoder->record_length(), f.record_length);
  const size_t start = f.offset_to_point_data;
  const auto table = static_cast<int64_t>(detail::load_u64(f.bytes.data() + start));
  const size_t end = table > 0 && static_cast<size_t>(table) <= f.bytes.size() ? static_cast<size_t>(table)
                                                                                : f.bytes.size();
  std::vector<uint8_t> records(static_cast<size_t>(f.point_count) * f.record_length);
  size_t at = start + 8;
  uint64_t done = 0;
  while (done < f.point_count) {
    if (at >= end) return tl::unexpected(Error{Error::Kind::Io, "ran out of chunks"});
    auto count = decoder->begin_chunk(std::span<const uint8_t>(f.bytes.data() + at, end - at));
    if (!count) return tl::unexpected(count.error());
    const uint64_t take = std::min<uint64_t>(*count, f.point_count - done);
    auto ok = decoder->decode(records.data() + done * f.record_length, static_cast<size_t>(take));
    if (!ok) return tl::unexpected(ok.error());
    done += take;
    at += decoder->chunk_size_in_bytes();
  }
  return records;
}

// Compresses records in chunks of `chunk_size` points; returns the bytes of all chunks.
std::vector<uint8_t> encode_all(std::span<const LazItem> items, const uint8_t* records, size_t count,
                                uint16_t record_length, uint32_t chunk_size) {
  auto encoder = LayeredChunkEncoder::create(items);
  EXPECT_TRUE(encoder.has_value());
  std::vector<uint8_t> out;
  for (size_t i = 0; i < count; ++i) {
    encoder->encode(records + i * record_length);
    if (encoder->point_count() == chunk_size) encoder->finish_chunk(out);
  }
  encoder->finish_chunk(out);
  return out;
}

TEST(LayeredFiles, DecodeToTheReferenceRecords) {
  const struct {
    const char* laz;
    const char* json;
  } kCases[] = {
      {"1_4_w_evlr.laz", "1_4_w_evlr.laz.json"},
      {"pasture/10_points_format_6.laz", "pasture__10_points_format_6.laz.json"},
      {"pasture/10_points_format_7.laz", "pasture__10_points_format_7.laz.json"},
      {"pasture/10_points_format_8.laz", "pasture__10_points_format_8.laz.json"},
      {"simple.copc.laz", "simple.copc.laz.json"},
      {"example.copc.laz", "example.copc.laz.json"},
      {"append-bug.laz", "append-bug.laz.json"},
      {"fullwave.laz", "fullwave.laz.json"},
      {"golden/autzen-bmx-2010.golden.laz", "golden__autzen-bmx-2010.golden.laz.json"},
      {"golden/test1_4.golden.laz", "golden__test1_4.golden.laz.json"},
      {"golden/5points_14.golden.laz", "golden__5points_14.golden.laz.json"},
      {"golden/10_points_format_6.golden.laz", "golden__10_points_format_6.golden.laz.json"},
      {"golden/10_points_format_7.golden.laz", "golden__10_points_format_7.golden.laz.json"},
      {"golden/10_points_format_8.golden.laz", "golden__10_points_format_8.golden.laz.json"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.laz);
    const auto f = open_las(c.laz);
    const auto json_bytes = read_file(kTestData + "/expected/" + c.json);
    if (!f || !json_bytes) GTEST_SKIP() << "test data not found: " << kTestData << "/" << c.laz;
    const std::string json(json_bytes->begin(), json_bytes->end());
    ASSERT_TRUE(f->laszip.has_value());
    ASSERT_EQ(f->laszip->compressor, 3);
    ASSERT_EQ(std::to_string(f->point_count), json_field(json, "point_count"));

    const auto records = decode_all(*f);
    ASSERT_TRUE(records.has_value()) << records.error().message;
    EXPECT_EQ(test::sha256_hex(*records), json_field(json, "sha256"));
    EXPECT_EQ(hex(records->data(), f->record_length), json_field(json, "first_record_hex"));
    EXPECT_EQ(hex(records->data() + records->size() - f->record_length, f->record_length),
              json_field(json, "last_record_hex"));
  }
}

TEST(LayeredFiles, CompressLikeTheReference) {
  const struct {
    const char* las;
    const char* golden;
  } kCases[] = {
      {"test1_4.las", "golden/test1_4.golden.laz"},
      {"5points_14.las", "golden/5points_14.golden.laz"},
      {"autzen-bmx-2010.las", "golden/autzen-bmx-2010.golden.laz"},
      {"pasture/10_points_format_6.las", "golden/10_points_format_6.golden.laz"},
      {"pasture/10_points_format_7.las", "golden/10_points_format_7.golden.laz"},
      {"pasture/10_points_format_8.las", "golden/10_points_format_8.golden.laz"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.golden);
    const auto source = open_las(c.las);
    const auto golden = open_las(c.golden);
    if (!source || !golden) GTEST_SKIP() << "test data not found under " << kTestData;
    ASSERT_TRUE(golden->laszip.has_value());
    ASSERT_EQ(source->record_length, golden->record_length);

    const uint8_t* records = source->bytes.data() + source->offset_to_point_data;
    const std::vector<uint8_t> chunks =
        encode_all(golden->laszip->items, records, static_cast<size_t>(source->point_count),
                   source->record_length, golden->laszip->chunk_size);

    // The reference's chunks lie between the 8-byte chunk-table offset and the chunk table.
    const size_t start = golden->offset_to_point_data + 8;
    const auto table = static_cast<size_t>(detail::load_u64(golden->bytes.data() + golden->offset_to_point_data));
    ASSERT_LE(table, golden->bytes.size());
    ASSERT_EQ(chunks.size(), table - start);
    EXPECT_TRUE(std::equal(chunks.begin(), chunks.end(), golden->bytes.begin() + static_cast<ptrdiff_t>(start)));
  }
}

// ---------------------------------------------------------------------------------------------------
// Point sets built here

std::vector<LazItem> items_for(uint8_t format, uint16_t extra, uint16_t version) {
  std::vector<LazItem> items = {{10, 30, version}};
  if (format == 7) items.push_back({11, 6, version});
  if (format == 8) items.push_back({12, 8, version});
  if (extra != 0) items.push_back({14, extra, version});
  return items;
}

// Records with every hard case the codecs have: channel switches, return combinations, GPS-time
// jumps and repeats, large coordinate jumps, colour and NIR changes, and constant runs.
std::vector<uint8_t> make_records(size_t count, uint16_t record_length, uint32_t seed) {
  std::mt19937 engine(seed);
  const auto rng = [&engine] { return static_cast<uint32_t>(engine()); };
  std::vector<uint8_t> out(count * record_length);
  int32_t x = 1000, y = -2000, z = 300;
  double t = 1000.0;
  uint8_t channel = 0;
  for (size_t i = 0; i < count; ++i) {
    uint8_t* r = out.data() + i * record_length;
    const uint32_t dice = rng() % 100;
    if (dice < 5) x += static_cast<int32_t>(rng());  // big jump
    x += static_cast<int32_t>(rng() % 200) - 100;
    y += static_cast<int32_t>(rng() % 50) - 25;
    z += static_cast<int32_t>(rng() % 20) - 10;
    if (dice < 60) t += 0.00001 * (1 + static_cast<int>(rng() % 3));
    if (dice == 7) t += 1.0e6;                  // a new time sequence
    if (dice == 8) t = 1000.0 + static_cast<int>(rng() % 10);  // back to an older one
    if (dice % 17 == 0) channel = static_cast<uint8_t>(rng() % 4);
    detail::store_u32(r + 0, static_cast<uint32_t>(x));
    detail::store_u32(r + 4, static_cast<uint32_t>(y));
    detail::store_u32(r + 8, static_cast<uint32_t>(z));
    detail::store_u16(r + 12, static_cast<uint16_t>(dice < 50 ? 100 : rng()));
    const uint8_t n = static_cast<uint8_t>(rng() % 16);
    const uint8_t rn = static_cast<uint8_t>(dice < 70 ? std::min<uint8_t>(n, static_cast<uint8_t>(1 + rng() % 3)) : rng() % 16);
    r[14] = static_cast<uint8_t>(rn | (n << 4));
    r[15] = static_cast<uint8_t>((dice < 90 ? 0 : rng() % 16) | (channel << 4) | ((rng() % 4) << 6));
    r[16] = static_cast<uint8_t>(dice < 80 ? 2 : rng());
    r[17] = static_cast<uint8_t>(dice < 95 ? 0 : rng());
    detail::store_u16(r + 18, static_cast<uint16_t>(dice < 50 ? 0 : rng()));
    detail::store_u16(r + 20, static_cast<uint16_t>(dice < 97 ? 7 : rng()));
    detail::store_u64(r + 22, std::bit_cast<uint64_t>(t));
    for (size_t b = 30; b < record_length; ++b) {
      r[b] = static_cast<uint8_t>(dice < 30 ? r[b - (i > 0 ? record_length : 0)] : rng());
    }
  }
  return out;
}

TEST(LayeredRoundTrip, GeneratedPointsDecodeToWhatWasEncoded) {
  const struct {
    uint8_t format;
    uint16_t extra;
    uint16_t version;
    size_t count;
    uint32_t chunk_size;
  } kCases[] = {
      {6, 0, 3, 1, 50000},    {6, 0, 3, 3000, 1000}, {7, 0, 3, 2500, 50000}, {8, 0, 3, 2500, 777},
      {8, 5, 3, 2000, 50000}, {6, 3, 4, 2000, 600},  {7, 0, 4, 1500, 50000}, {8, 2, 4, 1999, 1000},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message() << "format " << int{c.format} << " extra " << c.extra << " v" << c.version
                                    << " count " << c.count);
    const auto items = items_for(c.format, c.extra, c.version);
    const uint16_t length = static_cast<uint16_t>((c.format == 6 ? 30 : c.format == 7 ? 36 : 38) + c.extra);
    const auto records = make_records(c.count, length, static_cast<uint32_t>(c.count));
    const auto chunks = encode_all(items, records.data(), c.count, length, c.chunk_size);

    auto decoder = LayeredChunkDecoder::create(items);
    ASSERT_TRUE(decoder.has_value());
    std::vector<uint8_t> decoded(records.size());
    size_t at = 0;
    size_t done = 0;
    while (done < c.count) {
      auto n = decoder->begin_chunk(std::span<const uint8_t>(chunks).subspan(at));
      ASSERT_TRUE(n.has_value()) << n.error().message;
      ASSERT_TRUE(decoder->decode(decoded.data() + done * length, *n).has_value());
      done += *n;
      at += decoder->chunk_size_in_bytes();
    }
    EXPECT_EQ(at, chunks.size());
    EXPECT_EQ(decoded, records);
  }
}

TEST(LayeredRoundTrip, ConstantFieldsDropTheirLayers) {
  // Ten identical points but for X: only the channel_returns_XY and Z layers have bytes.
  const auto items = items_for(6, 0, 3);
  std::vector<uint8_t> records(10 * 30, 0);
  for (size_t i = 0; i < 10; ++i) detail::store_u32(records.data() + i * 30, static_cast<uint32_t>(i * 10));
  const auto chunk = encode_all(items, records.data(), 10, 30, 50000);
  ASSERT_GE(chunk.size(), 30u + 4u + 9u * 4u);
  EXPECT_EQ(detail::load_u32(chunk.data() + 30), 10u);
  EXPECT_NE(detail::load_u32(chunk.data() + 34), 0u);
  EXPECT_NE(detail::load_u32(chunk.data() + 38), 0u);
  for (size_t layer = 2; layer < 9; ++layer) EXPECT_EQ(detail::load_u32(chunk.data() + 34 + 4 * layer), 0u);
}

// ---------------------------------------------------------------------------------------------------
// Refused descriptions and corrupt chunks

TEST(LayeredItems, RefusesWhatItCannotHonour) {
  const struct {
    const char* name;
    std::vector<LazItem> items;
  } kCases[] = {
      {"empty", {}},
      {"no POINT14 first", {{11, 6, 3}, {10, 30, 3}}},
      {"version 2", {{10, 30, 2}}},
      {"version 5", {{10, 30, 3}, {11, 6, 5}}},
      {"point-wise item", {{10, 30, 3}, {8, 6, 2}}},
      {"wrong POINT14 size", {{10, 20, 3}}},
      {"wrong RGB14 size", {{10, 30, 3}, {11, 8, 3}}},
      {"two colours", {{10, 30, 3}, {11, 6, 3}, {12, 8, 3}}},
      {"empty BYTE14", {{10, 30, 3}, {14, 0, 3}}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    auto decoder = LayeredChunkDecoder::create(c.items);
    ASSERT_FALSE(decoder.has_value());
    EXPECT_EQ(decoder.error().kind, Error::Kind::Laszip);
    EXPECT_FALSE(LayeredChunkEncoder::create(c.items).has_value());
  }
}

TEST(LayeredCorrupt, BadChunksFailCleanly) {
  const auto items = items_for(8, 3, 3);
  const uint16_t length = 41;
  const auto records = make_records(500, length, 99);
  const auto good = encode_all(items, records.data(), 500, length, 50000);
  const size_t sizes_at = length + 4u;

  const struct {
    const char* name;
    size_t keep;             // bytes of the chunk kept
    size_t patch_at;         // where to overwrite 4 bytes (0: nowhere)
    uint32_t patch_value;
  } kCases[] = {
      {"empty", 0, 0, 0},
      {"raw record only", length, 0, 0},
      {"no layer sizes", sizes_at + 8, 0, 0},
      {"truncated layers", good.size() / 2, 0, 0},
      {"last byte missing", good.size() - 1, 0, 0},
      {"zero point count", good.size(), length, 0},
      {"layer size beyond the chunk", good.size(), sizes_at, 0xFFFFFFF0u},
      {"point count larger than the data", good.size(), length, 4000000000u},
      {"empty XY layer", good.size(), sizes_at, 0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> chunk(good.begin(), good.begin() + static_cast<ptrdiff_t>(c.keep));
    if (c.patch_at != 0) detail::store_u32(chunk.data() + c.patch_at, c.patch_value);
    auto decoder = LayeredChunkDecoder::create(items);
    ASSERT_TRUE(decoder.has_value());
    auto count = decoder->begin_chunk(chunk);
    if (!count) {
      EXPECT_EQ(count.error().kind, Error::Kind::Io);
      continue;
    }
    // Decoding what the chunk claims, in slices, must end in an error, not in a crash or hang.
    bool failed = false;
    std::vector<uint8_t> out(static_cast<size_t>(1000) * length);
    while (decoder->remaining() != 0 && !failed) {
      const size_t n = std::min<size_t>(decoder->remaining(), 1000);
      failed = !decoder->decode(out.data(), n).has_value();
    }
    EXPECT_TRUE(failed);
  }
}

}  // namespace
}  // namespace laz
