// The quoted form of paths in progress and warning records: escapes, Unicode classes and
// invalid UTF-8.
#include "pipeline/quote_path.hpp"

#include <string>

#include <gtest/gtest.h>

namespace quarrix_core::pipeline {
namespace {

using namespace std::string_literals;

TEST(QuotePath, Table) {
  const struct {
    const char* name;
    std::string path;
    std::string quoted;
  } kCases[] = {
      {"plain", "tiles/a-1.laz", R"("tiles/a-1.laz")"},
      {"empty", "", R"("")"},
      {"blank stays", "my tile.las", R"("my tile.las")"},
      {"single quote stays", "it's.las", R"("it's.las")"},
      {"double quote", "a\"b", R"("a\"b")"},
      {"backslash", "C:\\t.las", R"("C:\\t.las")"},
      {"tab cr lf", "a\tb\rc\nd", R"("a\tb\rc\nd")"},
      {"nul", "a\0b"s, R"("a\0b")"},
      {"bell", "a\x07", R"("a\u{7}")"},
      {"escape", "\x1b[0m", R"("\u{1b}[0m")"},
      {"delete", "\x7f", R"("\u{7f}")"},
      {"c1 control", "\xc2\x85", R"("\u{85}")"},
      {"no-break space",
       "a\xc2\xa0"
       "b",
       R"("a\u{a0}b")"},
      {"precomposed accent stays", "caf\xc3\xa9", "\"caf\xc3\xa9\""},
      {"combining accent", "cafe\xcc\x81", R"("cafe\u{301}")"},
      {"combining first",
       "\xcc\x81"
       "a",
       R"("\u{301}a")"},
      {"soft hyphen",
       "a\xc2\xad"
       "b",
       R"("a\u{ad}b")"},
      {"zero width space",
       "a\xe2\x80\x8b"
       "b",
       R"("a\u{200b}b")"},
      {"zero width joiner", "\xe2\x80\x8d", R"("\u{200d}")"},
      {"line separator", "\xe2\x80\xa8", R"("\u{2028}")"},
      {"private use", "\xee\x80\x80", R"("\u{e000}")"},
      {"unassigned", "\xcd\xb8", R"("\u{378}")"},
      {"cjk stays", "\xe6\x97\xa5\xe6\x9c\xac.laz", "\"\xe6\x97\xa5\xe6\x9c\xac.laz\""},
      {"emoji stays", "\xf0\x9f\x98\x80", "\"\xf0\x9f\x98\x80\""},
      {"variation selector", "\xef\xb8\x8f", R"("\u{fe0f}")"},
      {"last code point", "\xf4\x8f\xbf\xbf", R"("\u{10ffff}")"},
      {"lone byte ff",
       "a\xff"
       "b",
       R"("a\xFFb")"},
      {"truncated at end", "a\xc3", R"("a\xC3")"},
      {"truncated inside",
       "\xe2\x82"
       "a",
       R"("\xE2\x82a")"},
      {"lone continuation", "\x80\xbf", R"("\x80\xBF")"},
      {"overlong slash", "\xc0\xaf", R"("\xC0\xAF")"},
      {"overlong three bytes", "\xe0\x80\xaf", R"("\xE0\x80\xAF")"},
      {"surrogate", "\xed\xa0\x80", R"("\xED\xA0\x80")"},
      {"above max", "\xf4\x90\x80\x80", R"("\xF4\x90\x80\x80")"},
      {"invalid then valid", "\xff\xc3\xa9", "\"\\xFF\xc3\xa9\""},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(quote_path(c.path), c.quoted);
  }
}

}  // namespace
}  // namespace quarrix_core::pipeline
