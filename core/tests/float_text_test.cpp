// float_text: shortest round-trip decimal without exponent, without ".0", NaN/inf/-inf.
#include "geometry/float_text.hpp"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include <gtest/gtest.h>

namespace quarrix_core::geometry {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(FloatText, Cases) {
  const struct {
    double value;
    std::string text;
  } kCases[] = {
      {0.0, "0"},
      {-0.0, "-0"},
      {1.0, "1"},
      {-1.0, "-1"},
      {10000.0, "10000"},
      {123456789.0, "123456789"},
      {1e21, "1" + std::string(21, '0')},
      {1e22, "1" + std::string(22, '0')},
      {1.5e300, "15" + std::string(299, '0')},
      {0.5, "0.5"},
      {-2.5, "-2.5"},
      {0.1, "0.1"},
      {0.1 + 0.2, "0.30000000000000004"},
      {1.5e-7, "0.00000015"},
      {1e-5, "0.00001"},
      {123.456, "123.456"},
      {515368.60225, "515368.60225"},
      {4918381.12375, "4918381.12375"},
      {5e-324, "0." + std::string(323, '0') + "5"},
      {-5e-324, "-0." + std::string(323, '0') + "5"},
      {std::numeric_limits<double>::max(), "17976931348623157" + std::string(292, '0')},
      {9007199254740993.0, "9007199254740992"},
      {kNaN, "NaN"},
      {-kNaN, "NaN"},
      {kInf, "inf"},
      {-kInf, "-inf"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(float_text(c.value), c.text);
  }
}

TEST(FloatText, RoundTripsAndNeverUsesExponent) {
  std::mt19937_64 rng(7);
  for (int i = 0; i < 20000; ++i) {
    const auto bits = rng();
    double value;
    static_assert(sizeof value == sizeof bits);
    std::memcpy(&value, &bits, sizeof value);
    if (value != value || value == kInf || value == -kInf) continue;
    const std::string text = float_text(value);
    SCOPED_TRACE(text);
    ASSERT_EQ(text.find_first_of("eE"), std::string::npos);
    ASSERT_FALSE(text.size() >= 2 && text.compare(text.size() - 2, 2, ".0") == 0);
    ASSERT_EQ(std::strtod(text.c_str(), nullptr), value);
  }
}

}  // namespace
}  // namespace quarrix_core::geometry
