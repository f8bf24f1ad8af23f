// Rect::make orders each axis, with NaN falling the documented way.
#include "geometry/rect.hpp"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

namespace quarrix_core::geometry {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(Rect, MakeOrdersEachAxis) {
  const struct {
    const char* name;
    double x1, y1, x2, y2;
    Rect expected;
  } kCases[] = {
      {"ordered", 1, 2, 3, 4, {1, 2, 3, 4}},     {"x swapped", 5, 1, 2, 3, {2, 1, 5, 3}},
      {"y swapped", 0, 9, 1, -9, {0, -9, 1, 9}}, {"both swapped", 10, 1, 5, 0, {5, 0, 10, 1}},
      {"degenerate", 7, 7, 7, 7, {7, 7, 7, 7}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Rect::make(c.x1, c.y1, c.x2, c.y2), c.expected);
  }
}

TEST(Rect, NaNPutsSecondValueInMinAndFirstInMax) {
  const Rect a = Rect::make(kNaN, 0, 1, 2);
  EXPECT_EQ(a.min_x, 1);
  EXPECT_TRUE(std::isnan(a.max_x));
  const Rect b = Rect::make(1, 0, kNaN, 2);
  EXPECT_TRUE(std::isnan(b.min_x));
  EXPECT_EQ(b.max_x, 1);
  const Rect c = Rect::make(0, 3, 1, kNaN);
  EXPECT_TRUE(std::isnan(c.min_y));
  EXPECT_EQ(c.max_y, 3);
}

}  // namespace
}  // namespace quarrix_core::geometry
