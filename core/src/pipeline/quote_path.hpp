// The quoted form in which progress and warning records show file paths: printable text stays as
// it is, everything that could hide or garble the path in a log line is escaped.
#pragma once

#include <string>
#include <string_view>

namespace quarrix_core::pipeline {

// Returns `path` between double quotes. Inside, '"' and '\' get a backslash; tab, carriage return,
// line feed and NUL become \t, \r, \n, \0; any other non-printable or combining character becomes
// \u{hex} (lower case, no leading zeros); each byte that is not part of valid UTF-8 becomes \xHH
// (upper case). A single quote is not escaped. Safe to call from any thread.
[[nodiscard]] std::string quote_path(std::string_view path);

}  // namespace quarrix_core::pipeline
