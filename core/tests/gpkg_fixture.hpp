// Tiny GeoPackage tile indexes written with raw SQL into a temporary folder, for what a GIS
// library would never write: NULLs, wrong storage classes, broken blobs and odd metadata.
#pragma once

#include <sqlite3.h>
#include <stdlib.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include <gtest/gtest.h>

namespace quarrix_core::testing {

// A fresh folder under the system temp folder, removed with everything in it.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quarrix-core-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed";
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  [[nodiscard]] const std::filesystem::path& path() const { return path_; }
  [[nodiscard]] std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

using Blob = std::vector<std::uint8_t>;
struct Null {};
// A value of one SQLite storage class.
using Value = std::variant<Null, std::int64_t, double, std::string, Blob>;

// A GeoPackageBinary blob: "GP", version 0, `flags`, srs_id 0, the x/y envelope, then zero bytes
// up to `size` (or cut short at `size`).
inline Blob gp_blob(std::uint8_t flags, double min_x, double max_x, double min_y, double max_y,
                    std::size_t size = 61) {
  Blob blob = {0x47, 0x50, 0x00, flags, 0, 0, 0, 0};
  for (const double v : {min_x, max_x, min_y, max_y}) {
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    for (int k = 0; k < 8; ++k) blob.push_back(static_cast<std::uint8_t>(bits >> (8 * k)));
  }
  blob.resize(size, 0);
  return blob;
}

// An envelope of kind E = 1 (x/y), little-endian: flags 0x03 as GDAL writes it.
inline Blob xy_blob(double min_x, double max_x, double min_y, double max_y) {
  return gp_blob(0x03, min_x, max_x, min_y, max_y);
}

// Writes a GeoPackage skeleton with raw SQL. Failures are test failures.
class GpkgWriter {
 public:
  explicit GpkgWriter(const std::string& path) {
    sqlite3* raw = nullptr;
    if (sqlite3_open(path.c_str(), &raw) != SQLITE_OK) ADD_FAILURE() << "cannot create " << path;
    db_.reset(raw);
    // Fixtures are throw-away: skip the journal and the syncs.
    exec("PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF");
  }

  void exec(const std::string& sql) {
    char* message = nullptr;
    if (sqlite3_exec(db_.get(), sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
      ADD_FAILURE() << "SQL failed: " << (message ? message : "?") << "\n" << sql;
    }
    sqlite3_free(message);
  }

  // The two metadata tables of the GeoPackage standard, reduced to the columns that matter.
  GpkgWriter& metadata() {
    exec(
        "CREATE TABLE gpkg_contents (table_name TEXT NOT NULL PRIMARY KEY, data_type TEXT NOT "
        "NULL, identifier TEXT, description TEXT DEFAULT '', min_x DOUBLE, min_y DOUBLE, max_x "
        "DOUBLE, max_y DOUBLE, srs_id INTEGER);"
        "CREATE TABLE gpkg_geometry_columns (table_name TEXT NOT NULL, column_name TEXT NOT "
        "NULL, geometry_type_name TEXT NOT NULL, srs_id INTEGER NOT NULL, z TINYINT NOT NULL, m "
        "TINYINT NOT NULL);");
    return *this;
  }

  GpkgWriter& contents(const std::string& table, const std::string& data_type = "features") {
    insert("gpkg_contents", {"table_name", "data_type"}, {table, data_type});
    return *this;
  }

  GpkgWriter& geometry_column(const std::string& table, const std::string& column) {
    insert(
        "gpkg_geometry_columns",
        {"table_name", "column_name", "geometry_type_name", "srs_id", "z", "m"},
        {table, column, std::string("POLYGON"), std::int64_t{0}, std::int64_t{0}, std::int64_t{0}});
    return *this;
  }

  // A feature table without column types, so every storage class can be stored, registered in
  // both metadata tables.
  GpkgWriter& feature_table(const std::string& table, const std::string& geometry = "geom") {
    exec("CREATE TABLE \"" + table + "\" (fid INTEGER PRIMARY KEY, \"" + geometry +
         "\", location)");
    contents(table);
    geometry_column(table, geometry);
    return *this;
  }

  GpkgWriter& row(const std::string& table, const Value& location, const Value& geometry,
                  const std::string& geometry_column_name = "geom") {
    insert(table, {"location", geometry_column_name}, {location, geometry});
    return *this;
  }

  GpkgWriter& tile(const std::string& table, const std::string& location, double min_x,
                   double max_x, double min_y, double max_y) {
    return row(table, location, xy_blob(min_x, max_x, min_y, max_y));
  }

  void insert(const std::string& table, const std::vector<std::string>& columns,
              const std::vector<Value>& values) {
    std::string sql = "INSERT INTO \"" + table + "\" (";
    std::string marks;
    for (std::size_t i = 0; i < columns.size(); ++i) {
      sql += (i ? ", \"" : "\"") + columns[i] + "\"";
      marks += i ? ", ?" : "?";
    }
    sql += ") VALUES (" + marks + ")";
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db_.get(), sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
      ADD_FAILURE() << "prepare failed: " << sqlite3_errmsg(db_.get()) << "\n" << sql;
      return;
    }
    for (std::size_t i = 0; i < values.size(); ++i) {
      const int index = static_cast<int>(i + 1);
      const Value& v = values[i];
      if (std::holds_alternative<Null>(v)) {
        sqlite3_bind_null(stmt, index);
      } else if (const auto* n = std::get_if<std::int64_t>(&v)) {
        sqlite3_bind_int64(stmt, index, *n);
      } else if (const auto* d = std::get_if<double>(&v)) {
        sqlite3_bind_double(stmt, index, *d);
      } else if (const auto* s = std::get_if<std::string>(&v)) {
        sqlite3_bind_text(stmt, index, s->data(), static_cast<int>(s->size()), SQLITE_TRANSIENT);
      } else {
        const Blob& b = std::get<Blob>(v);
        // A zero-length blob must stay a blob, not become NULL.
        sqlite3_bind_zeroblob(stmt, index, 0);
        if (!b.empty()) {
          sqlite3_bind_blob(stmt, index, b.data(), static_cast<int>(b.size()), SQLITE_TRANSIENT);
        }
      }
    }
    if (sqlite3_step(stmt) != SQLITE_DONE) {
      ADD_FAILURE() << "insert failed: " << sqlite3_errmsg(db_.get());
    }
    sqlite3_finalize(stmt);
  }

  void close() { db_.reset(); }

 private:
  struct Close {
    void operator()(sqlite3* db) const noexcept { sqlite3_close(db); }
  };
  std::unique_ptr<sqlite3, Close> db_;
};

}  // namespace quarrix_core::testing
