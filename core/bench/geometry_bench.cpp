// Speed of the per-point tests that run once for every point read by an extraction.
#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

#include <benchmark/benchmark.h>

#include "geometry/bounding_box.hpp"
#include "geometry/cylinder.hpp"
#include "geometry/frustum.hpp"

namespace {

using quarrix_core::geometry::BoundingBox;
using quarrix_core::geometry::cylinder::VerticalCylinder;
using quarrix_core::geometry::frustum::Frustum;

constexpr std::size_t kPoints = 1 << 16;

// Points scattered in a 100 m cube around (1000, 2000, 50), as x, y, z triples.
const std::vector<double>& points() {
  static const std::vector<double> xyz = [] {
    std::mt19937_64 rng(42);
    std::uniform_real_distribution<double> d(-50.0, 50.0);
    std::vector<double> v(kPoints * 3);
    for (std::size_t i = 0; i < kPoints; ++i) {
      v[3 * i] = 1000.0 + d(rng);
      v[3 * i + 1] = 2000.0 + d(rng);
      v[3 * i + 2] = 50.0 + d(rng);
    }
    return v;
  }();
  return xyz;
}

template <class G>
void run(benchmark::State& state, const G& geometry) {
  const std::vector<double>& xyz = points();
  for (auto _ : state) {
    std::uint64_t kept = 0;
    for (std::size_t i = 0; i < kPoints; ++i) {
      kept += geometry.contains_xyz(xyz[3 * i], xyz[3 * i + 1], xyz[3 * i + 2]) ? 1u : 0u;
    }
    benchmark::DoNotOptimize(kept);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kPoints));
  state.SetBytesProcessed(
      static_cast<std::int64_t>(state.iterations() * kPoints * 3 * sizeof(double)));
}

void BM_Frustum_ContainsXyz(benchmark::State& state) {
  const auto frustum = Frustum::make(1000, 2000, 50, 30, -20, 120, 40, 5, 45);
  run(state, *frustum);
}
BENCHMARK(BM_Frustum_ContainsXyz);

void BM_Frustum_ContainsXyzWrapping(benchmark::State& state) {
  const auto frustum = Frustum::make(1000, 2000, 50, 300, -20, 60, 40, 0, 45);
  run(state, *frustum);
}
BENCHMARK(BM_Frustum_ContainsXyzWrapping);

void BM_Cylinder_ContainsXyz(benchmark::State& state) {
  run(state, VerticalCylinder{1000, 2000, 30});
}
BENCHMARK(BM_Cylinder_ContainsXyz);

void BM_BoundingBox_ContainsXyz(benchmark::State& state) {
  run(state, BoundingBox{980, 1020, 1980, 2020, 30.0, 70.0});
}
BENCHMARK(BM_BoundingBox_ContainsXyz);

void BM_Frustum_ComputeBoundingBox(benchmark::State& state) {
  const auto frustum = Frustum::make(1000, 2000, 50, 300, -20, 60, 40, 0, 45);
  for (auto _ : state) {
    benchmark::DoNotOptimize(frustum->compute_bounding_box());
  }
}
BENCHMARK(BM_Frustum_ComputeBoundingBox);

}  // namespace
