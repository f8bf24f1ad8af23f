// The output writer over the LAS layer.
#include "pointcloud/writer.hpp"

#include <utility>

namespace quarrix_core::pointcloud::writer {

namespace {

tl::unexpected<error::TileIndexError> output_error(const las::Error& cause) {
  return error::fail(error::TileIndexError::output_error(cause.message()));
}

}  // namespace

error::Result<las::Header> derive_output_header(const las::Header& tile_header) {
  las::Header header = tile_header;
  if (auto valid = las::validate_and_normalise(header); !valid) {
    return error::fail(error::TileIndexError(std::move(valid.error())));
  }
  return header;
}

error::Result<PointCloudWriter> PointCloudWriter::create(const std::string& path,
                                                         las::Header header) {
  auto writer = las::Writer::create(path, std::move(header));
  if (!writer) return output_error(writer.error());
  return PointCloudWriter(std::move(*writer));
}

error::Result<void> PointCloudWriter::write_points(std::span<const las::PointBuffer> batches) {
  for (const las::PointBuffer& batch : batches) {
    if (auto written = writer_.write_buffer(batch); !written) return output_error(written.error());
  }
  return {};
}

error::Result<void> PointCloudWriter::close() {
  if (auto closed = writer_.close(); !closed) return output_error(closed.error());
  return {};
}

}  // namespace quarrix_core::pointcloud::writer
