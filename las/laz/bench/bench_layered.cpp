// Speed of the layered codec on point format 7: the 110000 real airborne points of autzen_trim.las
// (format 3) carried over to format 7 records, in chunks of 50000 points, on one core.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "byte_streams.hpp"
#include "layered.hpp"
#include "laz/vlr.hpp"

namespace {

using laz::detail::load_u16;
using laz::detail::load_u32;

constexpr uint16_t kFormat7Length = 36;
constexpr uint32_t kChunkSize = 50000;

// Format 7 records made from the format 3 records of autzen_trim.las (empty when it is missing).
std::vector<uint8_t> format7_records() {
  std::ifstream in(std::string(QUARRIX_TESTDATA_DIR) + "/autzen_trim.las", std::ios::binary);
  const std::vector<uint8_t> las{std::istreambuf_iterator<char>(in),
                                 std::istreambuf_iterator<char>()};
  if (las.size() < 227) return {};
  const uint32_t offset = load_u32(las.data() + 96);
  const uint16_t length = load_u16(las.data() + 105);
  const uint32_t count = load_u32(las.data() + 107);
  if (length < 34 || offset + static_cast<uint64_t>(count) * length > las.size()) return {};
  std::vector<uint8_t> out(static_cast<size_t>(count) * kFormat7Length);
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* p = las.data() + offset + i * length;
    uint8_t* q = out.data() + i * kFormat7Length;
    std::memcpy(q, p, 14);  // X, Y, Z, intensity
    q[14] = static_cast<uint8_t>((p[14] & 0x07) | (((p[14] >> 3) & 0x07) << 4));
    q[15] = static_cast<uint8_t>(((p[15] >> 5) & 0x07) | (((p[14] >> 6) & 0x03) << 6));
    q[16] = static_cast<uint8_t>(p[15] & 0x1F);
    q[17] = p[17];
    const auto rank = static_cast<int8_t>(p[16]);
    laz::detail::store_i16(q + 18, static_cast<int16_t>(std::lround(rank / 0.006)));
    std::memcpy(q + 20, p + 18, 2);   // point source id
    std::memcpy(q + 22, p + 20, 14);  // GPS time, RGB
  }
  return out;
}

const std::vector<laz::LazItem> kItems = {{10, 30, 3}, {11, 6, 3}};

std::vector<uint8_t> compress(const std::vector<uint8_t>& records,
                              laz::detail::LayeredChunkEncoder& encoder,
                              std::vector<size_t>& chunk_sizes) {
  std::vector<uint8_t> out;
  chunk_sizes.clear();
  const size_t count = records.size() / kFormat7Length;
  for (size_t i = 0; i < count; ++i) {
    encoder.encode(records.data() + i * kFormat7Length);
    if (encoder.point_count() == kChunkSize) chunk_sizes.push_back(encoder.finish_chunk(out));
  }
  if (encoder.point_count() != 0) chunk_sizes.push_back(encoder.finish_chunk(out));
  return out;
}

void BM_Compress_Format7(benchmark::State& state) {
  const auto records = format7_records();
  if (records.empty()) {
    state.SkipWithError("autzen_trim.las not found under QUARRIX_TESTDATA_DIR");
    return;
  }
  auto encoder = laz::detail::LayeredChunkEncoder::create(kItems);
  std::vector<size_t> chunk_sizes;
  size_t bytes = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(records.data());
    const auto out = compress(records, *encoder, chunk_sizes);
    bytes = out.size();
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(
      static_cast<int64_t>(state.iterations() * (records.size() / kFormat7Length)));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * records.size()));
  state.counters["ratio"] = static_cast<double>(records.size()) / static_cast<double>(bytes);
}
BENCHMARK(BM_Compress_Format7)->Unit(benchmark::kMillisecond);

void BM_Decompress_Format7(benchmark::State& state) {
  const auto records = format7_records();
  if (records.empty()) {
    state.SkipWithError("autzen_trim.las not found under QUARRIX_TESTDATA_DIR");
    return;
  }
  auto encoder = laz::detail::LayeredChunkEncoder::create(kItems);
  std::vector<size_t> chunk_sizes;
  const auto compressed = compress(records, *encoder, chunk_sizes);
  auto decoder = laz::detail::LayeredChunkDecoder::create(kItems);
  std::vector<uint8_t> out(records.size());
  for (auto _ : state) {
    size_t at = 0;
    uint8_t* dst = out.data();
    for (const size_t size : chunk_sizes) {
      auto count = decoder->begin_chunk(std::span<const uint8_t>(compressed.data() + at, size));
      if (!count || !decoder->decode(dst, *count)) {
        state.SkipWithError("decoding failed");
        return;
      }
      dst += static_cast<size_t>(*count) * kFormat7Length;
      at += size;
    }
    benchmark::DoNotOptimize(out.data());
  }
  if (out != records) state.SkipWithError("decoded records differ");
  state.SetItemsProcessed(
      static_cast<int64_t>(state.iterations() * (records.size() / kFormat7Length)));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * records.size()));
}
BENCHMARK(BM_Decompress_Format7)->Unit(benchmark::kMillisecond);

}  // namespace
