// Compressor types 1 and 2 (point-wise LASzip): one arithmetic-coded stream per chunk in which
// every record is coded item after item. A chunk starts with its first record stored raw; the
// coder starts right after it and ends with the encoder's closing bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "laz/error.hpp"
#include "laz/vlr.hpp"

namespace laz::detail {

// Decodes point-wise chunks. Not thread-safe; one per reader. Movable.
class PointwiseChunkDecoder {
 public:
  // Accepts POINT10 first, then GPSTIME11, RGB12, WAVEPACKET13 and BYTE items, versions 1 and
  // 2 (WAVEPACKET13: 1).
  [[nodiscard]] static Result<PointwiseChunkDecoder> create(std::span<const LazItem> items);

  PointwiseChunkDecoder(PointwiseChunkDecoder&&) noexcept;
  PointwiseChunkDecoder& operator=(PointwiseChunkDecoder&&) noexcept;
  ~PointwiseChunkDecoder();

  uint16_t record_length() const;

  // Starts a chunk of `points` (>= 1) points. `chunk` begins at the chunk's first byte and may
  // extend past its end; it must stay valid until the chunk's last point is decoded.
  [[nodiscard]] Result<void> begin_chunk(std::span<const uint8_t> chunk, uint64_t points);

  // Points of the current chunk not yet decoded.
  uint64_t remaining() const;

  // Decodes the next `count` (<= remaining()) records into `out`. Compressed data that ends
  // too early yields Error{Io, "failed to fill whole buffer"}.
  [[nodiscard]] Result<void> decode(uint8_t* out, size_t count);

  // Bytes of the current chunk read so far; after its last point, the chunk's size.
  size_t consumed() const;

 private:
  struct State;
  explicit PointwiseChunkDecoder(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

// Encodes point-wise chunks, byte for byte as the LASzip compressor does. Movable.
class PointwiseChunkEncoder {
 public:
  // Accepts POINT10 v2 first, then GPSTIME11 v2, RGB12 v2, WAVEPACKET13 v1 and BYTE v2.
  [[nodiscard]] static Result<PointwiseChunkEncoder> create(std::span<const LazItem> items);

  PointwiseChunkEncoder(PointwiseChunkEncoder&&) noexcept;
  PointwiseChunkEncoder& operator=(PointwiseChunkEncoder&&) noexcept;
  ~PointwiseChunkEncoder();

  uint16_t record_length() const;

  // Adds one record to the open chunk; the first one is stored raw.
  void encode(const uint8_t* record);

  // Points in the open chunk.
  uint32_t point_count() const;

  // Closes the open chunk (if it holds any point): appends its bytes to `out` and starts a new,
  // empty chunk. Returns the number of bytes appended.
  size_t finish_chunk(std::vector<uint8_t>& out);

 private:
  struct State;
  explicit PointwiseChunkEncoder(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

}  // namespace laz::detail
