// Fuzzes the LASzip decompressor on its own: a fuzzer-chosen LASzip description (parsed from
// the input like a tile's record), a point count, then the point data (chunk table offset,
// chunks, chunk table) as an in-memory Input. Every item of every point format, both chunk
// table forms and variable chunks are reachable from the seeds fuzz/seed.sh makes.
//
// Input layout: u16 point count (at most kMaxPoints are used), u8 point format, u16 description
// length L, L bytes of the description, then the point data (the chunk-table offset is relative to
// its start).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "laz/decompressor.hpp"
#include "laz/io.hpp"
#include "laz/vlr.hpp"
#include "memory_io.hpp"

namespace {

using quarrix_fuzz::SpanInput;

uint16_t u16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

// Points decoded per input at most: several chunks when the chunks are small, and fast.
constexpr uint16_t kMaxPoints = 700;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 5) return 0;
  const uint16_t point_count = std::min(u16(data), kMaxPoints);
  const uint8_t point_format = data[2];
  const uint16_t vlr_length = u16(data + 3);
  if (size - 5 < vlr_length) return 0;
  const auto vlr = laz::LazVlr::parse(std::span<const uint8_t>(data + 5, vlr_length));
  if (!vlr) {
    if (vlr.error().message.empty()) std::abort();
    return 0;
  }
  const uint32_t record_length = vlr->items_record_length();
  if (record_length == 0 || record_length > 0xFFFF) return 0;
  if (!vlr->validate(point_format, static_cast<uint16_t>(record_length))) return 0;

  SpanInput input(std::span<const uint8_t>(data + 5 + vlr_length, size - 5 - vlr_length));
  auto decompressor =
      laz::Decompressor::open(*vlr, input, 0, point_count, static_cast<uint16_t>(record_length));
  if (!decompressor) {
    if (decompressor.error().message.empty()) std::abort();
    return 0;
  }
  // Uneven batches, so that chunk boundaries fall inside a call as well as between calls.
  std::vector<uint8_t> out(size_t{record_length} * 128);
  uint64_t left = point_count;
  size_t batch = 1;
  while (left > 0) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(left, batch));
    auto done = decompressor->decompress(out.data(), n);
    if (!done) {
      if (done.error().message.empty()) std::abort();
      return 0;
    }
    left -= n;
    batch = batch % 97 + 7;
  }
  if (decompressor->points_read() != point_count) std::abort();
  // One point beyond the announced count is an error, never a read past the data.
  if (decompressor->decompress(out.data(), 1)) std::abort();
  return 0;
}
