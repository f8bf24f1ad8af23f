// The tile reader over the LAS layer.
#include "pointcloud/reader.hpp"

#include <utility>

namespace quarrix_core::pointcloud::reader {

error::Result<PointCloudReader> PointCloudReader::open(const std::string& path) {
  auto reader = las::Reader::open(path);
  if (!reader) return error::fail(error::TileIndexError(std::move(reader.error())));
  return PointCloudReader(std::move(*reader));
}

error::Result<las::PointBuffer> PointCloudReader::points() {
  auto points = reader_.read_all();
  if (!points) return error::fail(error::TileIndexError(std::move(points.error())));
  return std::move(*points);
}

}  // namespace quarrix_core::pointcloud::reader
