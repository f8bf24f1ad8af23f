// Sequential LASzip compression, byte for byte as the reference compressor writes it: the
// chunk table offset, the chunks, then the chunk table.
#pragma once

#include <cstdint>
#include <memory>

#include "laz/error.hpp"
#include "laz/io.hpp"
#include "laz/vlr.hpp"

namespace laz {

class Compressor {
 public:
  // Checks the description (compressor 1, 2 or 3 with a fixed chunk size and items we can
  // write) and, for chunked compressors, writes the 8-byte chunk table offset placeholder at
  // output.position(). `output` must outlive the compressor.
  [[nodiscard]] static Result<Compressor> create(const LazVlr& vlr, Output& output);

  Compressor(Compressor&&) noexcept;
  Compressor& operator=(Compressor&&) noexcept;
  ~Compressor();

  // Adds one raw record (the sum of the item sizes); closes a chunk every chunk_size points.
  [[nodiscard]] Result<void> compress(const uint8_t* record);

  // Writes the last chunk and the chunk table, then patches the chunk table offset.
  [[nodiscard]] Result<void> finish();

 private:
  struct State;
  explicit Compressor(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

}  // namespace laz
