// RGB12 version 1 (LASzip 1.x files): each byte of red, green and blue predicted by its previous
// value, coded only when a six-bit mask says it changed. Decoding only: we never write version 1.
#pragma once

#include <array>
#include <cstdint>

#include "arithmetic_decoder.hpp"
#include "arithmetic_model.hpp"
#include "byte_streams.hpp"
#include "integer_compressor.hpp"

namespace laz::detail {

class Rgb12V1Decoder {
 public:
  Rgb12V1Decoder();

  void init(const uint8_t* first_item);
  template <class Dec>
  void decode(Dec& dec, uint8_t* item);

 private:
  ArithmeticModel byte_used_;  // bit 2c: low byte of channel c changed, bit 2c+1: high byte
  IntegerCompressor byte_;     // context 2c low byte, 2c+1 high byte of channel c
  std::array<uint8_t, 6> last_{};
};

template <class Dec>
void Rgb12V1Decoder::decode(Dec& dec, uint8_t* item) {
  const uint32_t used = dec.decode_symbol(byte_used_);
  // The item is three little-endian 16-bit channels, so byte b of the item is context b.
  for (uint32_t byte_index = 0; byte_index < 6; ++byte_index) {
    if (used & (1U << byte_index)) {
      last_[byte_index] =
          static_cast<uint8_t>(byte_.decompress(dec, last_[byte_index], byte_index));
    }
  }
  std::copy(last_.begin(), last_.end(), item);
}

}  // namespace laz::detail
