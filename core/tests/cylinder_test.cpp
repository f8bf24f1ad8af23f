// VerticalCylinder: the rim, the corner case of the rectangle test, NaN and infinities.
#include "geometry/cylinder.hpp"

#include <limits>

#include <gtest/gtest.h>

namespace quarrix_core::geometry::cylinder {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

const VerticalCylinder kDisc{0, 0, 5};

TEST(VerticalCylinder, ContainsXyz) {
  const struct {
    const char* name;
    VerticalCylinder cylinder;
    double x, y, z;
    bool inside;
  } kCases[] = {
      {"centre", kDisc, 0, 0, 0, true},
      {"rim 3-4-5", kDisc, 3, 4, 0, true},
      {"rim any z", kDisc, 3, 4, 1e300, true},
      {"rim NaN z", kDisc, 3, 4, kNaN, true},
      {"rim inf z", kDisc, 3, 4, kInf, true},
      {"rim -inf z", kDisc, -3, -4, -kInf, true},
      {"just outside rim", kDisc, 3, 4.01, 0, false},
      {"on axis at radius", kDisc, 0, -5, 0, true},
      {"beyond on axis", kDisc, 5.0000001, 0, 0, false},
      {"NaN x", kDisc, kNaN, 0, 0, false},
      {"NaN y", kDisc, 0, kNaN, 0, false},
      {"inf x", kDisc, kInf, 0, 0, false},
      {"NaN radius", VerticalCylinder{0, 0, kNaN}, 0, 0, 0, false},
      {"NaN centre", VerticalCylinder{kNaN, 0, 5}, 0, 0, 0, false},
      {"infinite radius", VerticalCylinder{0, 0, kInf}, 1e300, 1e300, 0, true},
      {"offset centre rim", VerticalCylinder{100, 200, 5}, 103, 196, 7, true},
      {"offset centre outside", VerticalCylinder{100, 200, 5}, 104, 204, 7, false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.cylinder.contains_xyz(c.x, c.y, c.z), c.inside);
  }
}

TEST(VerticalCylinder, IntersectsRect) {
  const struct {
    const char* name;
    VerticalCylinder cylinder;
    Rect rect;
    bool meets;
  } kCases[] = {
      {"nearest point on rim", kDisc, Rect::make(3, 4, 10, 10), true},
      {"nearest point beyond rim", kDisc, Rect::make(3.1, 4, 10, 10), false},
      {"corner judged by its distance", kDisc, Rect::make(4, 4, 9, 9), false},
      {"edge within radius along x", kDisc, Rect::make(4.9, -1, 9, 1), true},
      {"edge touching along x", kDisc, Rect::make(5, -100, 9, 100), true},
      {"contains centre, tiny radius", VerticalCylinder{1, 1, 1e-300}, Rect::make(0, 0, 2, 2),
       true},
      {"point rect inside", kDisc, Rect::make(1, 1, 1, 1), true},
      {"point rect on rim", kDisc, Rect::make(-3, -4, -3, -4), true},
      {"point rect outside", kDisc, Rect::make(4, 4, 4, 4), false},
      {"rect far away", kDisc, Rect::make(100, 100, 200, 200), false},
      {"NaN centre", VerticalCylinder{kNaN, 0, 5}, Rect::make(-1, -1, 1, 1), false},
      {"NaN radius", VerticalCylinder{0, 0, kNaN}, Rect::make(-1, -1, 1, 1), false},
      {"NaN rect bound", kDisc, Rect{kNaN, -1, 1, 1}, false},
      {"NaN rect bound far side", kDisc, Rect{-1, -1, 1, kNaN}, false},
      {"inverted rect", kDisc, Rect{1, 1, -1, -1}, false},
      {"infinite rect", kDisc, Rect::make(-kInf, -kInf, kInf, kInf), true},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.cylinder.intersects_rect(c.rect), c.meets);
  }
}

}  // namespace
}  // namespace quarrix_core::geometry::cylinder
