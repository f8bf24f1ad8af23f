// Opens one LAS or LAZ file (recognised by content), reads and validates its whole header,
// VLRs and EVLRs, and reads its point records.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "las/error.hpp"
#include "las/header.hpp"
#include "las/point.hpp"

namespace las {

// Owns the open file. Movable, not copyable; one thread at a time.
class Reader {
 public:
  // Opens the file at `path` (used unchanged) and reads its header: signature, header block,
  // VLRs, paddings, EVLRs; raises the version when the content needs it (with a warning record
  // to the "las::reader" target); validates and normalises; prepares the point decoder.
  [[nodiscard]] static Result<Reader> open(const std::string& path);

  Reader(Reader&&) noexcept;
  Reader& operator=(Reader&&) noexcept;
  ~Reader();

  [[nodiscard]] const Header& header() const;
  // Number of points handed out so far.
  [[nodiscard]] uint64_t points_read() const;

  // Reads every remaining point; on failure nothing is returned but the error. A second call
  // finds no points left and returns an empty buffer.
  [[nodiscard]] Result<PointBuffer> read_all();
  // Appends up to `max_points` of the next points to `out` (which must have this file's
  // layout); returns how many were appended, 0 at the end.
  [[nodiscard]] Result<size_t> read_points(PointBuffer& out, size_t max_points);

 private:
  struct State;
  explicit Reader(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

}  // namespace las
