// BYTE14 layered item codec (LASzip item type 14, versions 3 and 4): the extra bytes of a point,
// each byte in a layer of its own, with one model set per scanner channel.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "arithmetic_decoder.hpp"
#include "arithmetic_encoder.hpp"
#include "arithmetic_model.hpp"
#include "byte_streams.hpp"

namespace laz::detail {

class Byte14Decoder {
 public:
  // `size`: the number of extra bytes (the item size); `version`: 3 or 4.
  Byte14Decoder(uint16_t size, uint16_t version);

  size_t layer_count() const { return size_; }
  void set_layer(size_t layer, const uint8_t* data, uint32_t size);
  void init(const uint8_t* first_item, uint32_t context);
  void decode(uint8_t* item, uint32_t context);
  bool overrun() const;

 private:
  struct Channel {
    bool unused = true;
    std::vector<uint8_t> last;
    // Created at the first use of a present layer, so that memory follows the chunk's real bytes.
    std::vector<std::optional<ArithmeticModel>> models;
  };

  size_t size_;
  bool own_last_on_switch_;
  std::vector<MemorySource> sources_;
  std::vector<uint8_t> present_;
  std::vector<ArithmeticDecoder<MemorySource>> decoders_;
  std::array<Channel, 4> channels_;
  uint32_t current_ = 0;
};

class Byte14Encoder {
 public:
  Byte14Encoder(uint16_t size, uint16_t version);

  size_t layer_count() const { return size_; }
  void init(const uint8_t* first_item, uint32_t context);
  void encode(const uint8_t* item, uint32_t context);
  void finish();
  uint32_t layer_size(size_t layer) const;
  const uint8_t* layer_data(size_t layer) const;

 private:
  struct Channel {
    bool unused = true;
    std::vector<uint8_t> last;
    std::vector<ArithmeticModel> models;
  };

  size_t size_;
  bool own_last_on_switch_;
  std::vector<std::vector<uint8_t>> buffers_;
  std::vector<VectorSink> sinks_;
  std::vector<ArithmeticEncoder<VectorSink>> encoders_;
  std::vector<uint8_t> changed_;
  std::array<Channel, 4> channels_;
  uint32_t current_ = 0;
};

}  // namespace laz::detail
