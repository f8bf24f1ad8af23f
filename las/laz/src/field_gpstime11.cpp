// Set-up of the GPSTIME11 version 2 models and sequences at the start of a chunk.
#include "field_gpstime11.hpp"

namespace laz::detail {

GpsTime11V2State::GpsTime11V2State() = default;

void GpsTime11V2State::init(const uint8_t* first_item) {
  gpstime_multi_.init();
  gpstime_0diff_.init();
  gpstime_.init();
  last_ = 0;
  next_ = 0;
  last_gpstime_diff_.fill(0);
  multi_extreme_counter_.fill(0);
  last_gpstime_.fill(0);
  last_gpstime_[0] = load_i64(first_item);
}

}  // namespace laz::detail
