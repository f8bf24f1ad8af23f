// Whole extractions on a generated set of 16 tiles and 10 240 000 points, uncompressed and LAZ:
// points read per second of wall time (the work runs on the pool, not on the benchmark thread).
// The tiles are generated once into $QUARRIX_BENCH_DIR (default /tmp/quarrix-extract-bench) and
// reused by later runs; peak memory is measured from outside, e.g.
//   /usr/bin/time -v core_bench --benchmark_filter=BM_Extract_Las_KeepAll
#include <sqlite3.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include "geometry/bounding_box.hpp"
#include "las/header.hpp"
#include "las/point.hpp"
#include "las/writer.hpp"
#include "pipeline/executor.hpp"

namespace {

namespace fs = std::filesystem;
using quarrix_core::geometry::BoundingBox;
using quarrix_core::pipeline::executor::ExtractionPipeline;

constexpr int kGridSide = 4;  // 4 x 4 tiles
constexpr std::uint64_t kPointsPerTile = 640'000;
constexpr double kTileSize = 100.0;
constexpr double kOriginX = 400000.0;
constexpr double kOriginY = 5000000.0;
constexpr const char* kStamp = "complete-v1";

fs::path bench_root() {
  const char* dir = std::getenv("QUARRIX_BENCH_DIR");
  return dir != nullptr ? fs::path(dir) : fs::temp_directory_path() / "quarrix-extract-bench";
}

las::Header tile_header() {
  las::Header header;
  header.version = las::Version{1, 2};
  header.point_format = las::PointFormat{1, false, 0};
  header.transforms.x = las::Transform{0.01, kOriginX};
  header.transforms.y = las::Transform{0.01, kOriginY};
  header.transforms.z = las::Transform{0.01, 0.0};
  header.system_identifier = "quarrix bench";
  header.generating_software = "extract_bench";
  return header;
}

// Terrain with vegetation above it: z from 100 to about 140, one to three returns.
void write_tile(const fs::path& path, int column, int row, std::uint32_t seed) {
  auto writer = las::Writer::create(path.string(), tile_header());
  if (!writer) throw std::runtime_error(writer.error().message());
  std::mt19937_64 random(seed);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const double min_x = kOriginX + column * kTileSize;
  const double min_y = kOriginY + row * kTileSize;
  las::Point point;
  point.gps_time = 0.0;
  for (std::uint64_t i = 0; i < kPointsPerTile; ++i) {
    point.x = min_x + unit(random) * (kTileSize - 0.01);
    point.y = min_y + unit(random) * (kTileSize - 0.01);
    const double vegetation = unit(random) < 0.4 ? unit(random) * 30.0 : 0.0;
    point.z = 100.0 + 5.0 * std::sin(point.x / 40.0) + vegetation;
    point.intensity = static_cast<std::uint16_t>(unit(random) * 4000);
    point.number_of_returns = vegetation > 0.0 ? 3 : 1;
    point.return_number =
        static_cast<std::uint8_t>(vegetation > 0.0 ? 1 + static_cast<int>(unit(random) * 3) : 1);
    point.classification = vegetation > 0.0 ? 5 : 2;
    point.point_source_id = static_cast<std::uint16_t>(row * kGridSide + column);
    point.gps_time = static_cast<double>(i) * 1e-5;
    if (auto written = writer->write(point); !written) {
      throw std::runtime_error(written.error().message());
    }
  }
  if (auto closed = writer->close(); !closed) throw std::runtime_error(closed.error().message());
}

void write_index(const fs::path& path, const std::vector<std::pair<fs::path, int>>& tiles) {
  fs::remove(path);
  sqlite3* raw = nullptr;
  if (sqlite3_open(path.c_str(), &raw) != SQLITE_OK) throw std::runtime_error("sqlite open");
  std::unique_ptr<sqlite3, decltype(&sqlite3_close)> db(raw, &sqlite3_close);
  const char* schema =
      "PRAGMA synchronous = OFF;"
      "CREATE TABLE gpkg_contents (table_name TEXT PRIMARY KEY, data_type TEXT NOT NULL);"
      "CREATE TABLE gpkg_geometry_columns (table_name TEXT, column_name TEXT);"
      "INSERT INTO gpkg_contents VALUES ('tiles', 'features');"
      "INSERT INTO gpkg_geometry_columns VALUES ('tiles', 'geom');"
      "CREATE TABLE tiles (fid INTEGER PRIMARY KEY, geom BLOB, location TEXT);";
  if (sqlite3_exec(db.get(), schema, nullptr, nullptr, nullptr) != SQLITE_OK) {
    throw std::runtime_error(sqlite3_errmsg(db.get()));
  }
  for (const auto& [tile_path, cell] : tiles) {
    const double min_x = kOriginX + (cell % kGridSide) * kTileSize;
    const double min_y = kOriginY + (cell / kGridSide) * kTileSize;
    std::vector<std::uint8_t> blob{'G', 'P', 0, 0x03, 0xff, 0xff, 0xff, 0xff};
    for (double v : {min_x, min_x + kTileSize - 0.01, min_y, min_y + kTileSize - 0.01}) {
      const auto* bytes = reinterpret_cast<const std::uint8_t*>(&v);
      blob.insert(blob.end(), bytes, bytes + sizeof v);
    }
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db.get(), "INSERT INTO tiles (geom, location) VALUES (?1, ?2)", -1, &stmt,
                       nullptr);
    sqlite3_bind_blob(stmt, 1, blob.data(), static_cast<int>(blob.size()), SQLITE_TRANSIENT);
    const std::string location = tile_path.string();
    sqlite3_bind_text(stmt, 2, location.c_str(), -1, SQLITE_TRANSIENT);
    const int step = sqlite3_step(stmt);
    sqlite3_finalize(stmt);
    if (step != SQLITE_DONE) throw std::runtime_error(sqlite3_errmsg(db.get()));
  }
}

// The data set of one kind ("las" or "laz"), generated on first use; returns the index path.
fs::path data_set(const std::string& kind) {
  const fs::path dir = bench_root() / kind;
  const fs::path index = dir / "tiles.gpkg";
  if (fs::exists(dir / kStamp)) return index;
  fs::create_directories(dir);
  std::vector<std::pair<fs::path, int>> tiles;
  for (int cell = 0; cell < kGridSide * kGridSide; ++cell) {
    const fs::path path = dir / fmt::format("tile_{:02}.{}", cell, kind);
    write_tile(path, cell % kGridSide, cell / kGridSide, static_cast<std::uint32_t>(cell + 1));
    tiles.emplace_back(path, cell);
  }
  write_index(index, tiles);
  std::ofstream(dir / kStamp) << "16 tiles x 640000 points\n";
  return index;
}

// Runs the extraction once per iteration into a fresh output file.
void run(benchmark::State& state, const std::string& kind, const BoundingBox& box,
         const std::string& output_name) {
  const fs::path index = data_set(kind);
  const fs::path output = bench_root() / output_name;
  const auto pipeline = ExtractionPipeline::make(index.string(), output.string(), false);
  std::uint64_t points_read = 0;
  std::uint64_t points_written = 0;
  for (auto _ : state) {
    auto stats = pipeline.execute(box);
    if (!stats) {
      state.SkipWithError(stats.error().message().c_str());
      return;
    }
    benchmark::DoNotOptimize(stats);
    points_read += stats->points_read;
    points_written = stats->points_written;
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(points_read));
  state.counters["points_written"] = static_cast<double>(points_written);
  fs::remove(output);
}

const double kWholeMinX = kOriginX;
const double kWholeMaxX = kOriginX + kGridSide * kTileSize;
const double kWholeMinY = kOriginY;
const double kWholeMaxY = kOriginY + kGridSide * kTileSize;

// Every tile is read; the thin z band keeps about 1 % of the points: reading and filtering.
const BoundingBox kThinBand{kWholeMinX, kWholeMaxX, kWholeMinY, kWholeMaxY, 120.0, 120.8};
// Every tile is read and the ground points (about 60 %) are written: the kept records are
// compacted within each tile's storage.
const BoundingBox kGround{kWholeMinX, kWholeMaxX, kWholeMinY, kWholeMaxY, {}, 105.0};
// Every point is written.
const BoundingBox kEverything{kWholeMinX, kWholeMaxX, kWholeMinY, kWholeMaxY, {}, {}};

void BM_Extract_Las_ReadFilter(benchmark::State& state) { run(state, "las", kThinBand, "out.las"); }
void BM_Extract_Las_KeepGround(benchmark::State& state) { run(state, "las", kGround, "out.las"); }
void BM_Extract_Las_KeepAll(benchmark::State& state) { run(state, "las", kEverything, "out.las"); }
void BM_Extract_Laz_ReadFilter(benchmark::State& state) { run(state, "laz", kThinBand, "out.las"); }
void BM_Extract_Laz_KeepGround(benchmark::State& state) { run(state, "laz", kGround, "out.las"); }
void BM_Extract_Laz_KeepGroundToLaz(benchmark::State& state) {
  run(state, "laz", kGround, "out.laz");
}

BENCHMARK(BM_Extract_Las_ReadFilter)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Extract_Las_KeepGround)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Extract_Las_KeepAll)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Extract_Laz_ReadFilter)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Extract_Laz_KeepGround)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Extract_Laz_KeepGroundToLaz)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);

}  // namespace
