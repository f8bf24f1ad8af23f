// Error values of the LASzip codec: what went wrong, as text the LAS layer shows to users.
#pragma once

#include <string>
#include <utility>

#include <tl/expected.hpp>

namespace laz {

struct Error {
  enum class Kind {
    Laszip,  // the LASzip description or layout cannot be honoured; shown as "laszip error: " +
             // message
    Io,      // reading or decoding the point bytes failed; shown as is
  };
  Kind kind = Kind::Laszip;
  std::string message;
};

template <class T>
using Result = tl::expected<T, Error>;

inline tl::unexpected<Error> laszip_error(std::string message) {
  return tl::unexpected<Error>(Error{Error::Kind::Laszip, std::move(message)});
}

inline tl::unexpected<Error> io_error(std::string message) {
  return tl::unexpected<Error>(Error{Error::Kind::Io, std::move(message)});
}

}  // namespace laz
