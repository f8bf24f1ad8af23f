// Model set-up of the BYTE version 1 decoder.
#include "field_byte_v1.hpp"

namespace laz::detail {

namespace {
constexpr uint32_t kByteBits = 8;
}  // namespace

ByteV1Decoder::ByteV1Decoder(uint16_t count) : byte_(kByteBits, count), last_(count) {}

void ByteV1Decoder::init(const uint8_t* first_item) {
  byte_.init();
  std::copy_n(first_item, last_.size(), last_.begin());
}

}  // namespace laz::detail
