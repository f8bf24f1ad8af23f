// Frustum: construction and its refusals, the point test at its edges, the bounding rectangle's
// worked values (it reaches max_distance when the elevations span the horizontal) and a property
// test that the rectangle holds every point the frustum accepts.
#include "geometry/frustum.hpp"

#include <cmath>
#include <limits>
#include <random>
#include <string>

#include <gtest/gtest.h>

namespace quarrix_core::geometry::frustum {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kPi = 3.141592653589793;

double deg(double radians) { return radians / kDegreesToRadians; }

Frustum make(double phi1, double theta1, double phi2, double theta2, double min_distance = 0,
             double max_distance = 10) {
  auto f = Frustum::make(0, 0, 0, phi1, theta1, phi2, theta2, min_distance, max_distance);
  EXPECT_TRUE(f.has_value()) << (f ? "" : f.error());
  return *f;
}

// A point at the given distance, azimuth (clockwise from north) and elevation, in degrees.
struct Polar {
  double distance, azimuth, elevation;
};
void point_at(const Polar& p, double& x, double& y, double& z) {
  const double a = p.azimuth * kDegreesToRadians;
  const double e = p.elevation * kDegreesToRadians;
  x = p.distance * std::cos(e) * std::sin(a);
  y = p.distance * std::cos(e) * std::cos(a);
  z = p.distance * std::sin(e);
}

TEST(Frustum, ConstantsAreTheDoublesOfTheirAngles) {
  EXPECT_EQ(kDegreesToRadians, kPi / 180.0);
  EXPECT_EQ(kFullTurn, 2.0 * kPi);
  EXPECT_EQ(kFullCircleThreshold, 2.0 * kPi - 1e-9);
  for (const Cardinal& c : kCardinals) {
    SCOPED_TRACE(c.azimuth);
    EXPECT_EQ(c.sin, std::sin(c.azimuth));
    EXPECT_EQ(c.cos, std::cos(c.azimuth));
  }
  EXPECT_EQ(kEast.azimuth, kPi / 2);
  EXPECT_EQ(kSouth.azimuth, kPi);
  EXPECT_EQ(kWest.azimuth, 3 * kPi / 2);
}

TEST(Frustum, MakeRefusesBadDistances) {
  const struct {
    const char* name;
    double min_distance, max_distance;
    std::string message;
  } kCases[] = {
      {"negative min", -1, 10, "min_distance must be non-negative, got -1"},
      {"NaN min", kNaN, 10, "min_distance must be non-negative, got NaN"},
      {"NaN min before inverted", kNaN, -5, "min_distance must be non-negative, got NaN"},
      {"negative min before inverted", -2.5, -5, "min_distance must be non-negative, got -2.5"},
      {"-inf min", -kInf, 10, "min_distance must be non-negative, got -inf"},
      {"tiny negative min", -5e-324, 10,
       "min_distance must be non-negative, got -0." + std::string(323, '0') + "5"},
      {"inverted", 5, 2, "max_distance (2) must be >= min_distance (5)"},
      {"inverted fractions", 0.5, 0.25, "max_distance (0.25) must be >= min_distance (0.5)"},
      {"NaN max", 0, kNaN, "max_distance (NaN) must be >= min_distance (0)"},
      {"huge min", 1e21, 1, "max_distance (1) must be >= min_distance (1000000000000000000000)"},
      {"inf min finite max", kInf, 1e300,
       "max_distance (1" + std::string(300, '0') + ") must be >= min_distance (inf)"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const auto f = Frustum::make(0, 0, 0, 0, 0, 90, 0, c.min_distance, c.max_distance);
    ASSERT_FALSE(f.has_value());
    EXPECT_EQ(f.error(), c.message);
  }
}

TEST(Frustum, MakeAcceptsEdgeDistancesAndAnyAngle) {
  const struct {
    const char* name;
    double phi1, theta1, phi2, theta2, min_distance, max_distance;
  } kCases[] = {
      {"zero range", 0, 0, 90, 0, 0, 0},
      {"equal distances", 0, 0, 90, 0, 5, 5},
      {"negative zero min", 0, 0, 90, 0, -0.0, 1},
      {"infinite far limit", 0, 0, 90, 0, 0, kInf},
      {"infinite both", 0, 0, 90, 0, kInf, kInf},
      {"NaN angles", kNaN, kNaN, kNaN, kNaN, 0, 1},
      {"infinite angles", kInf, -kInf, -kInf, kInf, 0, 1},
      {"elevations beyond vertical", 0, -200, 90, 200, 0, 1},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_TRUE(
        Frustum::make(0, 0, 0, c.phi1, c.theta1, c.phi2, c.theta2, c.min_distance, c.max_distance)
            .has_value());
  }
}

TEST(Frustum, StoresOriginAndDistancesUnchanged) {
  const auto f = Frustum::make(1.5, -2.5, 3.25, 0, -10, 90, 30, 2, 7);
  ASSERT_TRUE(f.has_value());
  EXPECT_EQ(f->origin_x(), 1.5);
  EXPECT_EQ(f->origin_y(), -2.5);
  EXPECT_EQ(f->origin_z(), 3.25);
  EXPECT_EQ(f->min_distance(), 2);
  EXPECT_EQ(f->max_distance(), 7);
  EXPECT_EQ(f->theta_min(), -10 * kDegreesToRadians);
  EXPECT_EQ(f->theta_max(), 30 * kDegreesToRadians);
}

TEST(Frustum, AzimuthRanges) {
  const struct {
    const char* name;
    double phi1, phi2;
    double phi_min_deg, phi_max_deg;
    bool wraps;
    bool full;
  } kCases[] = {
      {"quarter", 0, 90, 0, 90, false, false},
      {"across east", 80, 100, 80, 100, false, false},
      {"through north", 350, 10, 350, 10, true, false},
      {"through north reversed", 10, 350, 350, 10, true, false},
      {"shorter arc through north", 0, 200, 200, 0, true, false},
      {"half turn takes smaller to larger", 0, 180, 0, 180, false, false},
      {"half turn reversed", 180, 0, 0, 180, false, false},
      {"narrow wedge through north", 0, 359.85, 359.85, 0, true, false},
      {"negative corner", -10, 10, 350, 10, true, false},
      {"beyond a turn", 370, 380, 10, 20, false, false},
      {"span 359.95 is full", 0, 359.95, 0, 360, false, true},
      {"span 0.05 is full", 90, 90.05, 0, 360, false, true},
      {"span 360 is full", 10, 370, 0, 360, false, true},
      {"equal corners are full", 45, 45, 0, 360, false, true},
      {"span exactly 0.1 is full", 0, 0.1, 0, 360, false, true},
      {"infinite corner is full", 0, kInf, 0, 360, false, true},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const Frustum f = make(c.phi1, 0, c.phi2, 0);
    EXPECT_NEAR(deg(f.phi_min()), c.phi_min_deg, 1e-9);
    EXPECT_NEAR(deg(f.phi_max()), c.phi_max_deg, 1e-9);
    EXPECT_EQ(f.phi_wraps(), c.wraps);
    if (c.full) {
      EXPECT_EQ(f.phi_min(), 0.0);
      EXPECT_EQ(f.phi_max(), kFullTurn);
    }
  }
}

TEST(Frustum, ElevationOrderDoesNotMatter) {
  const Frustum a = make(0, 30, 90, -10);
  const Frustum b = make(0, -10, 90, 30);
  EXPECT_EQ(a.theta_min(), -10 * kDegreesToRadians);
  EXPECT_EQ(a.theta_max(), 30 * kDegreesToRadians);
  EXPECT_EQ(a.theta_min(), b.theta_min());
  EXPECT_EQ(a.theta_max(), b.theta_max());
}

TEST(Frustum, ContainsXyzByAzimuth) {
  const struct {
    const char* name;
    double phi1, phi2;
    double azimuth;  // of a horizontal point at distance 5
    bool inside;
  } kCases[] = {
      {"350-10 north", 350, 10, 0, true},
      {"350-10 east", 350, 10, 90, false},
      {"10-350 north", 10, 350, 0, true},
      {"10-350 east", 10, 350, 90, false},
      {"350-10 at 355", 350, 10, 355, true},
      {"350-10 at 5", 350, 10, 5, true},
      {"0-200 west", 0, 200, 270, true},
      {"0-200 at 100", 0, 200, 100, false},
      {"0-180 east", 0, 180, 90, true},
      {"0-180 west", 0, 180, 270, false},
      {"0-180 south", 0, 180, 180, true},
      {"0-180 north", 0, 180, 0, true},
      {"full 0-359.95 at 180", 0, 359.95, 180, true},
      {"full 90-90.05 at 300", 90, 90.05, 300, true},
      {"full 10-370 at 200", 10, 370, 200, true},
      {"wedge 0-359.85 north", 0, 359.85, 0, true},
      {"wedge 0-359.85 at 359.9", 0, 359.85, 359.9, true},
      {"wedge 0-359.85 at 1", 0, 359.85, 1, false},
      {"wedge 0-359.85 at 359.8", 0, 359.85, 359.8, false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const Frustum f = make(c.phi1, -90, c.phi2, 90);
    double x, y, z;
    point_at({5, c.azimuth, 0}, x, y, z);
    EXPECT_EQ(f.contains_xyz(x, y, z), c.inside);
  }
}

TEST(Frustum, ContainsXyzEdges) {
  const Frustum shell = make(0, -90, 360, 90, 5, 5);
  const Frustum full_up = make(0, 0, 360, 90, 0, 10);
  const Frustum narrow_up = make(10, 0, 20, 90, 0, 10);
  const Frustum from_zero = make(350, -10, 10, 30, 0, 10);
  const Frustum from_two = make(350, -10, 10, 30, 2, 10);
  const Frustum above_horizon = make(350, 5, 10, 30, 0, 10);
  const Frustum east_only = make(80, -10, 100, 30, 0, 10);
  const Frustum quarter = make(0, -45, 90, 45, 0, 10);
  const struct {
    const char* name;
    const Frustum* frustum;
    double x, y, z;
    bool inside;
  } kCases[] = {
      {"shell at exactly 5", &shell, 3, 4, 0, true},
      {"shell at 5 vertical", &shell, 0, 0, 5, true},
      {"shell inside 5", &shell, 3, 3.9, 0, false},
      {"shell beyond 5", &shell, 3, 4, 0.01, false},
      {"straight up full circle", &full_up, 0, 0, 5, true},
      {"straight up counts as north", &narrow_up, 0, 0, 5, false},
      {"origin with min 0, horizon, north", &from_zero, 0, 0, 0, true},
      {"origin with min 2", &from_two, 0, 0, 0, false},
      {"origin above-horizon range", &above_horizon, 0, 0, 0, false},
      {"origin north not in range", &east_only, 0, 0, 0, false},
      {"below 1e-10 counts as origin", &from_zero, 5e-11, 0, 0, true},
      {"at max distance", &quarter, 0, 10, 0, true},
      {"just beyond max distance", &quarter, 0, 10.000001, 0, false},
      {"at elevation 45", &quarter, 0, 5, 5, true},
      {"above elevation 45", &quarter, 0, 5, 5.0001, false},
      {"below elevation -45", &quarter, 0, 5, -5.0001, false},
      {"east boundary", &quarter, 5, 0, 0, true},
      {"beyond east", &quarter, 5, -0.001, 0, false},
      {"NaN x narrow", &quarter, kNaN, 1, 0, false},
      // A NaN z leaves the azimuth from x and y intact, so only the azimuth test decides.
      {"NaN z narrow, azimuth in range", &quarter, 1, 1, kNaN, true},
      {"NaN z narrow, azimuth out of range", &quarter, -1, 1, kNaN, false},
      {"NaN y full", &full_up, 1, kNaN, 1, true},
      {"NaN z full", &full_up, 1, 1, kNaN, true},
      {"inf x narrow", &quarter, kInf, 1, 0, false},
      {"inf z full", &full_up, 0, 0, kInf, false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.frustum->contains_xyz(c.x, c.y, c.z), c.inside);
  }
}

TEST(Frustum, BoundingBoxWorkedValues) {
  const double s10 = std::sin(10 * kDegreesToRadians);
  const struct {
    const char* name;
    double phi1, phi2, theta1, theta2, min_distance;
    Rect expected;
  } kCases[] = {
      {"quarter, horizontal", 0, 90, 0, 0, 0, {0, 0, 10, 10}},
      {"across east, horizontal", 80, 100, 0, 0, 0, {0, -10 * s10, 10, 10 * s10}},
      // The elevation range spans the horizontal: the reach is max_distance itself.
      {"through north, -10 to 30, from 2", 350, 10, -10, 30, 2, {-10 * s10, 0, 10 * s10, 10}},
      {"quarter, -45 to 45", 0, 90, -45, 45, 0, {0, 0, 10, 10}},
      {"full circle, horizontal", 0, 360, 0, 0, 0, {-10, -10, 10, 10}},
      {"south half, -5 to 5", 90, 270, -5, 5, 0, {-10, -10, 10, 0}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const Frustum f = make(c.phi1, c.theta1, c.phi2, c.theta2, c.min_distance, 10);
    const Rect b = f.compute_bounding_box();
    EXPECT_NEAR(b.min_x, c.expected.min_x, 1e-12);
    EXPECT_NEAR(b.min_y, c.expected.min_y, 1e-12);
    EXPECT_NEAR(b.max_x, c.expected.max_x, 1e-12);
    EXPECT_NEAR(b.max_y, c.expected.max_y, 1e-12);
  }
}

TEST(Frustum, BoundingBoxExactCorners) {
  // With the cardinal constants the first worked row is exact, not merely close.
  const Rect b = make(0, 0, 90, 0).compute_bounding_box();
  EXPECT_EQ(b, Rect::make(0, 0, 10, 10));
  const Rect full = make(0, 0, 360, 0).compute_bounding_box();
  EXPECT_EQ(full, Rect::make(-10, -10, 10, 10));
}

TEST(Frustum, BoundingBoxAwayFromTheHorizonUsesTheNearestElevation) {
  const struct {
    const char* name;
    double theta1, theta2;
    double reach;
  } kCases[] = {
      {"above the horizon", 10, 45, 10 * std::cos(10 * kDegreesToRadians)},
      {"below the horizon", -45, -10, 10 * std::cos(-10 * kDegreesToRadians)},
      {"touching the horizon from above", 0, 45, 10},
      {"touching the horizon from below", -45, 0, 10},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const Rect b = make(0, c.theta1, 90, c.theta2).compute_bounding_box();
    EXPECT_NEAR(b.max_x, c.reach, 1e-12);
    EXPECT_NEAR(b.max_y, c.reach, 1e-12);
    EXPECT_EQ(b.min_x, 0);
    EXPECT_EQ(b.min_y, 0);
  }
}

TEST(Frustum, BoundingBoxHoldsTheOriginAndTheOuterRim) {
  // Distances 5 to 10 looking north-east: the origin is still inside the rectangle.
  const auto f = Frustum::make(100, 200, 0, 30, -20, 60, 20, 5, 10);
  ASSERT_TRUE(f.has_value());
  const Rect b = f->compute_bounding_box();
  EXPECT_EQ(b.min_x, 100);
  EXPECT_EQ(b.min_y, 200);
  // The point at distance 10, azimuth 45, elevation 0 is inside the frustum and the rectangle.
  double x, y, z;
  point_at({10, 45, 0}, x, y, z);
  EXPECT_TRUE(f->contains_xyz(100 + x, 200 + y, z));
  EXPECT_LE(100 + x, b.max_x);
  EXPECT_LE(200 + y, b.max_y);
}

TEST(Frustum, IntersectsRect) {
  const Frustum f = make(0, 0, 90, 0);  // rectangle (0, 0, 10, 10)
  const struct {
    const char* name;
    Rect rect;
    bool meets;
  } kCases[] = {
      {"overlapping", Rect::make(5, 5, 20, 20), true},
      {"touching corner", Rect::make(10, 10, 11, 11), true},
      {"touching west edge", Rect::make(-5, 2, 0, 3), true},
      {"apart", Rect::make(10.01, 0, 11, 1), false},
      {"south of it", Rect::make(0, -2, 1, -0.01), false},
      {"NaN bound", Rect{kNaN, 0, 1, 1}, false},
      // The rectangle is a bound, not the exact footprint: the corner beyond the arc still meets.
      {"beyond the arc in the corner", Rect::make(9, 9, 10, 10), true},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(f.intersects_rect(c.rect), c.meets);
  }
}

TEST(Frustum, BoundingBoxWithNaNAnglesStillHoldsTheOrigin) {
  const auto f = Frustum::make(3, 4, 0, kNaN, 0, 90, 0, 0, 10);
  ASSERT_TRUE(f.has_value());
  const Rect b = f->compute_bounding_box();
  EXPECT_LE(b.min_x, 3);
  EXPECT_GE(b.max_x, 3);
  EXPECT_LE(b.min_y, 4);
  EXPECT_GE(b.max_y, 4);
}

// The point test step by step as documented, without the early exits of the real one.
bool reference_contains(const Frustum& f, double x, double y, double z) {
  const double dx = x - f.origin_x();
  const double dy = y - f.origin_y();
  const double dz = z - f.origin_z();
  const double h2 = dx * dx + dy * dy;
  double distance = std::sqrt(h2 + dz * dz);
  double elevation = 0;
  double azimuth = 0;
  if (distance < 1e-10) {
    distance = 0;
  } else {
    elevation = std::asin(dz / distance);
    if (!(std::sqrt(h2) < 1e-10)) {
      azimuth = std::fmod(std::atan2(dx, dy), 2 * kPi);
      if (azimuth < 0) azimuth += 2 * kPi;
    }
  }
  if (distance < f.min_distance() || distance > f.max_distance() || elevation < f.theta_min() ||
      elevation > f.theta_max()) {
    return false;
  }
  if (f.phi_max() >= 2 * kPi - 1e-9) return true;
  if (f.phi_wraps()) return azimuth >= f.phi_min() || azimuth <= f.phi_max();
  return f.phi_min() <= azimuth && azimuth <= f.phi_max();
}

TEST(Frustum, PropertyContainsXyzFollowsTheStepByStepTest) {
  std::mt19937_64 rng(99);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const auto between = [&](double lo, double hi) { return lo + (hi - lo) * unit(rng); };
  const double kSpecial[] = {kNaN, kInf, -kInf, 0.0, 1e-11};
  for (int frustum_index = 0; frustum_index < 500; ++frustum_index) {
    const double min_distance = frustum_index % 4 == 0 ? 0.0 : between(0, 20);
    const auto f = Frustum::make(between(-10, 10), between(-10, 10), between(-10, 10),
                                 between(-400, 400), between(-100, 100), between(-400, 400),
                                 between(-100, 100), min_distance, min_distance + between(0, 30));
    ASSERT_TRUE(f.has_value());
    for (int point_index = 0; point_index < 400; ++point_index) {
      double p[3] = {f->origin_x() + between(-40, 40), f->origin_y() + between(-40, 40),
                     f->origin_z() + between(-40, 40)};
      if (point_index % 10 == 0) {
        p[0] = f->origin_x();
        p[1] = f->origin_y();
      }
      if (point_index % 17 == 0) p[point_index % 3] = kSpecial[point_index % 5];
      if (point_index % 29 == 0) {
        p[0] = f->origin_x() + kSpecial[4];
        p[1] = f->origin_y();
        p[2] = f->origin_z();
      }
      ASSERT_EQ(f->contains_xyz(p[0], p[1], p[2]), reference_contains(*f, p[0], p[1], p[2]))
          << "frustum " << frustum_index << " point " << p[0] << ", " << p[1] << ", " << p[2];
    }
  }
}

// For random frusta, every point that contains_xyz accepts lies inside compute_bounding_box().
TEST(Frustum, PropertyAcceptedPointsLieInTheBoundingBox) {
  std::mt19937_64 rng(20240611);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const auto between = [&](double lo, double hi) { return lo + (hi - lo) * unit(rng); };
  long accepted = 0;
  long spanning_horizon = 0;
  for (int frustum_index = 0; frustum_index < 2000; ++frustum_index) {
    const double origin_scale = frustum_index % 4 == 0 ? 1e6 : 100.0;
    const double ox = between(-origin_scale, origin_scale);
    const double oy = between(-origin_scale, origin_scale);
    const double oz = between(-100, 100);
    const double phi1 = between(-400, 400);
    const double phi2 = frustum_index % 3 == 0 ? phi1 + between(-90, 90) : between(-400, 400);
    const double theta1 = between(-100, 100);
    const double theta2 = frustum_index % 2 == 0 ? theta1 + between(-60, 60) : between(-100, 100);
    const double min_distance = frustum_index % 5 == 0 ? 0.0 : between(0, 50);
    const double max_distance = min_distance + between(0, 100);
    const auto made =
        Frustum::make(ox, oy, oz, phi1, theta1, phi2, theta2, min_distance, max_distance);
    ASSERT_TRUE(made.has_value());
    const Frustum& f = *made;
    const Rect b = f.compute_bounding_box();
    if (f.theta_min() < 0 && f.theta_max() > 0) ++spanning_horizon;
    for (int point_index = 0; point_index < 300; ++point_index) {
      // Mostly points in the frustum's own terms, some anywhere near it.
      double x, y, z;
      if (point_index % 5 == 4) {
        const double r = max_distance * 1.2 + 1;
        x = ox + between(-r, r);
        y = oy + between(-r, r);
        z = oz + between(-r, r);
      } else {
        const double d = between(min_distance, max_distance);
        const double a = between(0, 2 * kPi);
        const double lo = std::fmax(f.theta_min(), -kPi / 2);
        const double hi = std::fmin(f.theta_max(), kPi / 2);
        const double e = lo <= hi ? between(lo, hi) : between(-kPi / 2, kPi / 2);
        x = ox + d * std::cos(e) * std::sin(a);
        y = oy + d * std::cos(e) * std::cos(a);
        z = oz + d * std::sin(e);
      }
      if (!f.contains_xyz(x, y, z)) continue;
      ++accepted;
      if (!(b.min_x <= x && x <= b.max_x && b.min_y <= y && y <= b.max_y)) {
        ADD_FAILURE() << "frustum " << frustum_index << " origin (" << ox << ", " << oy << ", "
                      << oz << ") phi " << phi1 << "/" << phi2 << " theta " << theta1 << "/"
                      << theta2 << " d " << min_distance << ".." << max_distance << ": point (" << x
                      << ", " << y << ", " << z << ") outside rect (" << b.min_x << ", " << b.min_y
                      << ", " << b.max_x << ", " << b.max_y << ")";
        return;
      }
    }
  }
  EXPECT_GT(accepted, 50000);
  EXPECT_GT(spanning_horizon, 200);
}

}  // namespace
}  // namespace quarrix_core::geometry::frustum
