// Per-chunk set-up of the WAVEPACKET14 layer: its byte stream, its coder and the channels.
#include "field_wavepacket14.hpp"

namespace laz::detail {

WavePacket14Decoder::WavePacket14Decoder(uint16_t version)
    : channels_(version), stream_(std::make_unique<Stream>()) {}

void WavePacket14Decoder::set_layer(size_t /*layer*/, const uint8_t* data, uint32_t size) {
  stream_->source = MemorySource{data, data + size};
  changed_ = size != 0;
}

void WavePacket14Decoder::init(const uint8_t* first_item, uint32_t context) {
  if (changed_) {
    stream_->decoder.emplace(stream_->source);
    stream_->decoder->init();
  }
  channels_.start(first_item, context);
}

WavePacket14Encoder::WavePacket14Encoder(uint16_t version)
    : channels_(version), stream_(std::make_unique<Stream>()) {}

void WavePacket14Encoder::init(const uint8_t* first_item, uint32_t context) {
  stream_->bytes.clear();
  stream_->encoder.emplace(stream_->sink);
  changed_ = false;
  channels_.start(first_item, context);
}

void WavePacket14Encoder::finish() { stream_->encoder->done(); }

uint32_t WavePacket14Encoder::layer_size(size_t /*layer*/) const {
  // LASzip drops the layer of an item that never changes within the chunk.
  return changed_ ? static_cast<uint32_t>(stream_->bytes.size()) : 0;
}

const uint8_t* WavePacket14Encoder::layer_data(size_t /*layer*/) const {
  return stream_->bytes.data();
}

}  // namespace laz::detail
