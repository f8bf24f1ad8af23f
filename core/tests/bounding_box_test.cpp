// BoundingBox point and rectangle tests: inclusive bounds, optional z bounds, NaN and infinities.
#include "geometry/bounding_box.hpp"

#include <limits>
#include <optional>

#include <gtest/gtest.h>

namespace quarrix_core::geometry {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

const BoundingBox kBox2d{0, 10, 0, 20, std::nullopt, std::nullopt};
const BoundingBox kBox3d{0, 10, 0, 20, -5.0, 5.0};
const BoundingBox kMinZOnly{0, 10, 0, 20, 1.0, std::nullopt};
const BoundingBox kMaxZOnly{0, 10, 0, 20, std::nullopt, 1.0};

TEST(BoundingBox, ContainsXyz) {
  const struct {
    const char* name;
    const BoundingBox* box;
    double x, y, z;
    bool inside;
  } kCases[] = {
      {"interior", &kBox3d, 5, 5, 0, true},
      {"on face x min", &kBox3d, 0, 5, 0, true},
      {"on face x max", &kBox3d, 10, 5, 0, true},
      {"on face y max", &kBox3d, 5, 20, 0, true},
      {"on face z min", &kBox3d, 5, 5, -5, true},
      {"on face z max", &kBox3d, 5, 5, 5, true},
      {"on edge", &kBox3d, 0, 20, 2, true},
      {"on corner", &kBox3d, 10, 20, 5, true},
      {"below", &kBox3d, 5, 5, -5.000001, false},
      {"above", &kBox3d, 5, 5, 5.000001, false},
      {"west", &kBox3d, -0.000001, 5, 0, false},
      {"north", &kBox3d, 5, 20.000001, 0, false},
      {"3d NaN z inside", &kBox3d, 5, 5, kNaN, true},
      {"3d +inf z", &kBox3d, 5, 5, kInf, false},
      {"3d -inf z", &kBox3d, 5, 5, -kInf, false},
      {"NaN x", &kBox3d, kNaN, 5, 0, false},
      {"NaN y", &kBox3d, 5, kNaN, 0, false},
      {"inf x", &kBox3d, kInf, 5, 0, false},
      {"-inf y", &kBox3d, 5, -kInf, 0, false},
      {"2d any z", &kBox2d, 5, 5, 1e300, true},
      {"2d NaN z", &kBox2d, 5, 5, kNaN, true},
      {"2d +inf z", &kBox2d, 5, 5, kInf, true},
      {"2d -inf z", &kBox2d, 5, 5, -kInf, true},
      {"2d NaN x", &kBox2d, kNaN, 5, 0, false},
      {"2d outside", &kBox2d, 11, 5, 0, false},
      {"min z only at bound", &kMinZOnly, 5, 5, 1, true},
      {"min z only far above", &kMinZOnly, 5, 5, kInf, true},
      {"min z only below", &kMinZOnly, 5, 5, 0.999, false},
      {"min z only NaN", &kMinZOnly, 5, 5, kNaN, true},
      {"max z only at bound", &kMaxZOnly, 5, 5, 1, true},
      {"max z only far below", &kMaxZOnly, 5, 5, -kInf, true},
      {"max z only above", &kMaxZOnly, 5, 5, 1.001, false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.box->contains_xyz(c.x, c.y, c.z), c.inside);
  }
}

TEST(BoundingBox, IntersectsRect) {
  const struct {
    const char* name;
    Rect rect;
    bool meets;
  } kCases[] = {
      {"inside", Rect::make(1, 1, 2, 2), true},
      {"covers", Rect::make(-10, -10, 100, 100), true},
      {"overlaps", Rect::make(5, 15, 15, 25), true},
      {"touches east edge", Rect::make(10, 5, 12, 6), true},
      {"touches west edge", Rect::make(-3, 5, 0, 6), true},
      {"touches north edge", Rect::make(2, 20, 3, 30), true},
      {"touches corner", Rect::make(10, 20, 11, 21), true},
      {"touches south-west corner", Rect::make(-1, -1, 0, 0), true},
      {"apart east", Rect::make(10.5, 5, 12, 6), false},
      {"apart south", Rect::make(2, -3, 3, -0.5), false},
      {"degenerate point inside", Rect::make(3, 3, 3, 3), true},
      {"NaN min_x", Rect{kNaN, 1, 2, 2}, false},
      {"NaN max_y", Rect{1, 1, 2, kNaN}, false},
      {"infinite rect", Rect::make(-kInf, -kInf, kInf, kInf), true},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(kBox2d.intersects_rect(c.rect), c.meets);
    // Vertical bounds play no part.
    EXPECT_EQ(kBox3d.intersects_rect(c.rect), c.meets);
  }
}

TEST(BoundingBox, NaNInTheBoxMeetsNothing) {
  const BoundingBox box{kNaN, 10, 0, 10, std::nullopt, std::nullopt};
  EXPECT_FALSE(box.intersects_rect(Rect::make(1, 1, 2, 2)));
  EXPECT_FALSE(box.contains_xyz(5, 5, 0));
}

}  // namespace
}  // namespace quarrix_core::geometry
