// Model set-up of the RGB12 version 1 decoder.
#include "field_rgb12_v1.hpp"

#include <algorithm>

namespace laz::detail {

namespace {
constexpr uint32_t kByteUsedSymbols = 64;
constexpr uint32_t kByteBits = 8;
constexpr uint32_t kByteContexts = 6;
}  // namespace

Rgb12V1Decoder::Rgb12V1Decoder() : byte_used_(kByteUsedSymbols), byte_(kByteBits, kByteContexts) {}

void Rgb12V1Decoder::init(const uint8_t* first_item) {
  byte_used_.init();
  byte_.init();
  std::copy_n(first_item, last_.size(), last_.begin());
}

}  // namespace laz::detail
