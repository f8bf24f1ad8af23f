// Set-up of the POINT10 version 2 models and prediction state at the start of a chunk.
#include "field_point10.hpp"

namespace laz::detail {

Point10V2State::Point10V2State() = default;

void Point10V2State::init(const uint8_t* first_item) {
  changed_values_.init();
  for (auto& m : scan_angle_rank_) m.init();
  intensity_.init();
  point_source_id_.init();
  dx_.init();
  dy_.init();
  z_.init();
  reset(flags_);
  reset(classification_);
  reset(user_data_);

  last_intensity_.fill(0);
  for (auto& median : last_x_diff_median_) median.init();
  for (auto& median : last_y_diff_median_) median.init();
  last_height_.fill(0);

  x_ = load_i32(first_item);
  y_ = load_i32(first_item + 4);
  z_value_ = load_i32(first_item + 8);
  // The intensity is predicted per return context from last_intensity_, never from the
  // previous point, so the first point's intensity does not seed anything.
  intensity_value_ = 0;
  flags_value_ = first_item[14];
  classification_value_ = first_item[15];
  scan_angle_value_ = first_item[16];
  user_data_value_ = first_item[17];
  point_source_value_ = load_u16(first_item + 18);
}

}  // namespace laz::detail
