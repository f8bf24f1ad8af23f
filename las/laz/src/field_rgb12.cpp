// Set-up of the RGB12 version 2 models at the start of a chunk.
#include "field_rgb12.hpp"

namespace laz::detail {

Rgb12V2State::Rgb12V2State() = default;

void Rgb12V2State::init(const uint8_t* first_item) {
  byte_used_.init();
  for (auto& m : diff_) m.init();
  last_ = {load_u16(first_item), load_u16(first_item + 2), load_u16(first_item + 4)};
}

}  // namespace laz::detail
