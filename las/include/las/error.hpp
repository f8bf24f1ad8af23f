// The one error value of the LAS layer: a finished user-facing message, plus the
// operating-system error number when the failure came from the system.
#pragma once

#include <string>
#include <utility>

#include <tl/expected.hpp>

namespace las {

class Error {
 public:
  // A failure described by its own text, e.g. "failed to fill whole buffer".
  [[nodiscard]] static Error text(std::string message);
  // A failed system call: renders "{description} (os error {number})".
  [[nodiscard]] static Error os(int error_number);

  [[nodiscard]] const std::string& message() const { return message_; }
  // The system error number, 0 unless the value was made by os().
  [[nodiscard]] int os_error() const { return os_error_; }

 private:
  Error(std::string message, int os_error) : message_(std::move(message)), os_error_(os_error) {}

  std::string message_;
  int os_error_ = 0;
};

template <class T>
using Result = tl::expected<T, Error>;

// Shorthand for returning a failure: `return las::fail("...")`.
[[nodiscard]] inline tl::unexpected<Error> fail(std::string message) {
  return tl::unexpected<Error>(Error::text(std::move(message)));
}
[[nodiscard]] inline tl::unexpected<Error> fail_os(int error_number) {
  return tl::unexpected<Error>(Error::os(error_number));
}

}  // namespace las
