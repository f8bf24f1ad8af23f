// Compressor: chunks of chunk_size points written as they fill, then the chunk table (version,
// chunk count, integer-compressed chunk sizes) and its offset patched in at the start.
#include "laz/compressor.hpp"

#include <optional>
#include <utility>
#include <vector>

#include <fmt/format.h>

#include "arithmetic_encoder.hpp"
#include "byte_streams.hpp"
#include "integer_compressor.hpp"
#include "layered.hpp"
#include "pointwise.hpp"

namespace laz {

struct Compressor::State {
  Output* output = nullptr;
  bool chunked = true;
  uint32_t chunk_size = 0;
  uint64_t offset_position = 0;  // where the chunk table offset goes
  std::optional<detail::PointwiseChunkEncoder> pointwise;
  std::optional<detail::LayeredChunkEncoder> layered;
  std::vector<uint32_t> chunk_bytes;
  std::vector<uint8_t> buffer;
  bool finished = false;

  uint32_t open_points() const {
    return pointwise ? pointwise->point_count() : layered->point_count();
  }
  Result<void> close_chunk();
};

Result<void> Compressor::State::close_chunk() {
  buffer.clear();
  const size_t n = pointwise ? pointwise->finish_chunk(buffer) : layered->finish_chunk(buffer);
  if (n == 0) return {};
  if (n > 0xFFFFFFFFu) return laszip_error("IoError: a chunk exceeds 4 GiB");
  chunk_bytes.push_back(static_cast<uint32_t>(n));
  return output->write(buffer);
}

Compressor::Compressor(std::unique_ptr<State> state) : state_(std::move(state)) {}
Compressor::Compressor(Compressor&&) noexcept = default;
Compressor& Compressor::operator=(Compressor&&) noexcept = default;
Compressor::~Compressor() = default;

Result<Compressor> Compressor::create(const LazVlr& vlr, Output& output) {
  auto state = std::make_unique<State>();
  State& s = *state;
  s.output = &output;
  const auto compressor = static_cast<CompressorType>(vlr.compressor);
  if (vlr.compressor > 3) {
    return laszip_error(fmt::format("Compressor type {} is not valid", vlr.compressor));
  }
  if (compressor == CompressorType::None)
    return laszip_error("Compressor type None is not supported");
  if (vlr.coder != 0) {
    return laszip_error(fmt::format("Compressor type {} with coder {} is not supported",
                                    vlr.compressor, vlr.coder));
  }
  if (compressor == CompressorType::LayeredChunked) {
    auto codec = detail::LayeredChunkEncoder::create(vlr.items);
    if (!codec) return tl::unexpected(codec.error());
    s.layered.emplace(std::move(*codec));
  } else {
    auto codec = detail::PointwiseChunkEncoder::create(vlr.items);
    if (!codec) return tl::unexpected(codec.error());
    s.pointwise.emplace(std::move(*codec));
  }
  s.chunked = compressor != CompressorType::PointWise;
  if (s.chunked) {
    if (vlr.chunk_size == 0 || vlr.chunk_size == kVariableChunkSize) {
      return laszip_error(
          fmt::format("Compressor type {} is not supported", "with a variable chunk size"));
    }
    s.chunk_size = vlr.chunk_size;
    // The placeholder is the offset's own position, as a seekable LASzip writer leaves it: a
    // reader that finds it unpatched knows the writer was interrupted.
    s.offset_position = output.position();
    uint8_t placeholder[8];
    detail::store_i64(placeholder, static_cast<int64_t>(s.offset_position));
    if (auto r = output.write(placeholder); !r) return tl::unexpected(r.error());
  }
  return Compressor(std::move(state));
}

Result<void> Compressor::compress(const uint8_t* record) {
  State& s = *state_;
  if (s.chunked && s.open_points() == s.chunk_size) {
    if (auto r = s.close_chunk(); !r) return r;
  }
  if (s.pointwise) {
    s.pointwise->encode(record);
  } else {
    s.layered->encode(record);
  }
  return {};
}

Result<void> Compressor::finish() {
  State& s = *state_;
  if (s.finished) return {};
  s.finished = true;
  if (auto r = s.close_chunk(); !r) return r;
  if (!s.chunked) return {};

  const uint64_t table_position = s.output->position();
  std::vector<uint8_t> table(8);
  detail::store_u32(table.data(), 0);  // chunk table version
  detail::store_u32(table.data() + 4, static_cast<uint32_t>(s.chunk_bytes.size()));
  if (!s.chunk_bytes.empty()) {
    detail::VectorSink sink{&table};
    detail::ArithmeticEncoder<detail::VectorSink> enc(sink);
    detail::IntegerCompressor ic(32, 2);
    uint32_t prev = 0;
    for (const uint32_t bytes : s.chunk_bytes) {
      ic.compress(enc, static_cast<int32_t>(prev), static_cast<int32_t>(bytes), 1);
      prev = bytes;
    }
    enc.done();
  }
  if (auto r = s.output->write(table); !r) return r;
  uint8_t offset[8];
  detail::store_i64(offset, static_cast<int64_t>(table_position));
  return s.output->write_at(s.offset_position, offset);
}

}  // namespace laz
