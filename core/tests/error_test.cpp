// Message templates, causes and the diagnostic rendering of TileIndexError.
#include "error/error.hpp"

#include <cerrno>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

namespace quarrix_core::error {
namespace {

TEST(TileIndexError, TextKindsFillTheirTemplates) {
  const struct {
    const char* name;
    TileIndexError error;
    ErrorKind kind;
    const char* kind_name;
    std::string message;
  } kCases[] = {
      {"open", TileIndexError::geo_package_open("unable to open database file: /x/y.gpkg"),
       ErrorKind::GeoPackageOpen, "GeoPackageOpen",
       "Failed to open GeoPackage: unable to open database file: /x/y.gpkg"},
      {"query", TileIndexError::tile_query("No feature tables found"), ErrorKind::TileQuery,
       "TileQuery", "Failed to query tiles: No feature tables found"},
      {"geometry", TileIndexError::invalid_geometry("Geometry blob too short"),
       ErrorKind::InvalidGeometry, "InvalidGeometry",
       "Invalid geometry in tile index: Geometry blob too short"},
      {"output", TileIndexError::output_error("No such file or directory (os error 2)"),
       ErrorKind::OutputError, "OutputError",
       "Output file error: No such file or directory (os error 2)"},
      {"empty text keeps the blank", TileIndexError::tile_query(""), ErrorKind::TileQuery,
       "TileQuery", "Failed to query tiles: "},
      {"empty open text", TileIndexError::geo_package_open(""), ErrorKind::GeoPackageOpen,
       "GeoPackageOpen", "Failed to open GeoPackage: "},
      {"newlines and quotes unchanged", TileIndexError::output_error("a\n\"b\"\n'c'"),
       ErrorKind::OutputError, "OutputError", "Output file error: a\n\"b\"\n'c'"},
      {"no tiles", TileIndexError::no_tiles_found(), ErrorKind::NoTilesFound, "NoTilesFound",
       "No tiles found intersecting the extraction geometry"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.error.kind(), c.kind);
    EXPECT_EQ(c.error.kind_name(), c.kind_name);
    EXPECT_EQ(c.error.message(), c.message);
    EXPECT_EQ(c.error.cause(), nullptr);
  }
}

TEST(TileIndexError, NoTilesFoundIsTheFixedSentence) {
  const std::string message = TileIndexError::no_tiles_found().message();
  EXPECT_EQ(message, "No tiles found intersecting the extraction geometry");
  EXPECT_EQ(message.size(), 51u);
}

TEST(TileIndexError, NestedMessageIsInsertedUnchanged) {
  const TileIndexError inner = TileIndexError::invalid_geometry("Geometry blob too short");
  const TileIndexError outer = TileIndexError::tile_query(inner.message());
  EXPECT_EQ(outer.message(),
            "Failed to query tiles: Invalid geometry in tile index: Geometry blob too short");
}

TEST(TileIndexError, LongPayloadIsNeverTruncated) {
  const std::string text(100000, 'x');
  EXPECT_EQ(TileIndexError::tile_query(text).message(), "Failed to query tiles: " + text);
}

TEST(TileIndexError, LasErrorConvertsToPointCloudIo) {
  const TileIndexError error = las::Error::text("failed to fill whole buffer");  // implicit
  EXPECT_EQ(error.kind(), ErrorKind::PointCloudIO);
  EXPECT_EQ(error.kind_name(), "PointCloudIO");
  EXPECT_EQ(error.message(), "LAS/LAZ file error: failed to fill whole buffer");
  ASSERT_NE(error.cause(), nullptr);
  EXPECT_EQ(error.cause()->message(), "failed to fill whole buffer");
  EXPECT_EQ(error.cause()->os_error(), 0);
}

TEST(TileIndexError, OsErrorRendersDescriptionAndNumber) {
  const Result<int> result = tl::unexpected<TileIndexError>(las::Error::os(ENOENT));
  ASSERT_FALSE(result.has_value());
  const std::string expected =
      std::string("LAS/LAZ file error: ") + std::strerror(ENOENT) + " (os error 2)";
  EXPECT_EQ(result.error().message(), expected);
  EXPECT_EQ(result.error().message(), "LAS/LAZ file error: No such file or directory (os error 2)");
  ASSERT_NE(result.error().cause(), nullptr);
  EXPECT_EQ(result.error().cause()->os_error(), ENOENT);
}

TEST(TileIndexError, ExplicitPointCloudIoMatchesConversion) {
  const TileIndexError made = TileIndexError::point_cloud_io(las::Error::text("boom"));
  const TileIndexError converted = las::Error::text("boom");
  EXPECT_EQ(made.message(), converted.message());
  EXPECT_EQ(made.kind(), converted.kind());
}

TEST(TileIndexError, DebugShowsKindNameAndPayload) {
  const struct {
    const char* name;
    TileIndexError error;
    std::string debug;
  } kCases[] = {
      {"text", TileIndexError::tile_query("no such table: gpkg_contents"),
       "TileQuery(\"no such table: gpkg_contents\")"},
      {"quotes escaped", TileIndexError::geo_package_open("a\"b\n"),
       "GeoPackageOpen(\"a\\\"b\\n\")"},
      {"no payload", TileIndexError::no_tiles_found(), "NoTilesFound"},
      {"wrapped", las::Error::text("bad"), "PointCloudIO(las::Error { message: \"bad\" })"},
      {"wrapped os", las::Error::os(ENOENT),
       "PointCloudIO(las::Error { message: \"No such file or directory (os error 2)\", "
       "os_error: 2 })"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.error.debug(), c.debug);
  }
}

TEST(TileIndexError, ValuesMoveWithTheirPayload) {
  TileIndexError a = TileIndexError::output_error("disk full");
  TileIndexError b = std::move(a);
  EXPECT_EQ(b.message(), "Output file error: disk full");
  TileIndexError c = las::Error::text("x");
  c = std::move(b);
  EXPECT_EQ(c.kind(), ErrorKind::OutputError);
  EXPECT_EQ(c.cause(), nullptr);
}

}  // namespace
}  // namespace quarrix_core::error
