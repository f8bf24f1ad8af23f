// Scale and offset of one axis (world = stored * scale + offset), the three-axis vector of
// them, and the coordinate bounds of a header.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "las/error.hpp"

namespace las {

// Rounds to the nearest integer, halves away from zero (as std::round), without a library
// call: the writer does this three times per point.
[[nodiscard]] inline double round_half_away(double value) {
  // NaN, infinities and magnitudes of 2^52 and more are already whole (or not numbers).
  if (!(std::fabs(value) < 4503599627370496.0)) return value;
  double whole = static_cast<double>(static_cast<int64_t>(value));
  const double fraction = value - whole;  // exact below 2^52
  if (fraction >= 0.5) {
    whole += 1.0;
  } else if (fraction <= -0.5) {
    whole -= 1.0;
  }
  return whole;
}

struct Transform {
  double scale = 0.001;
  double offset = 0.0;

  // A product then a sum, each rounded to double (the build disables contraction into FMA).
  [[nodiscard]] double direct(int32_t stored) const {
    return static_cast<double>(stored) * scale + offset;
  }
  // (value - offset) / scale rounded half away from zero; "the transform `{} * x + {}` cannot
  // be inversely applied to {}" when the result does not fit 32 bits. NaN gives 0.
  [[nodiscard]] Result<int32_t> inverse(double value) const {
    const double stored = round_half_away((value - offset) / scale);
    if (stored >= -2147483648.0 && stored <= 2147483647.0) return static_cast<int32_t>(stored);
    if (std::isnan(stored)) return 0;
    return inverse_failure(stored);
  }
  // "`0.01 * x + 0`"
  [[nodiscard]] std::string text() const;

 private:
  [[nodiscard]] tl::unexpected<Error> inverse_failure(double stored) const;

 public:
  friend bool operator==(const Transform&, const Transform&) = default;
};

template <class T>
struct Vector {
  T x{};
  T y{};
  T z{};
  friend bool operator==(const Vector&, const Vector&) = default;
};

using Transforms = Vector<Transform>;

struct Bounds {
  Vector<double> min{std::numeric_limits<double>::infinity(),
                     std::numeric_limits<double>::infinity(),
                     std::numeric_limits<double>::infinity()};
  Vector<double> max{-std::numeric_limits<double>::infinity(),
                     -std::numeric_limits<double>::infinity(),
                     -std::numeric_limits<double>::infinity()};

  // Widens to include the point; a NaN coordinate never moves a bound.
  void grow(double x, double y, double z) {
    if (x < min.x) min.x = x;
    if (x > max.x) max.x = x;
    if (y < min.y) min.y = y;
    if (y > max.y) max.y = y;
    if (z < min.z) min.z = z;
    if (z > max.z) max.z = z;
  }
  friend bool operator==(const Bounds&, const Bounds&) = default;
};

// Widens bounds outward onto the integer grid of the transforms: each minimum becomes
// offset + scale * floor((min - offset) / scale), each maximum the same with ceil. Infinite
// values stay; a grid index outside 32 bits fails like Transform::inverse.
[[nodiscard]] Result<Bounds> widen_to_grid(const Bounds& bounds, const Transforms& transforms);

}  // namespace las
