// Text fields, UTF-8 checks and number renderings of the LAS layer's messages.
#include "text.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <system_error>

#include <fmt/format.h>
#include <fmt/ranges.h>

namespace las::text {

namespace {

bool is_continuation(uint8_t b) { return (b & 0xC0) == 0x80; }

// Length of the sequence a lead byte announces; 0 for bytes that cannot start one.
int sequence_width(uint8_t b) {
  if (b < 0x80) return 1;
  if (b >= 0xC2 && b <= 0xDF) return 2;
  if (b >= 0xE0 && b <= 0xEF) return 3;
  if (b >= 0xF0 && b <= 0xF4) return 4;
  return 0;
}

// Whether the second byte is allowed after this lead byte (excludes overlongs and surrogates).
bool second_byte_ok(uint8_t lead, uint8_t second) {
  switch (lead) {
    case 0xE0:
      return second >= 0xA0 && second <= 0xBF;
    case 0xED:
      return second >= 0x80 && second <= 0x9F;
    case 0xF0:
      return second >= 0x90 && second <= 0xBF;
    case 0xF4:
      return second >= 0x80 && second <= 0x8F;
    default:
      return is_continuation(second);
  }
}

// Decimal digits and exponent of the shortest round-trip form: value = d.ddd x 10^exponent.
struct Shortest {
  bool negative = false;
  std::string digits;
  int exponent = 0;
};

template <class F>
Shortest shortest(F value) {
  char buffer[64];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
  std::string_view s(buffer, static_cast<size_t>(result.ptr - buffer));
  Shortest out;
  if (!s.empty() && s[0] == '-') {
    out.negative = true;
    s.remove_prefix(1);
  }
  const size_t e = s.find('e');
  for (char c : s.substr(0, e)) {
    if (c != '.') out.digits.push_back(c);
  }
  int exponent = 0;
  std::from_chars(s.data() + e + 1 + (s[e + 1] == '+' ? 1 : 0), s.data() + s.size(), exponent);
  out.exponent = exponent;
  return out;
}

std::string plain_layout(const Shortest& s, bool force_fraction) {
  std::string out = s.negative ? "-" : "";
  const int n = static_cast<int>(s.digits.size());
  if (s.exponent < 0) {
    out += "0.";
    out.append(static_cast<size_t>(-s.exponent - 1), '0');
    out += s.digits;
  } else if (s.exponent >= n - 1) {
    out += s.digits;
    out.append(static_cast<size_t>(s.exponent - (n - 1)), '0');
    if (force_fraction) out += ".0";
  } else {
    out += s.digits.substr(0, static_cast<size_t>(s.exponent + 1));
    out += '.';
    out += s.digits.substr(static_cast<size_t>(s.exponent + 1));
  }
  return out;
}

std::string exponent_layout(const Shortest& s) {
  std::string out = s.negative ? "-" : "";
  out += s.digits[0];
  if (s.digits.size() > 1) {
    out += '.';
    out += s.digits.substr(1);
  }
  out += 'e';
  out += std::to_string(s.exponent);
  return out;
}

template <class F>
std::string special(F value) {
  if (std::isnan(value)) return "NaN";
  return value < 0 ? "-inf" : "inf";
}

template <class F>
std::string debug_number(F value) {
  if (!std::isfinite(value)) return special(value);
  const Shortest s = shortest(value);
  const F magnitude = std::fabs(value);
  if (magnitude != F(0) && (magnitude < F(1e-4) || magnitude >= F(1e16))) return exponent_layout(s);
  return plain_layout(s, true);
}

}  // namespace

Utf8Status check_utf8(std::span<const uint8_t> bytes) {
  const size_t n = bytes.size();
  size_t i = 0;
  while (i < n) {
    const uint8_t lead = bytes[i];
    const int width = sequence_width(lead);
    if (width == 1) {
      ++i;
      continue;
    }
    if (width == 0) return {i, 1};
    if (i + 1 >= n) return {i, 0};
    if (!second_byte_ok(lead, bytes[i + 1])) return {i, 1};
    for (int k = 2; k < width; ++k) {
      if (i + static_cast<size_t>(k) >= n) return {i, 0};
      if (!is_continuation(bytes[i + static_cast<size_t>(k)])) return {i, k};
    }
    i += static_cast<size_t>(width);
  }
  return {n, -1};
}

std::string utf8_error_text(const Utf8Status& status) {
  if (status.error_length == 0) {
    return fmt::format("incomplete utf-8 byte sequence from index {}", status.valid_up_to);
  }
  return fmt::format("invalid utf-8 sequence of {} bytes from index {}", status.error_length,
                     status.valid_up_to);
}

std::string decode_utf8_lossy(std::span<const uint8_t> bytes) {
  static constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
  std::string out;
  out.reserve(bytes.size());
  while (!bytes.empty()) {
    const Utf8Status status = check_utf8(bytes);
    out.append(reinterpret_cast<const char*>(bytes.data()), status.valid_up_to);
    if (status.ok()) break;
    out += kReplacement;
    // A truncated final sequence is replaced as a whole.
    const size_t skip = status.error_length == 0 ? bytes.size() - status.valid_up_to
                                                 : static_cast<size_t>(status.error_length);
    bytes = bytes.subspan(status.valid_up_to + skip);
  }
  return out;
}

Result<std::string> read_field(std::span<const uint8_t> field) {
  std::span<const uint8_t> content = field;
  const auto zero = std::find(field.begin(), field.end(), uint8_t{0});
  if (zero != field.end()) {
    if (std::any_of(zero + 1, field.end(), [](uint8_t b) { return b != 0; })) {
      return fail(fmt::format("the bytes are not zero-filled: {}", byte_list(field)));
    }
    content = field.first(static_cast<size_t>(zero - field.begin()));
  }
  const Utf8Status status = check_utf8(content);
  if (!status.ok()) return fail(utf8_error_text(status));
  std::string value(reinterpret_cast<const char*>(content.data()), content.size());
  if (std::any_of(content.begin(), content.end(), [](uint8_t b) { return b >= 0x80; })) {
    return fail(fmt::format("this string is not ascii: {}", value));
  }
  return value;
}

Result<std::string> read_header_text(std::span<const uint8_t> field) {
  const auto zero = std::find(field.begin(), field.end(), uint8_t{0});
  return read_field(field.first(static_cast<size_t>(zero - field.begin())));
}

std::string read_field_lossy(std::span<const uint8_t> field) {
  if (auto value = read_field(field)) return std::move(*value);
  return decode_utf8_lossy(field);
}

Result<void> write_field(std::string_view text, std::span<uint8_t> field) {
  if (text.size() > field.size()) {
    return fail(fmt::format("string is too long for a slice of length {}: {}", field.size(), text));
  }
  std::fill(field.begin(), field.end(), uint8_t{0});
  std::copy(text.begin(), text.end(), field.begin());
  return {};
}

std::string byte_list(std::span<const uint8_t> bytes) {
  return fmt::format("[{}]", fmt::join(bytes, ", "));
}

std::string display_double(double value) {
  if (!std::isfinite(value)) return special(value);
  return plain_layout(shortest(value), false);
}

std::string debug_double(double value) { return debug_number(value); }
std::string debug_float(float value) { return debug_number(value); }

}  // namespace las::text
