// Model set-up of the POINT10 version 1 decoder.
#include "field_point10_v1.hpp"

namespace laz::detail {

namespace {
// Integer compressor sizes of LASzip's version 1 point codec.
constexpr uint32_t kCoordinateBits = 32;
constexpr uint32_t kCoordinateContexts = 20;
constexpr uint32_t kShortBits = 16;
constexpr uint32_t kByteBits = 8;
constexpr uint32_t kScanAngleContexts = 2;
constexpr uint32_t kChangeMaskSymbols = 64;
constexpr uint32_t kByteSymbols = 256;
}  // namespace

void Point10V1Decoder::ModelPerByte::init() {
  for (auto& model : models_) model.init();
}

ArithmeticModel& Point10V1Decoder::ModelPerByte::operator[](uint8_t previous) {
  if (slot_[previous] == 0) {
    models_.emplace_back(kByteSymbols);
    slot_[previous] = static_cast<uint16_t>(models_.size());
  }
  return models_[slot_[previous] - 1U];
}

Point10V1Decoder::Point10V1Decoder()
    : dx_(kCoordinateBits),
      dy_(kCoordinateBits, kCoordinateContexts),
      z_(kCoordinateBits, kCoordinateContexts),
      intensity_(kShortBits),
      scan_angle_(kByteBits, kScanAngleContexts),
      point_source_(kShortBits),
      changed_values_(kChangeMaskSymbols) {}

void Point10V1Decoder::init(const uint8_t* first_item) {
  dx_.init();
  dy_.init();
  z_.init();
  intensity_.init();
  scan_angle_.init();
  point_source_.init();
  changed_values_.init();
  flags_.init();
  classification_.init();
  user_data_.init();
  last_x_diff_.fill(0);
  last_y_diff_.fill(0);
  diff_slot_ = 0;
  std::copy_n(first_item, last_.size(), last_.begin());
}

}  // namespace laz::detail
