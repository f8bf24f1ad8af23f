// The extraction pipeline: index query on the calling thread, one task per tile on the oneTBB
// pool, output written on the calling thread. The only file of the project that sees oneTBB.
#include "pipeline/executor.hpp"

#include <cstring>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>

#include "index/reader.hpp"
#include "index/tile.hpp"
#include "las/log.hpp"
#include "las/point.hpp"
#include "pipeline/quote_path.hpp"
#include "pointcloud/reader.hpp"
#include "pointcloud/writer.hpp"

namespace quarrix_core::pipeline::executor {
namespace {

using las::log::Level;

// What one tile contributes when it was read: its point count before filtering and its kept
// points, as raw records in the tile's own layout.
struct TileResult {
  std::uint64_t points_read = 0;
  las::PointBuffer kept;
};

// Keeps the points of `points` that lie inside `geometry`, in order. Kept records are moved
// towards the front of the tile's own record storage, which is then cut to the kept length; its
// capacity is given back when it would be more than twice that. So the kept points of a tile cost
// at most about two record sizes each, and nothing is allocated per point.
template <geometry::traits::ExtractGeometry G>
las::PointBuffer filter_points(const G& geometry, las::PointBuffer points) {
  const std::size_t count = points.size();
  const std::size_t length = points.record_length();
  las::RecordBytes& raw = points.raw_mut();
  std::size_t kept = 0;
  for (std::size_t point_index = 0; point_index < count; ++point_index) {
    const las::Xyz p = points.xyz(point_index);
    if (geometry.contains_xyz(p.x, p.y, p.z)) {
      // kept < point_index here, so the two records never overlap.
      if (kept != point_index) {
        std::memcpy(raw.data() + kept * length, raw.data() + point_index * length, length);
      }
      ++kept;
    }
  }
  raw.resize(kept * length);
  if (raw.capacity() / 2 > raw.size()) raw.shrink_to_fit();
  return points;
}

// The per-tile task: open, read, filter. A tile that cannot be opened or read gives a warning
// record and no result; nothing else is reported to the caller.
template <geometry::traits::ExtractGeometry G>
std::optional<TileResult> process_tile(const G& geometry, const index::tile::TileInfo& tile,
                                       bool verbose) {
  if (verbose) LAS_LOG(Level::Info, kLogTarget, "Processing tile: {}", quote_path(tile.path));
  auto reader = pointcloud::reader::PointCloudReader::open(tile.path);
  if (!reader) {
    LAS_LOG(Level::Warn, kLogTarget, "Failed to open {}: {}", quote_path(tile.path),
            reader.error().message());
    return std::nullopt;
  }
  auto points = reader->points();
  if (!points) {
    LAS_LOG(Level::Warn, kLogTarget, "Failed to read points from {}: {}", quote_path(tile.path),
            points.error().message());
    return std::nullopt;
  }
  TileResult result;
  result.points_read = points->size();
  result.kept = filter_points(geometry, std::move(*points));
  if (verbose) {
    LAS_LOG(Level::Info, kLogTarget, "Tile {}: {} -> {} points", quote_path(tile.path),
            result.points_read, result.kept.size());
  }
  return result;
}

}  // namespace

std::uint64_t ExtractionStats::seconds() const {
  return static_cast<std::uint64_t>(
      std::chrono::duration_cast<std::chrono::seconds>(elapsed_time).count());
}

std::uint32_t ExtractionStats::subsec_nanos() const {
  return static_cast<std::uint32_t>((elapsed_time % std::chrono::seconds(1)).count());
}

ExtractionPipeline::ExtractionPipeline(std::string index_path, std::string output_path,
                                       bool verbose)
    : index_path_(std::move(index_path)), output_path_(std::move(output_path)), verbose_(verbose) {}

ExtractionPipeline ExtractionPipeline::make(std::string index_path, std::string output_path,
                                            bool verbose) {
  return ExtractionPipeline(std::move(index_path), std::move(output_path), verbose);
}

namespace detail {
void for_each_tile_in_parallel(std::size_t count, const std::function<void(std::size_t)>& task) {
  // Default pool and partitioner: contiguous runs of tiles, stolen between workers. oneTBB
  // cancels the remaining work and rethrows on this thread when a task throws.
  tbb::parallel_for(tbb::blocked_range<std::size_t>(0, count),
                    [&task](const tbb::blocked_range<std::size_t>& run) {
                      for (std::size_t tile_index = run.begin(); tile_index != run.end();
                           ++tile_index) {
                        task(tile_index);
                      }
                    });
}
}  // namespace detail

template <geometry::traits::ExtractGeometry G>
error::Result<ExtractionStats> ExtractionPipeline::execute(const G& geometry) const {
  const auto start = std::chrono::steady_clock::now();

  if (verbose_) {
    LAS_LOG(Level::Info, kLogTarget, "Opening tile index: {}", quote_path(index_path_));
  }
  auto index = index::reader::TileIndexReader::open(index_path_);
  if (!index) return tl::unexpected(std::move(index.error()));
  auto tiles = index->read_tiles(std::nullopt, geometry);
  if (!tiles) return tl::unexpected(std::move(tiles.error()));
  if (verbose_) {
    LAS_LOG(Level::Info, kLogTarget, "Found {} intersecting tiles", tiles->size());
  }

  // One slot per tile, filled by its own task only, so the results come out in list order
  // whatever the order in which the tasks end.
  std::vector<std::optional<TileResult>> results(tiles->size());
  detail::for_each_tile_in_parallel(tiles->size(), [&](std::size_t tile_index) {
    results[tile_index] = process_tile(geometry, (*tiles)[tile_index], verbose_);
  });

  std::uint64_t points_read = 0;
  std::uint64_t points_written = 0;
  std::vector<las::PointBuffer> kept;
  kept.reserve(results.size());
  for (auto& result : results) {
    if (!result) continue;
    points_read += result->points_read;
    points_written += result->kept.size();
    if (result->kept.size() != 0) kept.push_back(std::move(result->kept));
  }
  results.clear();
  results.shrink_to_fit();
  if (verbose_) {
    LAS_LOG(Level::Info, kLogTarget, "Total: read {} points, writing {} points", points_read,
            points_written);
  }

  if (points_written == 0) {
    LAS_LOG(Level::Warn, kLogTarget, "No points to write!");
  } else {
    // The output copies the first selected tile's header, whether or not that tile was read.
    auto first_tile = pointcloud::reader::PointCloudReader::open(tiles->front().path);
    if (!first_tile) return tl::unexpected(std::move(first_tile.error()));
    auto header = pointcloud::writer::derive_output_header(first_tile->header());
    if (!header) return tl::unexpected(std::move(header.error()));
    auto writer = pointcloud::writer::PointCloudWriter::create(output_path_, std::move(*header));
    if (!writer) return tl::unexpected(std::move(writer.error()));
    if (auto written = writer->write_points(std::span<const las::PointBuffer>(kept)); !written) {
      return tl::unexpected(std::move(written.error()));
    }
    if (auto closed = writer->close(); !closed) return tl::unexpected(std::move(closed.error()));
    if (verbose_) {
      LAS_LOG(Level::Info, kLogTarget, "Wrote output to: {}", quote_path(output_path_));
    }
  }

  ExtractionStats stats;
  stats.tiles_processed = tiles->size();
  stats.points_read = points_read;
  stats.points_written = points_written;
  stats.elapsed_time = std::chrono::duration_cast<std::chrono::nanoseconds>(
      std::chrono::steady_clock::now() - start);
  return stats;
}

template error::Result<ExtractionStats> ExtractionPipeline::execute(
    const geometry::BoundingBox&) const;
template error::Result<ExtractionStats> ExtractionPipeline::execute(
    const geometry::cylinder::VerticalCylinder&) const;
template error::Result<ExtractionStats> ExtractionPipeline::execute(
    const geometry::frustum::Frustum&) const;

}  // namespace quarrix_core::pipeline::executor
