// BYTE version 2: extra bytes, each coded as its difference to the same byte of the previous
// point with its own model.
#pragma once

#include <cstdint>
#include <vector>

#include "arithmetic_model.hpp"
#include "byte_streams.hpp"

namespace laz::detail {

class ByteV2State {
 public:
  // `count`: bytes in the item (at least 1).
  explicit ByteV2State(uint16_t count);
  void init(const uint8_t* first_item);

 protected:
  std::vector<ArithmeticModel> models_;  // one per byte
  std::vector<uint8_t> last_;
};

class ByteV2Decoder : private ByteV2State {
 public:
  using ByteV2State::ByteV2State;
  using ByteV2State::init;
  template <class Dec>
  void decode(Dec& dec, uint8_t* item) {
    const size_t count = last_.size();
    for (size_t i = 0; i < count; ++i) {
      last_[i] = fold_byte(static_cast<int32_t>(dec.decode_symbol(models_[i])) + last_[i]);
      item[i] = last_[i];
    }
  }
};

class ByteV2Encoder : private ByteV2State {
 public:
  using ByteV2State::ByteV2State;
  using ByteV2State::init;
  template <class Enc>
  void encode(Enc& enc, const uint8_t* item) {
    const size_t count = last_.size();
    for (size_t i = 0; i < count; ++i) {
      enc.encode_symbol(models_[i], fold_byte(static_cast<int32_t>(item[i]) - last_[i]));
      last_[i] = item[i];
    }
  }
};

}  // namespace laz::detail
