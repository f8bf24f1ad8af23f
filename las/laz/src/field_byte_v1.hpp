// BYTE version 1 (LASzip 1.x files): extra bytes, each predicted by its previous value with its
// own integer-compressor context. Decoding only: we never write version 1.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "arithmetic_decoder.hpp"
#include "integer_compressor.hpp"

namespace laz::detail {

class ByteV1Decoder {
 public:
  // `count`: bytes in the item (at least 1).
  explicit ByteV1Decoder(uint16_t count);

  void init(const uint8_t* first_item);
  template <class Dec>
  void decode(Dec& dec, uint8_t* item);

 private:
  IntegerCompressor byte_;  // one context per byte
  std::vector<uint8_t> last_;
};

template <class Dec>
void ByteV1Decoder::decode(Dec& dec, uint8_t* item) {
  const auto count = static_cast<uint32_t>(last_.size());
  for (uint32_t byte_index = 0; byte_index < count; ++byte_index) {
    last_[byte_index] = static_cast<uint8_t>(byte_.decompress(dec, last_[byte_index], byte_index));
  }
  std::copy(last_.begin(), last_.end(), item);
}

}  // namespace laz::detail
