// File access the codec needs from its caller: random reads for decompression, a sequential
// sink with one patch-back for compression. Called per chunk, never per point.
#pragma once

#include <cstdint>
#include <span>

#include "laz/error.hpp"

namespace laz {

class Input {
 public:
  virtual ~Input() = default;
  // Fills all of `dst` from `offset`; a short read is Error{Io, "failed to fill whole buffer"}.
  [[nodiscard]] virtual Result<void> read_at(uint64_t offset, std::span<uint8_t> dst) = 0;
  virtual uint64_t size() const = 0;
};

class Output {
 public:
  virtual ~Output() = default;
  [[nodiscard]] virtual Result<void> write(std::span<const uint8_t> bytes) = 0;
  virtual uint64_t position() const = 0;
  // Overwrites bytes already written (the chunk table offset); the position does not move.
  [[nodiscard]] virtual Result<void> write_at(uint64_t offset, std::span<const uint8_t> bytes) = 0;
};

}  // namespace laz
