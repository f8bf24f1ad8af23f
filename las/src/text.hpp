// Text helpers of the LAS layer: the fixed-width text fields of headers and VLRs, UTF-8
// checking with the exact failure messages, and number renderings used inside messages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "las/error.hpp"

namespace las::text {

// Where UTF-8 decoding of a byte string stops: `valid_up_to` bytes are valid; then either the
// input ended inside a sequence (error_length 0) or error_length bytes form an invalid
// sequence. error_length is -1 when the whole input is valid.
struct Utf8Status {
  size_t valid_up_to = 0;
  int error_length = -1;
  [[nodiscard]] bool ok() const { return error_length < 0; }
};
[[nodiscard]] Utf8Status check_utf8(std::span<const uint8_t> bytes);
// "invalid utf-8 sequence of {} bytes from index {}" or "incomplete utf-8 byte sequence from index
// {}"
[[nodiscard]] std::string utf8_error_text(const Utf8Status& status);
// Decodes, replacing each maximal invalid sequence (or a truncated final one) by U+FFFD.
[[nodiscard]] std::string decode_utf8_lossy(std::span<const uint8_t> bytes);

// A header text field: the bytes before the first zero, which must be followed by zeros only,
// and must be ASCII.
[[nodiscard]] Result<std::string> read_field(std::span<const uint8_t> field);
// A header text field (system identifier, generating software): the bytes before the first
// zero, which must be ASCII. Bytes after that zero are not looked at: real writers leave stray
// memory there, and refusing such a tile would drop its points from every extraction.
[[nodiscard]] Result<std::string> read_header_text(std::span<const uint8_t> field);
// A VLR text field: as read_field when that succeeds, else the whole field decoded lossily.
[[nodiscard]] std::string read_field_lossy(std::span<const uint8_t> field);
// Writes text zero-padded into the field; "string is too long for a slice of length {}: {}".
[[nodiscard]] Result<void> write_field(std::string_view text, std::span<uint8_t> field);

// "[1, 2, 3]"
[[nodiscard]] std::string byte_list(std::span<const uint8_t> bytes);

// Shortest round-trip decimal without exponent; whole numbers without a decimal point;
// NaN, inf, -inf.
[[nodiscard]] std::string display_double(double value);
// Shortest round-trip with at least one fractional digit (1.0); exponent form (1e16, 1.5e-5)
// when the magnitude is at least 1e16 or below 1e-4.
[[nodiscard]] std::string debug_double(double value);
[[nodiscard]] std::string debug_float(float value);

}  // namespace las::text
