// Text fields, UTF-8 failures and number renderings used in the layer's messages.
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "text.hpp"

namespace {

std::vector<uint8_t> bytes(std::string_view s) { return std::vector<uint8_t>(s.begin(), s.end()); }

TEST(Text, Utf8Failures) {
  const struct {
    std::string input;
    std::string message;  // empty: valid
  } kCases[] = {
      {"plain", ""},
      {"caf\xC3\xA9", ""},
      {"\xC3\x28", "invalid utf-8 sequence of 1 bytes from index 0"},
      {"ab\xE2\x28\xA1", "invalid utf-8 sequence of 1 bytes from index 2"},
      {"ab\xE2\x82\x28", "invalid utf-8 sequence of 2 bytes from index 2"},
      {"\xF0\x90\x80\x28", "invalid utf-8 sequence of 3 bytes from index 0"},
      {"\xED\xA0\x80", "invalid utf-8 sequence of 1 bytes from index 0"},  // surrogate
      {"\xC0\x80", "invalid utf-8 sequence of 1 bytes from index 0"},      // overlong
      {"\xFF", "invalid utf-8 sequence of 1 bytes from index 0"},
      {"A\xE2\x82", "incomplete utf-8 byte sequence from index 1"},
      {"A\xF0", "incomplete utf-8 byte sequence from index 1"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.input);
    const auto b = bytes(c.input);
    const las::text::Utf8Status status = las::text::check_utf8(b);
    if (c.message.empty()) {
      EXPECT_TRUE(status.ok());
    } else {
      ASSERT_FALSE(status.ok());
      EXPECT_EQ(las::text::utf8_error_text(status), c.message);
    }
  }
}

TEST(Text, LossyDecodingReplacesEachInvalidSequence) {
  const struct {
    std::string input;
    std::string output;
  } kCases[] = {
      {"abc", "abc"},
      {"a\xFF"
       "b",
       "a\xEF\xBF\xBD"
       "b"},
      {"a\xE2\x82"
       "b",
       "a\xEF\xBF\xBD"
       "b"},
      {"a\xE2\x82", "a\xEF\xBF\xBD"},
      {"\xFF\xFE", "\xEF\xBF\xBD\xEF\xBF\xBD"},
      {std::string("a\0b", 3), std::string("a\0b", 3)},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.input);
    EXPECT_EQ(las::text::decode_utf8_lossy(bytes(c.input)), c.output);
  }
}

TEST(Text, HeaderFields) {
  const struct {
    std::string field;
    std::string value;  // when ok
    std::string message;
  } kCases[] = {
      {std::string("LAStools\0\0\0\0", 12), "LAStools", ""},
      {"FULLFIELD", "FULLFIELD", ""},
      {std::string("\0\0\0", 3), "", ""},
      {std::string("ab\0c", 4), "", "the bytes are not zero-filled: [97, 98, 0, 99]"},
      {std::string("\xC3\x28\0", 3), "", "invalid utf-8 sequence of 1 bytes from index 0"},
      {std::string("caf\xC3\xA9\0", 6), "", "this string is not ascii: caf\xC3\xA9"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.field);
    const auto result = las::text::read_field(bytes(c.field));
    if (c.message.empty()) {
      ASSERT_TRUE(result) << result.error().message();
      EXPECT_EQ(*result, c.value);
    } else {
      ASSERT_FALSE(result);
      EXPECT_EQ(result.error().message(), c.message);
    }
  }
}

TEST(Text, VlrFieldsNeverFail) {
  // Stray bytes after the zero: the whole field, zeros included, is the text.
  const std::string field("GeoTiff\0junk\0\0\0\0", 16);
  EXPECT_EQ(las::text::read_field_lossy(bytes(field)), field);
  EXPECT_EQ(las::text::read_field_lossy(bytes(std::string("LASF_Projection\0", 16))),
            "LASF_Projection");
}

TEST(Text, WriteField) {
  std::array<uint8_t, 4> field{9, 9, 9, 9};
  ASSERT_TRUE(las::text::write_field("ab", field));
  EXPECT_EQ(field, (std::array<uint8_t, 4>{'a', 'b', 0, 0}));
  const auto too_long = las::text::write_field("abcde", field);
  ASSERT_FALSE(too_long);
  EXPECT_EQ(too_long.error().message(), "string is too long for a slice of length 4: abcde");
}

TEST(Text, DisplayDouble) {
  const struct {
    double value;
    const char* text;
  } kCases[] = {
      {0.0, "0"},
      {-0.0, "-0"},
      {1.0, "1"},
      {0.01, "0.01"},
      {1.5, "1.5"},
      {-2.25, "-2.25"},
      {1e21, "1000000000000000000000"},
      {1e-7, "0.0000001"},
      {123456789012.0, "123456789012"},
      {0.1 + 0.2, "0.30000000000000004"},
      {std::numeric_limits<double>::infinity(), "inf"},
      {-std::numeric_limits<double>::infinity(), "-inf"},
      {std::nan(""), "NaN"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(las::text::display_double(c.value), c.text);
  }
}

TEST(Text, DebugNumbers) {
  const struct {
    double value;
    const char* text;
  } kCases[] = {
      {0.0, "0.0"},
      {1.0, "1.0"},
      {-3.0, "-3.0"},
      {1.5, "1.5"},
      {1e16, "1e16"},
      {1.5e-5, "1.5e-5"},
      {0.0001, "0.0001"},
      {1e15, "1000000000000000.0"},
      {2.5e20, "2.5e20"},
      {std::nan(""), "NaN"},
      {-std::numeric_limits<double>::infinity(), "-inf"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(las::text::debug_double(c.value), c.text);
  }
  EXPECT_EQ(las::text::debug_float(0.25f), "0.25");
  EXPECT_EQ(las::text::debug_float(-12.0f), "-12.0");
  EXPECT_EQ(las::text::debug_float(0.1f), "0.1");
}

}  // namespace
