// Round trips through the public Compressor and Decompressor for point formats 0-5 (point-wise
// chunked and not chunked), the chunk table in its other forms (variable chunk sizes, offset at
// the end, missing), and corrupt point data failing cleanly.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "arithmetic_encoder.hpp"
#include "byte_streams.hpp"
#include "integer_compressor.hpp"
#include "laz/compressor.hpp"
#include "laz/decompressor.hpp"
#include "laz/vlr.hpp"
#include "laz_test_files.hpp"
#include "point_generator.hpp"
#include "pointwise.hpp"

namespace laz {
namespace {

std::vector<uint8_t> compress_all(const LazVlr& vlr, const std::vector<uint8_t>& points,
                                  size_t rl) {
  test::VectorOutput out;
  auto c = Compressor::create(vlr, out);
  EXPECT_TRUE(c.has_value());
  if (!c) return {};
  for (size_t i = 0; i < points.size() / rl; ++i) EXPECT_TRUE(c->compress(points.data() + i * rl));
  EXPECT_TRUE(c->finish());
  return std::move(out.bytes());
}

Result<std::vector<uint8_t>> decompress_all(const LazVlr& vlr, const std::vector<uint8_t>& bytes,
                                            size_t points, uint16_t rl) {
  test::SpanInput input(bytes);
  auto d = Decompressor::open(vlr, input, 0, points, rl);
  if (!d) return tl::unexpected(d.error());
  std::vector<uint8_t> out(points * rl);
  // Batches of changing size, some straddling chunk boundaries.
  size_t done = 0;
  size_t batch = 1;
  while (done < points) {
    const size_t n = std::min(batch, points - done);
    if (auto r = d->decompress(out.data() + done * rl, n); !r) return tl::unexpected(r.error());
    done += n;
    batch = batch * 2 + 1;
  }
  return out;
}

TEST(Pointwise, RoundTripsGeneratedPoints) {
  const struct {
    uint8_t format;
    uint16_t extra;
    size_t points;
    uint16_t compressor;
    uint32_t chunk_size;
  } kCases[] = {
      {0, 0, 1, 2, 50000},      {0, 0, 2, 2, 50000},     {0, 0, 3000, 2, 50000},
      {1, 0, 50000, 2, 50000},  {1, 0, 50001, 2, 50000}, {2, 0, 2000, 2, 50000},
      {3, 0, 100001, 2, 50000}, {3, 5, 3000, 2, 50000},  {1, 1, 5000, 2, 1000},
      {4, 0, 3000, 2, 50000},   {5, 3, 3000, 2, 50000},  {3, 0, 7000, 1, 0},
      {0, 17, 2500, 2, 1},      {2, 2, 999, 2, 333},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message()
                 << "format " << int{c.format} << " extra " << c.extra << " points " << c.points
                 << " compressor " << c.compressor << " chunk " << c.chunk_size);
    const auto rl = static_cast<uint16_t>(test::kStandardRecordLength[c.format] + c.extra);
    const auto points =
        test::generate_points({c.format, c.extra, c.points, 1000u + c.format, false});
    LazVlr vlr = LazVlr::for_point_format(c.format, c.extra);
    vlr.compressor = c.compressor;
    vlr.chunk_size = c.chunk_size;
    ASSERT_TRUE(vlr.validate(c.format, rl));
    const auto bytes = compress_all(vlr, points, rl);
    const auto back = decompress_all(vlr, bytes, c.points, rl);
    ASSERT_TRUE(back.has_value()) << back.error().message;
    ASSERT_EQ(back->size(), points.size());
    for (size_t i = 0; i < c.points; ++i) {
      ASSERT_TRUE(std::equal(points.begin() + i * rl, points.begin() + (i + 1) * rl,
                             back->begin() + i * rl))
          << "record " << i;
    }
  }
}

// Chunks of the given point counts plus a LASzip chunk table (variable form when asked).
struct Chunked {
  std::vector<uint8_t> bytes;  // the whole point data: offset, chunks, table
  std::vector<uint8_t> points;
};

Chunked build_chunked(const LazVlr& vlr, const std::vector<uint32_t>& counts, bool variable,
                      int64_t offset_override, bool offset_at_end) {
  const uint16_t rl = static_cast<uint16_t>(vlr.items_record_length());
  size_t total = 0;
  for (uint32_t n : counts) total += n;
  Chunked c;
  c.points = test::generate_points({3, 0, total, 77, false});
  c.bytes.resize(8);
  auto enc = detail::PointwiseChunkEncoder::create(vlr.items);
  EXPECT_TRUE(enc.has_value());
  std::vector<uint32_t> sizes;
  size_t next = 0;
  for (uint32_t n : counts) {
    for (uint32_t i = 0; i < n; ++i, ++next) enc->encode(c.points.data() + next * rl);
    sizes.push_back(static_cast<uint32_t>(enc->finish_chunk(c.bytes)));
  }
  const uint64_t table = c.bytes.size();
  detail::store_i64(c.bytes.data(),
                    offset_override != 0 ? offset_override : static_cast<int64_t>(table));
  std::vector<uint8_t> head(8);
  detail::store_u32(head.data(), 0);
  detail::store_u32(head.data() + 4, static_cast<uint32_t>(counts.size()));
  c.bytes.insert(c.bytes.end(), head.begin(), head.end());
  detail::VectorSink sink{&c.bytes};
  detail::ArithmeticEncoder<detail::VectorSink> e(sink);
  detail::IntegerCompressor ic(32, 2);
  for (size_t i = 0; i < counts.size(); ++i) {
    if (variable)
      ic.compress(e, i ? static_cast<int32_t>(counts[i - 1]) : 0, static_cast<int32_t>(counts[i]),
                  0);
    ic.compress(e, i ? static_cast<int32_t>(sizes[i - 1]) : 0, static_cast<int32_t>(sizes[i]), 1);
  }
  e.done();
  if (offset_at_end) {
    std::vector<uint8_t> tail(8);
    detail::store_i64(tail.data(), static_cast<int64_t>(table));
    c.bytes.insert(c.bytes.end(), tail.begin(), tail.end());
  }
  return c;
}

TEST(Pointwise, ReadsEveryChunkTableForm) {
  const LazVlr fixed = [] {
    LazVlr v = LazVlr::for_point_format(3, 0);
    v.chunk_size = 100;
    return v;
  }();
  LazVlr variable = fixed;
  variable.chunk_size = kVariableChunkSize;
  const std::vector<uint32_t> even = {100, 100, 100, 42};
  const std::vector<uint32_t> uneven = {1, 250, 7, 100, 3};
  const struct {
    const char* name;
    const LazVlr* vlr;
    const std::vector<uint32_t>* counts;
    int64_t offset;  // 0: the real one
    bool at_end;
  } kCases[] = {
      {"fixed", &fixed, &even, 0, false},
      {"variable", &variable, &uneven, 0, false},
      {"variable, offset at the end", &variable, &uneven, -1, true},
      {"fixed, offset at the end", &fixed, &even, -1, true},
      {"fixed, never patched", &fixed, &even, 0x7FFF'FFFF'FFFF'FFFF, false},
      {"fixed, offset pointing at itself", &fixed, &even, 0, false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    Chunked data = build_chunked(*c.vlr, *c.counts, c.vlr == &variable, c.offset, c.at_end);
    if (std::string(c.name) == "fixed, offset pointing at itself")
      detail::store_i64(data.bytes.data(), 0);
    const auto rl = static_cast<uint16_t>(c.vlr->items_record_length());
    const size_t n = data.points.size() / rl;
    const auto back = decompress_all(*c.vlr, data.bytes, n, rl);
    ASSERT_TRUE(back.has_value()) << back.error().message;
    EXPECT_TRUE(*back == data.points);
  }
}

TEST(Pointwise, VariableChunksWithoutTableAreRefused) {
  LazVlr vlr = LazVlr::for_point_format(3, 0);
  vlr.chunk_size = kVariableChunkSize;
  Chunked data = build_chunked(vlr, {5, 6}, true, 0, false);
  detail::store_i64(data.bytes.data(), 0);
  const auto back = decompress_all(vlr, data.bytes, 11, 34);
  ASSERT_FALSE(back.has_value());
  EXPECT_EQ(back.error().message, "The chunk table could not be found");
}

TEST(Pointwise, CorruptDataFailsCleanly) {
  LazVlr vlr = LazVlr::for_point_format(3, 0);
  vlr.chunk_size = 500;
  const size_t n = 1700;
  const auto points = test::generate_points({3, 0, n, 5, false});
  const auto good = compress_all(vlr, points, 34);
  const uint64_t table = detail::load_u64(good.data());

  // Truncations: wherever the data ends, the points are either all right or an error.
  for (size_t cut :
       {size_t{0}, size_t{4}, size_t{8}, size_t{40}, good.size() / 3, good.size() / 2,
        static_cast<size_t>(table) - 1, static_cast<size_t>(table) + 5, good.size() - 1}) {
    SCOPED_TRACE(testing::Message() << "cut at " << cut);
    const std::vector<uint8_t> bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut));
    const auto back = decompress_all(vlr, bytes, n, 34);
    if (back) {
      EXPECT_TRUE(*back == points);
    }
    if (cut < static_cast<size_t>(table) - 1) {
      EXPECT_FALSE(back.has_value());
    }
  }

  // Chunk tables that lie: sizes too small or too large, counts that overflow.
  const struct {
    const char* name;
    size_t at;  // offset into the point data
    std::vector<uint8_t> value;
  } kPatches[] = {
      {"chunk count overflows", static_cast<size_t>(table) + 4, {0xFF, 0xFF, 0xFF, 0xFF}},
      {"chunk count too small", static_cast<size_t>(table) + 4, {1, 0, 0, 0}},
      {"table version", static_cast<size_t>(table), {9, 0, 0, 0}},
      {"table entries", static_cast<size_t>(table) + 8, {0x13, 0x57, 0x9B, 0xDF}},
      {"offset past the end", 0, {0, 0, 0, 0, 0, 0, 0, 0x40}},
      {"chunk bytes", 200, {0x55, 0xAA, 0x55, 0xAA, 0x55}},
      {"first raw record", 8, {0xFF, 0xFF, 0xFF, 0xFF}},
  };
  for (const auto& p : kPatches) {
    SCOPED_TRACE(p.name);
    std::vector<uint8_t> bytes = good;
    std::copy(p.value.begin(), p.value.end(), bytes.begin() + static_cast<std::ptrdiff_t>(p.at));
    const auto back = decompress_all(vlr, bytes, n, 34);
    if (back) {
      EXPECT_EQ(back->size(), points.size());
    } else {
      EXPECT_FALSE(back.error().message.empty());
    }
  }

  // Garbage point data of every length: errors or garbage points, never a crash or a hang.
  std::mt19937 engine(3);
  for (size_t size : {size_t{8}, size_t{9}, size_t{100}, size_t{5000}, size_t{60000}}) {
    SCOPED_TRACE(testing::Message() << "garbage of " << size);
    std::vector<uint8_t> bytes(size);
    for (auto& b : bytes) b = static_cast<uint8_t>(engine());
    const auto back = decompress_all(vlr, bytes, n, 34);
    if (back) {
      EXPECT_EQ(back->size(), points.size());
    }
  }
}

TEST(Pointwise, MorePointsThanAnnouncedIsAnError) {
  const LazVlr vlr = LazVlr::for_point_format(0, 0);
  const auto points = test::generate_points({0, 0, 10, 1, false});
  const auto bytes = compress_all(vlr, points, 20);
  test::SpanInput input(bytes);
  auto d = Decompressor::open(vlr, input, 0, 10, 20);
  ASSERT_TRUE(d.has_value());
  std::vector<uint8_t> out(11 * 20);
  EXPECT_TRUE(d->decompress(out.data(), 10));
  const auto more = d->decompress(out.data(), 1);
  ASSERT_FALSE(more.has_value());
  EXPECT_EQ(more.error().kind, Error::Kind::Io);
}

}  // namespace
}  // namespace laz
