// Message templates and renderings of TileIndexError.
#include "error/error.hpp"

#include <utility>

#include <fmt/format.h>

namespace quarrix_core::error {

TileIndexError TileIndexError::geo_package_open(std::string text) {
  return TileIndexError(ErrorKind::GeoPackageOpen, std::move(text));
}

TileIndexError TileIndexError::tile_query(std::string text) {
  return TileIndexError(ErrorKind::TileQuery, std::move(text));
}

TileIndexError TileIndexError::invalid_geometry(std::string text) {
  return TileIndexError(ErrorKind::InvalidGeometry, std::move(text));
}

TileIndexError TileIndexError::output_error(std::string text) {
  return TileIndexError(ErrorKind::OutputError, std::move(text));
}

TileIndexError TileIndexError::no_tiles_found() {
  return TileIndexError(ErrorKind::NoTilesFound, std::string());
}

TileIndexError TileIndexError::point_cloud_io(las::Error cause) {
  return TileIndexError(std::move(cause));
}

TileIndexError::TileIndexError(las::Error cause)
    : kind_(ErrorKind::PointCloudIO), cause_(std::move(cause)) {}

std::string_view kind_name(ErrorKind kind) {
  switch (kind) {
    case ErrorKind::GeoPackageOpen:
      return "GeoPackageOpen";
    case ErrorKind::TileQuery:
      return "TileQuery";
    case ErrorKind::InvalidGeometry:
      return "InvalidGeometry";
    case ErrorKind::PointCloudIO:
      return "PointCloudIO";
    case ErrorKind::NoTilesFound:
      return "NoTilesFound";
    case ErrorKind::OutputError:
      return "OutputError";
  }
  return "Unknown";
}

std::string_view TileIndexError::kind_name() const { return error::kind_name(kind_); }

std::string TileIndexError::message() const {
  switch (kind_) {
    case ErrorKind::GeoPackageOpen:
      return fmt::format("Failed to open GeoPackage: {}", text_);
    case ErrorKind::TileQuery:
      return fmt::format("Failed to query tiles: {}", text_);
    case ErrorKind::InvalidGeometry:
      return fmt::format("Invalid geometry in tile index: {}", text_);
    case ErrorKind::PointCloudIO:
      return fmt::format("LAS/LAZ file error: {}", cause_ ? cause_->message() : std::string());
    case ErrorKind::NoTilesFound:
      return "No tiles found intersecting the extraction geometry";
    case ErrorKind::OutputError:
      return fmt::format("Output file error: {}", text_);
  }
  return std::string();
}

const las::Error* TileIndexError::cause() const {
  return kind_ == ErrorKind::PointCloudIO && cause_ ? &*cause_ : nullptr;
}

std::string TileIndexError::debug() const {
  switch (kind_) {
    case ErrorKind::NoTilesFound:
      return std::string(kind_name());
    case ErrorKind::PointCloudIO:
      if (cause_ && cause_->os_error() != 0) {
        return fmt::format("PointCloudIO(las::Error {{ message: {:?}, os_error: {} }})",
                           cause_->message(), cause_->os_error());
      }
      return fmt::format("PointCloudIO(las::Error {{ message: {:?} }})",
                         cause_ ? cause_->message() : std::string());
    default:
      return fmt::format("{}({:?})", kind_name(), text_);
  }
}

}  // namespace quarrix_core::error
