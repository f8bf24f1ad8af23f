// Model set-up of the GPSTIME11 version 1 decoder.
#include "field_gpstime11_v1.hpp"

namespace laz::detail {

namespace {
constexpr uint32_t kZeroDiffSymbols = 3;
constexpr uint32_t kDiffBits = 32;
constexpr uint32_t kDiffContexts = 6;
}  // namespace

GpsTime11V1Decoder::GpsTime11V1Decoder()
    : multi_(static_cast<uint32_t>(kMultiMax)),
      zero_diff_(kZeroDiffSymbols),
      diff_(kDiffBits, kDiffContexts) {}

void GpsTime11V1Decoder::init(const uint8_t* first_item) {
  multi_.init();
  zero_diff_.init();
  diff_.init();
  last_diff_ = 0;
  extreme_count_ = 0;
  last_time_ = load_u64(first_item);
}

}  // namespace laz::detail
