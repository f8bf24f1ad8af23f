// BYTE14 layered item codec: each byte is coded as its difference (modulo 256) to the same byte
// of the previous point of the scanner channel.
#include "field_byte14.hpp"

#include <algorithm>
#include <cstring>

namespace laz::detail {

Byte14Decoder::Byte14Decoder(uint16_t size, uint16_t version)
    : size_(size), own_last_on_switch_(version >= 4), sources_(size), present_(size, 0) {
  decoders_.reserve(size_);
  for (auto& source : sources_) decoders_.emplace_back(source);
  for (auto& ch : channels_) {
    ch.last.assign(size_, 0);
    ch.models.resize(size_);
  }
}

void Byte14Decoder::set_layer(size_t layer, const uint8_t* data, uint32_t size) {
  sources_[layer] = MemorySource{data, data + size, false};
  present_[layer] = size != 0 ? 1 : 0;
}

bool Byte14Decoder::overrun() const {
  for (const auto& source : sources_) {
    if (source.overrun) return true;
  }
  return false;
}

void Byte14Decoder::init(const uint8_t* first_item, uint32_t context) {
  for (size_t i = 0; i < size_; ++i) {
    if (present_[i]) decoders_[i].init();
  }
  for (auto& ch : channels_) ch.unused = true;
  current_ = context & 3u;
  Channel& ch = channels_[current_];
  ch.unused = false;
  std::memcpy(ch.last.data(), first_item, size_);
  for (auto& m : ch.models) {
    if (m) m->init();
  }
}

[[gnu::flatten]] void Byte14Decoder::decode(uint8_t* item, uint32_t context) {
  // Which previous bytes predict: see Rgb14Channels::select, the same rule.
  uint8_t* last = channels_[current_].last.data();
  context &= 3u;
  if (context != current_) {
    current_ = context;
    Channel& next = channels_[current_];
    if (next.unused) {
      next.unused = false;
      std::memcpy(next.last.data(), last, size_);
      for (auto& m : next.models) {
        if (m) m->init();
      }
      last = next.last.data();
    } else if (own_last_on_switch_) {
      last = next.last.data();
    }
  }
  Channel& ch = channels_[current_];
  for (size_t i = 0; i < size_; ++i) {
    if (present_[i]) {
      if (!ch.models[i]) ch.models[i].emplace(256);
      last[i] = static_cast<uint8_t>(last[i] + decoders_[i].decode_symbol(*ch.models[i]));
    }
    item[i] = last[i];
  }
}

Byte14Encoder::Byte14Encoder(uint16_t size, uint16_t version)
    : size_(size), own_last_on_switch_(version >= 4), buffers_(size), changed_(size, 0) {
  sinks_.reserve(size_);
  for (auto& buffer : buffers_) sinks_.push_back(VectorSink{&buffer});
  encoders_.reserve(size_);
  for (auto& sink : sinks_) encoders_.emplace_back(sink);
  for (auto& ch : channels_) ch.last.assign(size_, 0);
}

namespace {

template <class Channel>
void start_channel(Channel& ch, const uint8_t* seed, size_t size) {
  ch.unused = false;
  std::memcpy(ch.last.data(), seed, size);
  if (ch.models.empty()) {
    ch.models.reserve(size);
    for (size_t i = 0; i < size; ++i) ch.models.emplace_back(256);
  } else {
    for (auto& m : ch.models) m.init();
  }
}

}  // namespace

void Byte14Encoder::init(const uint8_t* first_item, uint32_t context) {
  // The coders are fresh: the previous chunk's finish() ended them.
  for (auto& buffer : buffers_) buffer.clear();
  std::fill(changed_.begin(), changed_.end(), 0);
  for (auto& ch : channels_) ch.unused = true;
  current_ = context & 3u;
  start_channel(channels_[current_], first_item, size_);
}

void Byte14Encoder::encode(const uint8_t* item, uint32_t context) {
  uint8_t* last = channels_[current_].last.data();
  context &= 3u;
  if (context != current_) {
    current_ = context;
    Channel& next = channels_[current_];
    if (next.unused) {
      start_channel(next, last, size_);
      last = next.last.data();
    } else if (own_last_on_switch_) {
      last = next.last.data();
    }
  }
  Channel& ch = channels_[current_];
  for (size_t i = 0; i < size_; ++i) {
    const auto diff = static_cast<uint8_t>(item[i] - last[i]);
    encoders_[i].encode_symbol(ch.models[i], diff);
    if (diff != 0) {
      changed_[i] = 1;
      last[i] = item[i];
    }
  }
}

void Byte14Encoder::finish() {
  // Dropped layers are ended too: done() also readies a coder for the next chunk.
  for (auto& encoder : encoders_) encoder.done();
}

uint32_t Byte14Encoder::layer_size(size_t layer) const {
  return changed_[layer] ? static_cast<uint32_t>(buffers_[layer].size()) : 0u;
}

const uint8_t* Byte14Encoder::layer_data(size_t layer) const { return buffers_[layer].data(); }

}  // namespace laz::detail
