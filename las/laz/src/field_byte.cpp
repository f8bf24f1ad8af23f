// Set-up of the BYTE version 2 models at the start of a chunk.
#include "field_byte.hpp"

#include <algorithm>

namespace laz::detail {

ByteV2State::ByteV2State(uint16_t count) : last_(count) {
  models_.reserve(count);
  for (uint16_t i = 0; i < count; ++i) models_.emplace_back(256);
}

void ByteV2State::init(const uint8_t* first_item) {
  for (auto& m : models_) m.init();
  std::copy(first_item, first_item + last_.size(), last_.begin());
}

}  // namespace laz::detail
