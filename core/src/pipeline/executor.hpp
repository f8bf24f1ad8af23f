// One extraction from start to end: the tile query, the parallel read and filter of the selected
// tiles, and the output file of the kept points in tile order, with the statistics of the run.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "error/error.hpp"
#include "geometry/bounding_box.hpp"
#include "geometry/cylinder.hpp"
#include "geometry/frustum.hpp"
#include "geometry/traits.hpp"

namespace quarrix_core::pipeline::executor {

// Target of every progress and warning record of the pipeline.
inline constexpr const char* kLogTarget = "quarrix_core::pipeline::executor";

// What a successful extraction reports. Plain data.
struct ExtractionStats {
  // Every tile the query selected, including tiles skipped because they could not be read.
  std::uint64_t tiles_processed = 0;
  // All points of the tiles that were read, before filtering.
  std::uint64_t points_read = 0;
  // Points that passed the geometry filter and were handed to the writer.
  std::uint64_t points_written = 0;
  // Monotonic time from the start of the extraction to the end of its work.
  std::chrono::nanoseconds elapsed_time{0};

  // Whole seconds of elapsed_time.
  [[nodiscard]] std::uint64_t seconds() const;
  // The part of elapsed_time below one second, 0 to 999 999 999.
  [[nodiscard]] std::uint32_t subsec_nanos() const;
};

// The configuration of one extraction; immutable once made. execute() may be called any number
// of times, each call independent of the others. Not safe to call execute() from two threads at
// once on the same output path (they would write the same file), otherwise const and shareable.
class ExtractionPipeline {
 public:
  // Copies the paths unchanged; nothing is checked or resolved here.
  [[nodiscard]] static ExtractionPipeline make(std::string index_path, std::string output_path,
                                               bool verbose);

  // Runs the extraction: selects the tiles that meet `geometry` in the GeoPackage index, reads
  // and filters them on the process-wide worker pool, and writes the kept points (tile order,
  // then point order) to the output path; no file is written when no point is kept. Tiles that
  // cannot be opened or read are skipped with a warning record. Errors: those of the index
  // (GeoPackageOpen, TileQuery, NoTilesFound), PointCloudIO when the first tile cannot be opened
  // again for the output header or the header cannot be derived, OutputError from the writer.
  // A C++ exception raised inside a tile's task (a broken invariant, std::bad_alloc) is thrown
  // again on the calling thread after every task has ended, and no output is written then.
  // Exists for BoundingBox, VerticalCylinder and Frustum.
  template <geometry::traits::ExtractGeometry G>
  [[nodiscard]] error::Result<ExtractionStats> execute(const G& geometry) const;

  [[nodiscard]] const std::string& index_path() const { return index_path_; }
  [[nodiscard]] const std::string& output_path() const { return output_path_; }
  [[nodiscard]] bool verbose() const { return verbose_; }

 private:
  ExtractionPipeline(std::string index_path, std::string output_path, bool verbose);

  std::string index_path_;
  std::string output_path_;
  bool verbose_ = false;
};

extern template error::Result<ExtractionStats> ExtractionPipeline::execute(
    const geometry::BoundingBox&) const;
extern template error::Result<ExtractionStats> ExtractionPipeline::execute(
    const geometry::cylinder::VerticalCylinder&) const;
extern template error::Result<ExtractionStats> ExtractionPipeline::execute(
    const geometry::frustum::Frustum&) const;

namespace detail {
// Runs task(i) for every i in [0, count) on the process-wide worker pool and returns when all
// have ended. Contiguous runs of indices go to the workers, which steal from each other. An
// exception thrown by a task is thrown again here, after the parallel phase. Exposed for tests.
void for_each_tile_in_parallel(std::size_t count, const std::function<void(std::size_t)>& task);
}  // namespace detail

}  // namespace quarrix_core::pipeline::executor
