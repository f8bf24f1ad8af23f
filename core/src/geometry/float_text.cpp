// Shortest round-trip decimal text without exponent notation.
#include "geometry/float_text.hpp"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string_view>
#include <system_error>

namespace quarrix_core::geometry {

std::string float_text(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value < 0.0 ? "-inf" : "inf";

  // Scientific form with no precision is the shortest round-trip digit string, "d.ddde+XX";
  // the digits and the exponent are then laid out as a plain decimal.
  std::array<char, 64> buffer{};
  const auto [end, ec] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                       std::chars_format::scientific);
  if (ec != std::errc()) return "NaN";  // cannot happen: 64 bytes hold any double
  const std::string_view text(buffer.data(), static_cast<std::size_t>(end - buffer.data()));

  std::size_t pos = 0;
  const bool negative = text[0] == '-';
  if (negative) ++pos;
  std::string digits;
  for (; pos < text.size() && text[pos] != 'e'; ++pos) {
    if (text[pos] != '.') digits.push_back(text[pos]);
  }
  const int exponent = std::atoi(std::string(text.substr(pos + 1)).c_str());

  std::string out;
  if (negative) out.push_back('-');
  const auto digit_count = static_cast<int>(digits.size());
  if (exponent >= 0) {
    // The first exponent + 1 digits are the integer part, padded with zeros when short.
    const int integer_digits = exponent + 1;
    if (digit_count <= integer_digits) {
      out += digits;
      out.append(static_cast<std::size_t>(integer_digits - digit_count), '0');
    } else {
      out.append(digits, 0, static_cast<std::size_t>(integer_digits));
      out.push_back('.');
      out.append(digits, static_cast<std::size_t>(integer_digits));
    }
  } else {
    out += "0.";
    out.append(static_cast<std::size_t>(-exponent - 1), '0');
    out += digits;
  }
  return out;
}

}  // namespace quarrix_core::geometry
