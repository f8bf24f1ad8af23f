// The tile index and the tile reader against hostile GeoPackages: names that break out of their
// quotes, locations that are folders, devices or hold a NUL byte, a database locked by another
// connection, a WAL-mode file and files cut short. Every case ends in an error value.
#include <sqlite3.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "gpkg_fixture.hpp"
#include "index/reader.hpp"
#include "pointcloud/reader.hpp"

namespace quarrix_core::index::reader {
namespace {

using error::ErrorKind;
using geometry::BoundingBox;
using testing::GpkgWriter;
using testing::TempDir;

constexpr double kInf = std::numeric_limits<double>::infinity();
const BoundingBox kEverything{-kInf, kInf, -kInf, kInf, std::nullopt, std::nullopt};

error::Result<std::vector<tile::TileInfo>> read_all(const std::string& path) {
  auto reader = TileIndexReader::open(path);
  if (!reader) return error::fail(std::move(reader.error()));
  return reader->read_tiles(std::nullopt, kEverything);
}

// A blob as an SQL literal, X'...'.
std::string blob_literal(const testing::Blob& blob) {
  std::string hex = "X'";
  for (const std::uint8_t b : blob) {
    const char* digits = "0123456789ABCDEF";
    hex += digits[b >> 4];
    hex += digits[b & 15];
  }
  return hex + "'";
}

// A plain connection of the test's own, for what the fixture writer does not do.
struct Connection {
  explicit Connection(const std::string& path) {
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) ADD_FAILURE() << "cannot open " << path;
  }
  ~Connection() { sqlite3_close(db); }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  void exec(const std::string& sql) const {
    char* message = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
      ADD_FAILURE() << "SQL failed: " << (message ? message : "?") << "\n" << sql;
    }
    sqlite3_free(message);
  }
  sqlite3* db = nullptr;
};

// The names stored in the metadata are pasted between the query's double quotes as they are:
// a quote inside one ends the identifier early, and what follows is read as SQL.
TEST(TileIndexHostile, NamesWithQuotes) {
  const struct {
    const char* name;
    std::string table;       // as registered in the metadata tables
    std::string real_table;  // the table that exists (created with proper quoting)
    std::string column;      // geometry column, registered and real
    std::string message;     // empty: the tiles are read
  } kCases[] = {
      {"single quotes are harmless", "it's", "it's", "ge'om", ""},
      {"double quote in the table name", "ti\"les", "ti\"les", "geom",
       "Failed to query tiles: Failed to prepare query: unrecognized token: \"\"\""},
      {"double quote in the column name", "tiles", "tiles", "ge\"om",
       "Failed to query tiles: Failed to prepare query: near \"\" FROM \"\": syntax error"},
      {"a parameter smuggled in", "t\" WHERE location = ?1 OR \"x", "t", "geom",
       "Failed to query tiles: Wrong number of parameters passed to query. Got 0, needed 1"},
      {"a second statement is never run", "t\"; DROP TABLE t; --", "t", "geom", ""},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string path = dir.file("index.gpkg");
    {
      GpkgWriter w(path);
      w.metadata();
      auto quoted = [](const std::string& s) {
        std::string out = "\"";
        for (const char ch : s) out += ch == '"' ? std::string("\"\"") : std::string(1, ch);
        return out + "\"";
      };
      w.exec("CREATE TABLE " + quoted(c.real_table) + " (fid INTEGER PRIMARY KEY, " +
             quoted(c.column) + ", location)");
      w.contents(c.table);
      w.geometry_column(c.table, c.column);
      w.exec("INSERT INTO " + quoted(c.real_table) + " (location, " + quoted(c.column) +
             ") VALUES ('a.laz', " + blob_literal(testing::xy_blob(0, 1, 0, 1)) + ")");
    }
    const auto tiles = read_all(path);
    if (c.message.empty()) {
      ASSERT_TRUE(tiles.has_value()) << tiles.error().message();
      ASSERT_EQ(tiles->size(), 1u);
      EXPECT_EQ((*tiles)[0].path, "a.laz");
    } else {
      ASSERT_FALSE(tiles.has_value());
      EXPECT_EQ(tiles.error().kind(), ErrorKind::TileQuery);
      EXPECT_EQ(tiles.error().message(), c.message);
    }
    // Only SELECTs ever run: the table is still there.
    Connection check(path);
    sqlite3_stmt* stmt = nullptr;
    EXPECT_EQ(
        sqlite3_prepare_v2(check.db, "SELECT count(*) FROM t", -1, &stmt, nullptr) == SQLITE_OK,
        c.real_table == "t");
    sqlite3_finalize(stmt);
  }
}

// Locations are paths taken verbatim; what cannot be a tile fails when the tile is opened, with
// the tile reader's message, and never hangs or reads without end.
TEST(TileIndexHostile, LocationsThatAreNoTiles) {
  TempDir dir;
  const std::string folder = dir.path().string();
  const std::string with_nul = std::string("tile.las\0/../other.las", 22);
  const std::string path = dir.file("index.gpkg");
  {
    GpkgWriter w(path);
    w.metadata().feature_table("tiles");
    w.tile("tiles", folder, 0, 1, 0, 1);
    w.tile("tiles", "/dev/zero", 0, 1, 0, 1);
    w.tile("tiles", with_nul, 0, 1, 0, 1);
  }
  const auto tiles = read_all(path);
  ASSERT_TRUE(tiles.has_value()) << tiles.error().message();
  ASSERT_EQ(tiles->size(), 3u);
  EXPECT_EQ((*tiles)[0].path, folder);
  EXPECT_EQ((*tiles)[1].path, "/dev/zero");
  EXPECT_EQ((*tiles)[2].path, with_nul);

  // A file named like the part before the NUL must not be the one opened.
  testing::GpkgWriter(dir.file("tile.las")).close();
  const std::string cwd = std::filesystem::current_path().string();
  std::filesystem::current_path(dir.path());
  const struct {
    std::string path;
    std::string message;
  } kCases[] = {
      {folder, "LAS/LAZ file error: Is a directory (os error 21)"},
      {"/dev/zero", "LAS/LAZ file error: the file signature is not 'LASF': [0, 0, 0, 0]"},
      {with_nul, "LAS/LAZ file error: file name contained an unexpected NUL byte"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.path);
    const auto tile = pointcloud::reader::PointCloudReader::open(c.path);
    ASSERT_FALSE(tile.has_value());
    EXPECT_EQ(tile.error().kind(), ErrorKind::PointCloudIO);
    EXPECT_EQ(tile.error().message(), c.message);
  }
  std::filesystem::current_path(cwd);
}

// The index itself named by a folder or a device.
TEST(TileIndexHostile, IndexPathsThatAreNoDatabases) {
  TempDir dir;
  const struct {
    std::string path;
    ErrorKind kind;
    std::string message;
  } kCases[] = {
      {dir.path().string(), ErrorKind::GeoPackageOpen,
       "Failed to open GeoPackage: unable to open database file: " + dir.path().string()},
      {"/dev/zero", ErrorKind::TileQuery, "Failed to query tiles: no such table: gpkg_contents"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.path);
    const auto tiles = read_all(c.path);
    ASSERT_FALSE(tiles.has_value());
    EXPECT_EQ(tiles.error().kind(), c.kind);
    EXPECT_EQ(tiles.error().message(), c.message);
  }
}

// Another connection holds the database's exclusive lock: the reader waits out its 5 s busy
// timeout, then fails with SQLite's message. (The only slow test here.)
TEST(TileIndexHostile, LockedDatabase) {
  TempDir dir;
  const std::string path = dir.file("index.gpkg");
  {
    GpkgWriter w(path);
    w.metadata().feature_table("tiles").tile("tiles", "a.laz", 0, 1, 0, 1);
  }
  Connection holder(path);
  holder.exec(
      "PRAGMA journal_mode = DELETE; BEGIN EXCLUSIVE; INSERT INTO tiles (location) VALUES ('x')");
  const auto tiles = read_all(path);
  ASSERT_FALSE(tiles.has_value());
  EXPECT_EQ(tiles.error().kind(), ErrorKind::TileQuery);
  EXPECT_EQ(tiles.error().message(), "Failed to query tiles: database is locked");
  holder.exec("ROLLBACK");
  const auto again = read_all(path);
  ASSERT_TRUE(again.has_value()) << again.error().message();
  EXPECT_EQ(again->size(), 1u);
}

// A WAL-mode index whose rows are still only in the write-ahead log is read in full.
TEST(TileIndexHostile, WalModeFile) {
  TempDir dir;
  const std::string path = dir.file("index.gpkg");
  {
    GpkgWriter w(path);
    w.metadata().feature_table("tiles");
  }
  Connection writer(path);
  writer.exec("PRAGMA journal_mode = WAL; PRAGMA wal_autocheckpoint = 0");
  for (int i = 0; i < 50; ++i) {
    writer.exec("INSERT INTO tiles (location, geom) VALUES ('t" + std::to_string(i) + ".laz', " +
                blob_literal(testing::xy_blob(i, i + 1, 0, 1)) + ")");
  }
  ASSERT_TRUE(std::filesystem::exists(path + "-wal"));
  const auto tiles = read_all(path);
  ASSERT_TRUE(tiles.has_value()) << tiles.error().message();
  ASSERT_EQ(tiles->size(), 50u);
  EXPECT_EQ(tiles->back().path, "t49.laz");
}

// An index file cut short, inside its header or in the middle of a page.
TEST(TileIndexHostile, TruncatedFile) {
  TempDir dir;
  const std::string whole = dir.file("whole.gpkg");
  {
    GpkgWriter w(whole);
    w.exec("PRAGMA page_size = 4096");
    w.metadata().feature_table("tiles");
    w.exec("BEGIN");
    for (int i = 0; i < 2000; ++i) {
      w.tile("tiles", "some/long/folder/name/tile_" + std::to_string(i) + ".laz", i, i + 1, 0, 1);
    }
    w.exec("COMMIT");
  }
  const auto size = std::filesystem::file_size(whole);
  ASSERT_GT(size, 10u * 4096u);
  const struct {
    const char* name;
    std::uintmax_t length;
    std::string message;
  } kCases[] = {
      {"inside the file header", 50, "Failed to query tiles: database disk image is malformed"},
      {"in the middle of a page", size / 2 + 1000,
       "Failed to query tiles: database disk image is malformed"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.file(std::string("cut") + std::to_string(c.length) + ".gpkg");
    std::filesystem::copy_file(whole, path);
    std::filesystem::resize_file(path, c.length);
    const auto tiles = read_all(path);
    ASSERT_FALSE(tiles.has_value());
    EXPECT_EQ(tiles.error().kind(), ErrorKind::TileQuery);
    EXPECT_EQ(tiles.error().message(), c.message);
  }
}

}  // namespace
}  // namespace quarrix_core::index::reader
