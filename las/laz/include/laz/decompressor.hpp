// Sequential decompression of LASzip point data: compressor types 1 (point-wise), 2
// (point-wise chunked) and 3 (layered chunked), fixed or variable chunk sizes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "laz/error.hpp"
#include "laz/io.hpp"
#include "laz/vlr.hpp"

namespace laz {

class Decompressor {
 public:
  // `point_data_offset`: where the point data starts (for chunked data: the 8-byte chunk
  // table offset). Reads the chunk table; every size and offset is checked against
  // input.size() before anything is allocated. `input` must outlive the decompressor.
  [[nodiscard]] static Result<Decompressor> open(const LazVlr& vlr, Input& input,
                                                 uint64_t point_data_offset, uint64_t point_count,
                                                 uint16_t record_length);

  Decompressor(Decompressor&&) noexcept;
  Decompressor& operator=(Decompressor&&) noexcept;
  ~Decompressor();

  // Decompresses the next `count` raw LAS point records (record_length bytes each) into `out`.
  // Asking for more points than the header announced is an error, as is compressed data that
  // ends or breaks before them.
  [[nodiscard]] Result<void> decompress(uint8_t* out, size_t count);

  // Points decompressed so far.
  uint64_t points_read() const;

 private:
  struct State;
  explicit Decompressor(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

}  // namespace laz
