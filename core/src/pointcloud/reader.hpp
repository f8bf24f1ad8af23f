// The core's tile reader: one open LAS/LAZ tile, its header and its points, with every
// failure reported as the PointCloudIO kind wrapping the LAS layer's error.
#pragma once

#include <string>

#include "error/error.hpp"
#include "las/header.hpp"
#include "las/point.hpp"
#include "las/reader.hpp"

namespace quarrix_core::pointcloud::reader {

// Owns one open tile (read-only, behind an 8192-byte read buffer). Movable, not copyable;
// used by one thread at a time. Several readers of different tiles may be open at once.
class PointCloudReader {
 public:
  // Opens the tile at `path` (used unchanged) and reads and validates its whole header.
  [[nodiscard]] static error::Result<PointCloudReader> open(const std::string& path);

  // The tile header; valid while the reader lives. Reads nothing.
  [[nodiscard]] const las::Header& header() const { return reader_.header(); }

  // Every remaining point, in file order, as the tile's raw records. The first failing record
  // ends the call with its error and nothing else. A second call returns an empty buffer.
  [[nodiscard]] error::Result<las::PointBuffer> points();

 private:
  explicit PointCloudReader(las::Reader reader) : reader_(std::move(reader)) {}
  las::Reader reader_;
};

}  // namespace quarrix_core::pointcloud::reader
