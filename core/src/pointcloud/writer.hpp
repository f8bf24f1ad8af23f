// The core's output writer: derives the output header from the first selected tile's header,
// then creates, fills and finalises the output LAS/LAZ file. Writer failures are OutputError
// values carrying the LAS layer's message.
#pragma once

#include <span>
#include <string>

#include "error/error.hpp"
#include "las/header.hpp"
#include "las/point.hpp"
#include "las/writer.hpp"

namespace quarrix_core::pointcloud::writer {

// A copy of the tile header, validated and normalised by the header rules. A failure is the
// PointCloudIO kind (it comes from the tile's header, not from writing).
[[nodiscard]] error::Result<las::Header> derive_output_header(const las::Header& tile_header);

// Owns the output file. Movable, not copyable; created, used and closed on one thread. A
// writer dropped without close() finalises the file itself, so what it leaves behind is a
// complete file holding the points written so far.
class PointCloudWriter {
 public:
  // Creates or truncates `path`; compressed exactly when its extension is "laz" in any case.
  [[nodiscard]] static error::Result<PointCloudWriter> create(const std::string& path,
                                                              las::Header header);

  // Writes every point of every batch, in order, stopping at the first failing point.
  [[nodiscard]] error::Result<void> write_points(std::span<const las::PointBuffer> batches);

  // Finalises the file: EVLRs and the header block with the final counts and bounds. The
  // writer is finished afterwards, whatever the result.
  [[nodiscard]] error::Result<void> close();

 private:
  explicit PointCloudWriter(las::Writer writer) : writer_(std::move(writer)) {}
  las::Writer writer_;
};

}  // namespace quarrix_core::pointcloud::writer
