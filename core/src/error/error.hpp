// The single error type of the core: six kinds, each with one message template, so the words of
// every failure shown to a user are fixed here and filled with the failing layer's own text.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <tl/expected.hpp>

#include "las/error.hpp"

namespace quarrix_core::error {

// Declared in this order; the order is part of the contract.
enum class ErrorKind {
  GeoPackageOpen,
  TileQuery,
  InvalidGeometry,
  PointCloudIO,
  NoTilesFound,
  OutputError
};

// One failure of the core. A value owns its payload (a copy of the text, or the moved-in LAS/LAZ
// error) and refers to no file, connection or reader, so it may outlive whatever failed.
class TileIndexError {
 public:
  [[nodiscard]] static TileIndexError geo_package_open(std::string text);
  [[nodiscard]] static TileIndexError tile_query(std::string text);
  [[nodiscard]] static TileIndexError invalid_geometry(std::string text);
  [[nodiscard]] static TileIndexError output_error(std::string text);
  [[nodiscard]] static TileIndexError no_tiles_found();
  [[nodiscard]] static TileIndexError point_cloud_io(las::Error cause);

  // Passing a LAS/LAZ failure up unchanged always makes PointCloudIO.
  TileIndexError(las::Error cause);  // NOLINT(google-explicit-constructor): implicit on purpose

  [[nodiscard]] ErrorKind kind() const { return kind_; }
  // The kind's name as declared: "GeoPackageOpen", "TileQuery", ...
  [[nodiscard]] std::string_view kind_name() const;
  // The user-facing text: the kind's template filled with the payload, never truncated.
  [[nodiscard]] std::string message() const;
  // The wrapped LAS/LAZ error for PointCloudIO; nullptr for every other kind.
  [[nodiscard]] const las::Error* cause() const;
  // The text payload of the text kinds; empty for PointCloudIO and NoTilesFound.
  [[nodiscard]] const std::string& text() const { return text_; }
  // Diagnostic form: the kind's name followed by its payload, e.g. TileQuery("no such table: x").
  [[nodiscard]] std::string debug() const;

 private:
  TileIndexError(ErrorKind kind, std::string text) : kind_(kind), text_(std::move(text)) {}

  ErrorKind kind_;
  std::string text_;
  std::optional<las::Error> cause_;
};

[[nodiscard]] std::string_view kind_name(ErrorKind kind);

template <class T>
using Result = tl::expected<T, TileIndexError>;

// Shorthand for returning a failure: `return error::fail(TileIndexError::tile_query(...))`.
[[nodiscard]] inline tl::unexpected<TileIndexError> fail(TileIndexError error) {
  return tl::unexpected<TileIndexError>(std::move(error));
}

}  // namespace quarrix_core::error
