// Rendering of the LAS layer's error values.
#include "las/error.hpp"

#include <cstring>

#include <fmt/format.h>

namespace las {

Error Error::text(std::string message) { return Error(std::move(message), 0); }

Error Error::os(int error_number) {
  // strerror_r has two signatures; the overload set below picks whichever this libc provides.
  char buffer[256] = {};
  struct Pick {
    static const char* text(int /*result*/, const char* buf) { return buf; }
    static const char* text(const char* result, const char* /*buf*/) { return result; }
  };
  const char* description = Pick::text(strerror_r(error_number, buffer, sizeof buffer), buffer);
  return Error(fmt::format("{} (os error {})", description, error_number), error_number);
}

}  // namespace las
