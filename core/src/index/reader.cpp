// The GeoPackage tile index on SQLite's C API. sqlite3.h is included here and nowhere else.
#include "index/reader.hpp"

#include <sqlite3.h>

#include <bit>
#include <cstddef>
#include <cstring>
#include <string_view>
#include <utility>

#include <fmt/format.h>

namespace quarrix_core::index::reader {

namespace {

using error::TileIndexError;
using geometry::Rect;
using tile::TileInfo;

// SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX
constexpr int kOpenFlags = 0x8046;
static_assert(kOpenFlags ==
              (SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX));
constexpr int kBusyTimeoutMs = 5000;

constexpr std::string_view kListTablesSql =
    "SELECT table_name FROM gpkg_contents WHERE data_type = 'features'";
constexpr std::string_view kGeometryColumnSql =
    "SELECT column_name FROM gpkg_geometry_columns WHERE table_name = ?1";

// GeoPackageBinary header: magic "GP", version, flags, srs_id, then the envelope.
constexpr std::size_t kBlobHeaderSize = 8;
constexpr std::size_t kEnvelopeXyEnd = 40;  // minx, maxx, miny, maxy: bytes 8 to 39

struct FinalizeStatement {
  void operator()(sqlite3_stmt* stmt) const noexcept { sqlite3_finalize(stmt); }
};
using Statement = std::unique_ptr<sqlite3_stmt, FinalizeStatement>;

// Where a byte string stops being valid UTF-8: the length of its valid prefix, and how many bytes
// form the offending sequence (0 when the text ends in the middle of a sequence).
struct Utf8Fault {
  std::size_t valid_up_to;
  std::size_t error_len;
};

// Checks one sequence starting at `i`; returns its length, or 0 with `bad` set to the length of
// the maximal invalid subpart (0 when the input ends before the sequence does).
std::size_t utf8_sequence(std::string_view s, std::size_t i, std::size_t& bad) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char lead = byte(i);
  if (lead < 0x80) return 1;
  std::size_t width = 0;
  unsigned char lo = 0x80;
  unsigned char hi = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    width = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    width = 3;
    if (lead == 0xE0) lo = 0xA0;  // overlong
    if (lead == 0xED) hi = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    width = 4;
    if (lead == 0xF0) lo = 0x90;  // overlong
    if (lead == 0xF4) hi = 0x8F;  // above U+10FFFF
  } else {
    bad = 1;
    return 0;
  }
  for (std::size_t k = 1; k < width; ++k) {
    if (i + k >= s.size()) {
      bad = 0;
      return 0;
    }
    const unsigned char c = byte(i + k);
    const unsigned char min = k == 1 ? lo : 0x80;
    const unsigned char max = k == 1 ? hi : 0xBF;
    if (c < min || c > max) {
      bad = k;
      return 0;
    }
  }
  return width;
}

std::optional<Utf8Fault> find_utf8_fault(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    std::size_t bad = 0;
    const std::size_t width = utf8_sequence(s, i, bad);
    if (width == 0) return Utf8Fault{i, bad};
    i += width;
  }
  return std::nullopt;
}

// Invalid sequences become U+FFFD, one per maximal invalid subpart.
std::string utf8_lossy(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  while (!s.empty()) {
    const auto fault = find_utf8_fault(s);
    if (!fault) {
      out += s;
      break;
    }
    out += s.substr(0, fault->valid_up_to);
    out += "\xEF\xBF\xBD";
    const std::size_t skip =
        fault->error_len == 0 ? s.size() : fault->valid_up_to + fault->error_len;
    s.remove_prefix(skip);
  }
  return out;
}

std::string sqlite_message(sqlite3* db) {
  const char* message = sqlite3_errmsg(db);
  return utf8_lossy(message != nullptr ? message : "");
}

std::string_view storage_class_name(int type) {
  switch (type) {
    case SQLITE_INTEGER:
      return "Integer";
    case SQLITE_FLOAT:
      return "Real";
    case SQLITE_TEXT:
      return "Text";
    case SQLITE_BLOB:
      return "Blob";
    default:
      return "Null";
  }
}

std::string invalid_column_type(sqlite3_stmt* stmt, int column, int type) {
  const char* name = sqlite3_column_name(stmt, column);
  return fmt::format("Invalid column type {} at index: {}, name: {}", storage_class_name(type),
                     column, name != nullptr ? name : "");
}

// A column that must hold text: only the TEXT storage class, and only valid UTF-8.
tl::expected<std::string, std::string> column_text(sqlite3_stmt* stmt, int column) {
  const int type = sqlite3_column_type(stmt, column);
  if (type != SQLITE_TEXT) return tl::unexpected(invalid_column_type(stmt, column, type));
  const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
  const int length = sqlite3_column_bytes(stmt, column);
  std::string text =
      bytes != nullptr ? std::string(bytes, static_cast<std::size_t>(length)) : std::string();
  if (const auto fault = find_utf8_fault(text)) {
    const std::string description =
        fault->error_len == 0
            ? fmt::format("incomplete utf-8 byte sequence from index {}", fault->valid_up_to)
            : fmt::format("invalid utf-8 sequence of {} bytes from index {}", fault->error_len,
                          fault->valid_up_to);
    return tl::unexpected(
        fmt::format("Conversion error from type {} at index: {}, {}", "Text", column, description));
  }
  return text;
}

// A column that must hold a blob; the bytes live until the statement steps again.
tl::expected<std::span<const std::uint8_t>, std::string> column_blob(sqlite3_stmt* stmt,
                                                                     int column) {
  const int type = sqlite3_column_type(stmt, column);
  if (type != SQLITE_BLOB) return tl::unexpected(invalid_column_type(stmt, column, type));
  const void* data = sqlite3_column_blob(stmt, column);
  const int length = sqlite3_column_bytes(stmt, column);
  if (data == nullptr || length <= 0) return std::span<const std::uint8_t>();
  return std::span<const std::uint8_t>(static_cast<const std::uint8_t*>(data),
                                       static_cast<std::size_t>(length));
}

// Compiles the first statement of `sql`; the tail is ignored. Failure: SQLite's message.
tl::expected<Statement, std::string> prepare(sqlite3* db, std::string_view sql) {
  sqlite3_stmt* raw = nullptr;
  const char* tail = nullptr;
  const int rc = sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &raw, &tail);
  Statement stmt(raw);
  if (rc != SQLITE_OK) return tl::unexpected(sqlite_message(db));
  return stmt;
}

// true for a row, false when the rows are done; the statement is reset at the end and on failure.
tl::expected<bool, std::string> step(sqlite3* db, sqlite3_stmt* stmt) {
  if (stmt == nullptr) return false;  // an empty statement yields no rows
  const int rc = sqlite3_step(stmt);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) {
    sqlite3_reset(stmt);
    return false;
  }
  std::string message = sqlite_message(db);
  sqlite3_reset(stmt);
  return tl::unexpected(std::move(message));
}

double little_endian_double(std::span<const std::uint8_t> bytes, std::size_t offset) {
  std::uint64_t bits = 0;
  for (std::size_t k = 0; k < 8; ++k) {
    bits |= static_cast<std::uint64_t>(bytes[offset + k]) << (8 * k);
  }
  return std::bit_cast<double>(bits);
}

// Compiled without threads, or configured for single-thread use: in the latter case SQLite's
// mutex allocator is its no-op one, which hands out a fixed non-null token (the address 8)
// instead of a real mutex.
bool sqlite_is_single_threaded() {
  if (sqlite3_threadsafe() == 0) return true;
  sqlite3_mutex* mutex = sqlite3_mutex_alloc(SQLITE_MUTEX_FAST);
  if (mutex == nullptr || reinterpret_cast<std::uintptr_t>(mutex) == 8) return true;
  sqlite3_mutex_free(mutex);
  return false;
}

}  // namespace

void TileIndexReader::CloseConnection::operator()(sqlite3* db) const noexcept { sqlite3_close(db); }

error::Result<TileIndexReader> TileIndexReader::open(const std::string& path) {
  if (const auto nul = path.find('\0'); nul != std::string::npos) {
    return error::fail(TileIndexError::geo_package_open(
        fmt::format("nul byte found in provided data at position: {}", nul)));
  }
  if (sqlite_is_single_threaded()) {
    return error::fail(TileIndexError::geo_package_open(
        "SQLite was compiled or configured for single-threaded use only"));
  }

  sqlite3* raw = nullptr;
  const int rc = sqlite3_open_v2(path.c_str(), &raw, kOpenFlags, nullptr);
  Connection db(raw);  // closes any handle on every path below
  if (rc != SQLITE_OK) {
    if (!db) return error::fail(TileIndexError::geo_package_open(utf8_lossy(path)));
    std::string message = sqlite_message(db.get());
    if ((rc & 0xff) == SQLITE_CANTOPEN) message = fmt::format("{}: {}", message, utf8_lossy(path));
    return error::fail(TileIndexError::geo_package_open(std::move(message)));
  }
  sqlite3_extended_result_codes(db.get(), 1);
  if (sqlite3_busy_timeout(db.get(), kBusyTimeoutMs) != SQLITE_OK) {
    return error::fail(TileIndexError::geo_package_open(sqlite_message(db.get())));
  }
  return TileIndexReader(std::move(db));
}

error::Result<std::vector<std::string>> TileIndexReader::list_tables() const {
  auto stmt = prepare(db_.get(), kListTablesSql);
  if (!stmt) return error::fail(TileIndexError::tile_query(std::move(stmt.error())));
  std::vector<std::string> tables;
  while (true) {
    auto row = step(db_.get(), stmt->get());
    if (!row) return error::fail(TileIndexError::tile_query(std::move(row.error())));
    if (!*row) break;
    auto name = column_text(stmt->get(), 0);
    if (!name) {
      sqlite3_reset(stmt->get());
      return error::fail(TileIndexError::tile_query(std::move(name.error())));
    }
    tables.push_back(std::move(*name));
  }
  return tables;
}

error::Result<std::string> TileIndexReader::find_geometry_column(const std::string& table) const {
  auto stmt = prepare(db_.get(), kGeometryColumnSql);
  if (!stmt) return error::fail(TileIndexError::tile_query(std::move(stmt.error())));
  const auto no_column = [&](const std::string& why) {
    return error::fail(TileIndexError::tile_query(
        fmt::format("No geometry column found for table '{}': {}", table, why)));
  };
  if (sqlite3_bind_text(stmt->get(), 1, table.data(), static_cast<int>(table.size()),
                        SQLITE_TRANSIENT) != SQLITE_OK) {
    return no_column(sqlite_message(db_.get()));
  }
  auto row = step(db_.get(), stmt->get());
  if (!row) return no_column(row.error());
  if (!*row) return no_column("Query returned no rows");
  auto column = column_text(stmt->get(), 0);
  sqlite3_reset(stmt->get());
  if (!column) return no_column(column.error());
  return std::move(*column);
}

error::Result<Rect> TileIndexReader::extract_bounds_from_blob(std::span<const std::uint8_t> blob) {
  if (blob.size() < kBlobHeaderSize) {
    return error::fail(TileIndexError::invalid_geometry("Geometry blob too short"));
  }
  if (blob[0] != 0x47 || blob[1] != 0x50) {
    return error::fail(TileIndexError::invalid_geometry("Invalid GeoPackage geometry magic bytes"));
  }
  // Envelope contents indicator: bits 1-3 of the flags. The byte-order bit (bit 0) is ignored
  // on purpose: the envelope is always read little-endian.
  const unsigned envelope = (static_cast<unsigned>(blob[3]) >> 1) & 7u;
  if (envelope == 0) {
    return error::fail(TileIndexError::invalid_geometry(
        "Geometry has no envelope - WKB parsing not yet implemented"));
  }
  if (envelope >= 5) {
    return error::fail(
        TileIndexError::invalid_geometry(fmt::format("Unknown envelope type: {}", envelope)));
  }
  // Every envelope kind starts with minx, maxx, miny, maxy; z and m ranges are neither required
  // nor read, so 40 bytes suffice whatever the kind.
  if (blob.size() < kEnvelopeXyEnd) {
    return error::fail(TileIndexError::invalid_geometry("Geometry blob too short for envelope"));
  }
  const double min_x = little_endian_double(blob, 8);
  const double max_x = little_endian_double(blob, 16);
  const double min_y = little_endian_double(blob, 24);
  const double max_y = little_endian_double(blob, 32);
  return Rect::make(min_x, min_y, max_x, max_y);
}

error::Result<std::vector<TileInfo>> TileIndexReader::read_all_tiles(
    const std::optional<std::string>& table) const {
  std::string table_name;
  if (table) {
    table_name = *table;
  } else {
    auto tables = list_tables();
    if (!tables) return error::fail(std::move(tables.error()));
    if (tables->empty()) {
      return error::fail(TileIndexError::tile_query("No feature tables found"));
    }
    table_name = std::move(tables->front());
  }
  auto column = find_geometry_column(table_name);
  if (!column) return error::fail(std::move(column.error()));

  // Names go between the quotes exactly as read, nothing escaped.
  const std::string sql = fmt::format("SELECT location, \"{}\" FROM \"{}\"", *column, table_name);
  auto stmt = prepare(db_.get(), sql);
  if (!stmt) {
    return error::fail(
        TileIndexError::tile_query(fmt::format("Failed to prepare query: {}", stmt.error())));
  }
  if (const int count = sqlite3_bind_parameter_count(stmt->get()); count != 0) {
    return error::fail(TileIndexError::tile_query(
        fmt::format("Wrong number of parameters passed to query. Got {}, needed {}", 0, count)));
  }

  std::vector<TileInfo> tiles;
  while (true) {
    auto row = step(db_.get(), stmt->get());
    if (!row) return error::fail(TileIndexError::tile_query(std::move(row.error())));
    if (!*row) break;
    // The first bad row fails the whole call; the statement is finalized on the way out.
    auto location = column_text(stmt->get(), 0);
    if (!location) return error::fail(TileIndexError::tile_query(std::move(location.error())));
    auto blob = column_blob(stmt->get(), 1);
    if (!blob) return error::fail(TileIndexError::tile_query(std::move(blob.error())));
    auto bounds = extract_bounds_from_blob(*blob);
    if (!bounds) return error::fail(TileIndexError::tile_query(bounds.error().message()));
    tiles.push_back(TileInfo{std::move(*location), *bounds});
  }
  return tiles;
}

template <geometry::traits::ExtractGeometry G>
error::Result<std::vector<TileInfo>> TileIndexReader::read_tiles(
    const std::optional<std::string>& table, const G& geometry) const {
  auto tiles = read_all_tiles(table);
  if (!tiles) return tiles;
  // In place and in row order: survivors move down, no second list.
  std::erase_if(*tiles, [&](const TileInfo& t) { return !geometry.intersects_rect(t.bounds); });
  if (tiles->empty()) return error::fail(TileIndexError::no_tiles_found());
  return tiles;
}

template error::Result<std::vector<TileInfo>> TileIndexReader::read_tiles<geometry::BoundingBox>(
    const std::optional<std::string>&, const geometry::BoundingBox&) const;
template error::Result<std::vector<TileInfo>>
TileIndexReader::read_tiles<geometry::cylinder::VerticalCylinder>(
    const std::optional<std::string>&, const geometry::cylinder::VerticalCylinder&) const;
template error::Result<std::vector<TileInfo>>
TileIndexReader::read_tiles<geometry::frustum::Frustum>(const std::optional<std::string>&,
                                                        const geometry::frustum::Frustum&) const;

}  // namespace quarrix_core::index::reader
