// Creates a LAS or LAZ file from a header, writes point records into it and finalises it.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "las/error.hpp"
#include "las/header.hpp"
#include "las/point.hpp"

namespace las {

// Whether an output path asks for LASzip compression: its file name has an extension (text
// after the last dot, not a leading dot) that is "laz" in any letter case.
[[nodiscard]] bool path_wants_compression(std::string_view path);

// Owns the output file. Movable, not copyable. A writer destroyed without close() finalises
// the file as close() would (errors of that implicit finalisation are dropped).
class Writer {
 public:
  // Creates or truncates `path`, sets the compression flag from the path's extension, resets
  // counts and bounds, and writes the header block, the VLRs and the VLR padding. A compressed
  // output replaces every LASzip record by a new one at the end of the VLRs; an uncompressed
  // one drops every LASzip record, so that no reader takes it for compressed data.
  [[nodiscard]] static Result<Writer> create(const std::string& path, Header header);

  Writer(Writer&&) noexcept;
  Writer& operator=(Writer&&) noexcept;
  ~Writer();

  // Writes one point, re-quantised onto the output grid. The point is counted (and its
  // bounds taken) before it is encoded, so a point that fails to encode is counted.
  [[nodiscard]] Result<void> write(const Point& point);
  // Writes every point of the buffer in order; records of the output's own layout and grid are
  // copied without decoding. Stops at the first failing point.
  [[nodiscard]] Result<void> write_buffer(const PointBuffer& points);
  // Finishes the point data, writes point padding and EVLRs, rewrites the header block with
  // the final counts and bounds. The writer is finished afterwards, whatever the outcome.
  [[nodiscard]] Result<void> close();

  // The output header as it stands (counts and bounds of the points written so far).
  [[nodiscard]] Header header() const;
  [[nodiscard]] uint64_t points_written() const;

 private:
  struct State;
  explicit Writer(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

}  // namespace las
