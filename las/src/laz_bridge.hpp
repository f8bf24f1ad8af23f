// The LAS layer's side of the LASzip codec: the codec's file access over our buffered files,
// and its errors turned into ours ("laszip error: {}" for description problems, the I/O text
// as is for failures while decoding points).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "file_io.hpp"
#include "las/error.hpp"
#include "las/header.hpp"

namespace las::lazio {

// Sequential decompression of the point records of one compressed tile.
class PointDecompressor {
 public:
  PointDecompressor(PointDecompressor&&) noexcept;
  PointDecompressor& operator=(PointDecompressor&&) noexcept;
  ~PointDecompressor();

  // `laszip_data` is the data of the tile's LASzip record. The decompressor reads the file
  // through positioned reads; `file` must outlive it.
  [[nodiscard]] static Result<PointDecompressor> open(std::span<const uint8_t> laszip_data,
                                                      const PointFormat& format,
                                                      const io::InputFile& file,
                                                      uint64_t offset_to_point_data,
                                                      uint64_t point_count);
  // The next `count` raw records, record_length bytes each, into `out`.
  [[nodiscard]] Result<void> decompress(uint8_t* out, size_t count);

 private:
  struct Impl;
  explicit PointDecompressor(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

// Compression of an output's point records in LASzip chunks.
class PointCompressor {
 public:
  PointCompressor(PointCompressor&&) noexcept;
  PointCompressor& operator=(PointCompressor&&) noexcept;
  ~PointCompressor();

  // The data of the LASzip record we write for `format`.
  [[nodiscard]] static std::vector<uint8_t> describe(const PointFormat& format);
  // Starts the point data at the file's position (the chunk-table offset placeholder).
  // `file` must outlive the compressor.
  [[nodiscard]] static Result<PointCompressor> create(const PointFormat& format,
                                                      io::OutputFile& file);
  [[nodiscard]] Result<void> compress(const uint8_t* record);
  // Last chunk, chunk table, and the chunk-table offset patched in.
  [[nodiscard]] Result<void> finish();

 private:
  struct Impl;
  explicit PointCompressor(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace las::lazio
