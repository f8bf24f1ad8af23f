// Escaping of paths for log records; the table of escaped code points is generated from the
// Unicode Character Database by tools/gen_escape_table.py.
#include "pipeline/quote_path.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>

#include <fmt/format.h>

namespace quarrix_core::pipeline {
namespace {

struct CodePointRange {
  char32_t first;
  char32_t last;
};

constexpr CodePointRange kEscapedRanges[] = {
#include "pipeline/escape_table.inc"
};

bool must_escape(char32_t code_point) {
  const auto* after = std::upper_bound(
      std::begin(kEscapedRanges), std::end(kEscapedRanges), code_point,
      [](char32_t value, const CodePointRange& range) { return value < range.first; });
  return after != std::begin(kEscapedRanges) && code_point <= std::prev(after)->last;
}

// Decodes the well-formed UTF-8 sequence at the start of `text` (no overlong forms, no
// surrogates, nothing above U+10FFFF). Returns its length, or 0 when the first byte does not
// begin one.
std::size_t decode_utf8(std::string_view text, char32_t& code_point) {
  const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
  const std::uint8_t lead = byte(0);
  if (lead < 0x80) {
    code_point = lead;
    return 1;
  }
  std::size_t length = 0;
  char32_t value = 0;
  std::uint8_t second_min = 0x80;
  std::uint8_t second_max = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    value = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    value = lead & 0x0Fu;
    if (lead == 0xE0) second_min = 0xA0;  // overlong
    if (lead == 0xED) second_max = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    value = lead & 0x07u;
    if (lead == 0xF0) second_min = 0x90;  // overlong
    if (lead == 0xF4) second_max = 0x8F;  // above U+10FFFF
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    const std::uint8_t next = byte(i);
    const std::uint8_t min = i == 1 ? second_min : std::uint8_t{0x80};
    const std::uint8_t max = i == 1 ? second_max : std::uint8_t{0xBF};
    if (next < min || next > max) return 0;
    value = (value << 6) | (next & 0x3Fu);
  }
  code_point = value;
  return length;
}

}  // namespace

std::string quote_path(std::string_view path) {
  std::string out;
  out.reserve(path.size() + 2);
  out.push_back('"');
  std::size_t pos = 0;
  while (pos < path.size()) {
    char32_t code_point = 0;
    const std::size_t length = decode_utf8(path.substr(pos), code_point);
    if (length == 0) {
      fmt::format_to(std::back_inserter(out), "\\x{:02X}", static_cast<std::uint8_t>(path[pos]));
      ++pos;
      continue;
    }
    switch (code_point) {
      case U'"':
        out += "\\\"";
        break;
      case U'\\':
        out += "\\\\";
        break;
      case U'\t':
        out += "\\t";
        break;
      case U'\r':
        out += "\\r";
        break;
      case U'\n':
        out += "\\n";
        break;
      case U'\0':
        out += "\\0";
        break;
      default:
        if (must_escape(code_point)) {
          fmt::format_to(std::back_inserter(out), "\\u{{{:x}}}",
                         static_cast<std::uint32_t>(code_point));
        } else {
          out.append(path.substr(pos, length));
        }
    }
    pos += length;
  }
  out.push_back('"');
  return out;
}

}  // namespace quarrix_core::pipeline
