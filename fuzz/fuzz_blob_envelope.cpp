// Fuzzes the GeoPackage geometry blob envelope parser: any bytes give a Rect or an
// InvalidGeometry error, and a Rect is always ordered unless a bound is NaN.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "index/reader.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using quarrix_core::index::reader::TileIndexReader;
  const auto bounds =
      TileIndexReader::extract_bounds_from_blob(std::span<const uint8_t>(data, size));
  if (bounds) {
    const auto& r = *bounds;
    const bool x_ordered = r.min_x <= r.max_x || r.min_x != r.min_x || r.max_x != r.max_x;
    const bool y_ordered = r.min_y <= r.max_y || r.min_y != r.min_y || r.max_y != r.max_y;
    if (!x_ordered || !y_ordered || size < 40) std::abort();
  } else {
    if (bounds.error().message().empty()) std::abort();
  }
  return 0;
}
