// Decompressor: finds the chunks (through the chunk table, or by decoding them one after the
// other when there is none), reads each chunk into memory whole and decodes it from there.
#include "laz/decompressor.hpp"

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

#include <fmt/format.h>

#include "arithmetic_decoder.hpp"
#include "byte_streams.hpp"
#include "integer_compressor.hpp"
#include "layered.hpp"
#include "pointwise.hpp"

namespace laz {
namespace {

constexpr const char* kShortRead = "failed to fill whole buffer";

struct ChunkEntry {
  uint64_t offset = 0;  // absolute file offset of the chunk's first byte
  uint64_t bytes = 0;
  uint64_t points = 0;  // from the table for variable chunks, else 0
};

struct ChunkTable {
  std::vector<ChunkEntry> chunks;
  uint64_t end = 0;  // where the table starts: the chunks end before it
};

// Reads and decodes a chunk table at `table_offset`; nullopt when it is absent or unreadable.
Result<std::optional<ChunkTable>> read_chunk_table(Input& input, uint64_t chunks_start,
                                                   uint64_t table_offset, bool variable) {
  const uint64_t file_size = input.size();
  if (table_offset < chunks_start || table_offset > file_size || file_size - table_offset < 8) {
    return std::optional<ChunkTable>();
  }
  uint8_t head[8];
  if (auto r = input.read_at(table_offset, head); !r) return tl::unexpected(r.error());
  const uint32_t version = detail::load_u32(head);
  const uint32_t count = detail::load_u32(head + 4);
  if (version != 0) return std::optional<ChunkTable>();
  // Every chunk holds at least one byte: more chunks than bytes is a lie.
  if (count > table_offset - chunks_start) return std::optional<ChunkTable>();
  ChunkTable table;
  table.end = table_offset;
  if (count == 0) return std::optional<ChunkTable>(std::move(table));

  // An entry codes at most two 32-bit numbers: a few bytes each, whatever the data.
  const uint64_t available = file_size - table_offset - 8;
  const uint64_t wanted = std::min<uint64_t>(available, uint64_t{count} * 24 + 16);
  std::vector<uint8_t> bytes(static_cast<size_t>(wanted));
  if (auto r = input.read_at(table_offset + 8, bytes); !r) return tl::unexpected(r.error());

  detail::MemorySource src{bytes.data(), bytes.data() + bytes.size(), false};
  detail::ArithmeticDecoder<detail::MemorySource> dec(src);
  dec.init();
  detail::IntegerCompressor ic(32, 2);
  table.chunks.resize(count);
  uint32_t prev_points = 0;
  uint32_t prev_bytes = 0;
  uint64_t offset = chunks_start;
  for (auto& chunk : table.chunks) {
    if (variable) {
      prev_points = static_cast<uint32_t>(ic.decompress(dec, static_cast<int32_t>(prev_points), 0));
      chunk.points = prev_points;
    }
    prev_bytes = static_cast<uint32_t>(ic.decompress(dec, static_cast<int32_t>(prev_bytes), 1));
    chunk.offset = offset;
    chunk.bytes = prev_bytes;
    offset += prev_bytes;
    if (src.overrun || prev_bytes == 0 || offset > file_size) return std::optional<ChunkTable>();
  }
  return std::optional<ChunkTable>(std::move(table));
}

}  // namespace

struct Decompressor::State {
  Input* input = nullptr;
  uint16_t record_length = 0;
  uint64_t point_count = 0;
  uint64_t delivered = 0;
  bool variable = false;
  uint64_t chunk_size = 0;  // points per chunk when fixed

  std::optional<detail::PointwiseChunkDecoder> pointwise;
  std::optional<detail::LayeredChunkDecoder> layered;

  // Chunks from the table, and the next one to start.
  std::vector<ChunkEntry> chunks;
  size_t next_chunk = 0;
  std::vector<uint8_t> chunk_bytes;

  // Without a usable table the chunks are decoded one after the other from a region read
  // whole: [region_offset, region_offset + region.size()).
  bool sequential = false;
  uint64_t region_offset = 0;
  uint64_t region_end = 0;
  bool region_loaded = false;
  std::vector<uint8_t> region;
  size_t region_pos = 0;
  bool chunk_in_region = false;

  uint64_t chunk_remaining = 0;
  uint64_t chunks_started_points = 0;

  Result<void> start_chunk();
  Result<void> start_chunk_from(std::span<const uint8_t> bytes, uint64_t points);
  size_t current_chunk_bytes() const {
    return pointwise ? pointwise->consumed() : layered->chunk_size_in_bytes();
  }
};

Result<void> Decompressor::State::start_chunk_from(std::span<const uint8_t> bytes,
                                                   uint64_t points) {
  if (pointwise) return pointwise->begin_chunk(bytes, points);
  auto declared = layered->begin_chunk(bytes);
  if (!declared) return tl::unexpected(declared.error());
  return {};
}

Result<void> Decompressor::State::start_chunk() {
  const uint64_t left = point_count - chunks_started_points;
  if (chunk_in_region) {
    // The previous chunk came from the region: the next one starts where it ended.
    region_pos += current_chunk_bytes();
    chunk_in_region = false;
  }
  if (next_chunk > 0 && next_chunk <= chunks.size() && !region_loaded) {
    // The previous chunk came from the table: a valid one ends exactly where the table says.
    if (current_chunk_bytes() != chunks[next_chunk - 1].bytes) return io_error(kShortRead);
  }
  if (!sequential && next_chunk < chunks.size()) {
    const ChunkEntry& entry = chunks[next_chunk++];
    uint64_t points = variable ? entry.points : std::min(chunk_size, left);
    if (variable && points == 0) return io_error(kShortRead);
    points = std::min(points, left);
    chunk_bytes.resize(static_cast<size_t>(entry.bytes));
    if (auto r = input->read_at(entry.offset, chunk_bytes); !r) return r;
    if (auto r = start_chunk_from(chunk_bytes, points); !r) return r;
    chunk_remaining = points;
    chunks_started_points += points;
    if (next_chunk == chunks.size()) {
      // Chunks beyond the table, if the points need any, follow the last tabled one.
      region_offset = entry.offset + entry.bytes;
    }
    return {};
  }
  if (variable) return laszip_error("The chunk table could not be found");
  if (!region_loaded) {
    region_loaded = true;
    if (region_end < region_offset) return io_error(kShortRead);
    region.resize(static_cast<size_t>(region_end - region_offset));
    if (auto r = input->read_at(region_offset, region); !r) return r;
    region_pos = 0;
  }
  if (region_pos >= region.size()) return io_error(kShortRead);
  const uint64_t points = std::min(chunk_size, left);
  const std::span<const uint8_t> rest(region.data() + region_pos, region.size() - region_pos);
  if (auto r = start_chunk_from(rest, points); !r) return r;
  chunk_in_region = true;
  chunk_remaining = points;
  chunks_started_points += points;
  return {};
}

Decompressor::Decompressor(std::unique_ptr<State> state) : state_(std::move(state)) {}
Decompressor::Decompressor(Decompressor&&) noexcept = default;
Decompressor& Decompressor::operator=(Decompressor&&) noexcept = default;
Decompressor::~Decompressor() = default;

Result<Decompressor> Decompressor::open(const LazVlr& vlr, Input& input, uint64_t point_data_offset,
                                        uint64_t point_count, uint16_t record_length) {
  auto state = std::make_unique<State>();
  State& s = *state;
  s.input = &input;
  s.record_length = record_length;
  s.point_count = point_count;

  const auto compressor = static_cast<CompressorType>(vlr.compressor);
  if (vlr.compressor > 3) {
    return laszip_error(fmt::format("Compressor type {} is not valid", vlr.compressor));
  }
  if (compressor == CompressorType::None) {
    return laszip_error("Compressor type None is not supported");
  }
  if (vlr.coder != 0) {
    return laszip_error(fmt::format("Compressor type {} with coder {} is not supported",
                                    vlr.compressor, vlr.coder));
  }
  // A chunk starts with its first record stored whole, so point data shorter than one record
  // holds no point. Refuse it before building the item codecs, whose models grow with the item
  // sizes (a 65535-byte BYTE item means tens of thousands of models).
  if (point_count > 0 && (point_data_offset > input.size() ||
                          input.size() - point_data_offset < vlr.items_record_length())) {
    return io_error(kShortRead);
  }
  if (compressor == CompressorType::LayeredChunked) {
    auto codec = detail::LayeredChunkDecoder::create(vlr.items);
    if (!codec) return tl::unexpected(codec.error());
    s.layered.emplace(std::move(*codec));
  } else {
    auto codec = detail::PointwiseChunkDecoder::create(vlr.items);
    if (!codec) return tl::unexpected(codec.error());
    s.pointwise.emplace(std::move(*codec));
  }
  const uint16_t items_length =
      s.pointwise ? s.pointwise->record_length() : s.layered->record_length();
  if (items_length != record_length) {
    return laszip_error(fmt::format("IoError: the items add up to {} bytes, a record has {}",
                                    items_length, record_length));
  }

  const uint64_t file_size = input.size();
  if (point_data_offset > file_size) return io_error(kShortRead);
  if (point_count == 0) return Decompressor(std::move(state));

  if (compressor == CompressorType::PointWise) {
    // One stream of all points, no chunk table and no offset to one.
    s.sequential = true;
    s.chunk_size = point_count;
    s.region_offset = point_data_offset;
    s.region_end = file_size;
    return Decompressor(std::move(state));
  }

  s.variable = vlr.chunk_size == kVariableChunkSize;
  s.chunk_size = vlr.chunk_size == 0 ? point_count : vlr.chunk_size;

  if (file_size - point_data_offset < 8) return io_error(kShortRead);
  uint8_t raw_offset[8];
  if (auto r = input.read_at(point_data_offset, raw_offset); !r) return tl::unexpected(r.error());
  const uint64_t chunks_start = point_data_offset + 8;
  int64_t table_offset = detail::load_i64(raw_offset);
  if (table_offset == -1 && file_size >= chunks_start + 8) {
    // Written to a stream that could not seek back: the offset follows the table at the end.
    uint8_t tail[8];
    if (auto r = input.read_at(file_size - 8, tail); !r) return tl::unexpected(r.error());
    table_offset = detail::load_i64(tail);
  }
  if (vlr.chunk_size == 0) {
    // Chunk size 0 (some COPC writers): LASzip reads all points as one chunk and so do we; the
    // table, whatever its form, only tells where the chunk ends.
    s.sequential = true;
    s.region_offset = chunks_start;
    const auto t = static_cast<uint64_t>(table_offset);
    s.region_end = table_offset > 0 && t >= chunks_start && t <= file_size ? t : file_size;
    return Decompressor(std::move(state));
  }
  std::optional<ChunkTable> table;
  if (table_offset > 0) {
    auto read =
        read_chunk_table(input, chunks_start, static_cast<uint64_t>(table_offset), s.variable);
    if (!read) return tl::unexpected(read.error());
    table = std::move(*read);
  }
  if (!table) {
    // No usable table (an interrupted writer, a zeroed or lying offset): with fixed chunk sizes
    // the chunks can still be found by decoding them in order.
    if (s.variable) return laszip_error("The chunk table could not be found");
    s.sequential = true;
    s.region_offset = chunks_start;
    s.region_end = file_size;
    return Decompressor(std::move(state));
  }
  s.chunks = std::move(table->chunks);
  s.region_offset = chunks_start;
  s.region_end = table->end;
  return Decompressor(std::move(state));
}

Result<void> Decompressor::decompress(uint8_t* out, size_t count) {
  State& s = *state_;
  if (count > s.point_count - s.delivered) return io_error(kShortRead);
  while (count > 0) {
    if (s.chunk_remaining == 0) {
      if (auto r = s.start_chunk(); !r) return r;
    }
    const size_t n = static_cast<size_t>(std::min<uint64_t>(count, s.chunk_remaining));
    auto r = s.pointwise ? s.pointwise->decode(out, n) : s.layered->decode(out, n);
    if (!r) return r;
    out += n * s.record_length;
    count -= n;
    s.chunk_remaining -= n;
    s.delivered += n;
  }
  return {};
}

uint64_t Decompressor::points_read() const { return state_->delivered; }

}  // namespace laz
