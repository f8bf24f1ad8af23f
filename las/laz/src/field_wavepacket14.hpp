// WAVEPACKET14 (layered, point formats 9 and 10): the wave-packet item coded in one layer of its
// own, with a model set per scanner channel. Versions 3 and 4 share the layout and differ only in
// the prediction after a scanner-channel switch (`WavePacketChannels`).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "arithmetic_decoder.hpp"
#include "arithmetic_encoder.hpp"
#include "byte_streams.hpp"
#include "field_wavepacket13.hpp"

namespace laz::detail {

inline constexpr uint32_t kScannerChannels = 4;

// State of one scanner channel within a chunk.
struct WavePacketChannel {
  WavePacketCoder coder;
  std::array<uint8_t, kWavePacketSize> last{};
  bool used = false;  // seen in the current chunk
};

// Picks the previous item a point is predicted from, and opens channels on their first point.
// LASzip version 3 keeps predicting from (and updating) the buffer of the channel the previous
// point was in when it switches to a channel already used in this chunk; version 4 switches to
// that channel's own buffer. Files written with either must decode as they were written.
class WavePacketChannels {
 public:
  explicit WavePacketChannels(uint16_t version) : own_buffer_on_switch_(version >= 4) {}

  // Starts a chunk whose first point is `first_item` in scanner channel `context`.
  void start(const uint8_t* first_item, uint32_t context) {
    for (auto& channel : channels_) channel.used = false;
    current_ = context & (kScannerChannels - 1);
    open(current_, first_item);
  }

  // The channel of this point and the buffer holding its prediction (updated by the caller).
  WavePacketChannel& select(uint32_t context, uint8_t*& last) {
    last = channels_[current_].last.data();
    context &= kScannerChannels - 1;
    if (context != current_) {
      current_ = context;
      if (!channels_[current_].used) {
        open(current_, last);
        last = channels_[current_].last.data();
      } else if (own_buffer_on_switch_) {
        last = channels_[current_].last.data();
      }
    }
    return channels_[current_];
  }

 private:
  void open(uint32_t channel, const uint8_t* item) {
    channels_[channel].coder.reset();
    std::memcpy(channels_[channel].last.data(), item, kWavePacketSize);
    channels_[channel].used = true;
  }

  std::array<WavePacketChannel, kScannerChannels> channels_;
  uint32_t current_ = 0;
  bool own_buffer_on_switch_;
};

// Layered item decoder (interface in layered.hpp). Movable; not thread-safe.
class WavePacket14Decoder {
 public:
  // `version`: the item version of the LASzip record, 3 or 4.
  explicit WavePacket14Decoder(uint16_t version);

  size_t layer_count() const { return 1; }
  void set_layer(size_t layer, const uint8_t* data, uint32_t size);
  void init(const uint8_t* first_item, uint32_t context);
  void decode(uint8_t* item, uint32_t context);
  bool overrun() const { return stream_->source.overrun; }

 private:
  // Heap-held so that the decoder's reference to its source survives moves of this object.
  struct Stream {
    MemorySource source;
    std::optional<ArithmeticDecoder<MemorySource>> decoder;
  };

  WavePacketChannels channels_;
  std::unique_ptr<Stream> stream_;
  bool changed_ = false;  // the layer is present: the item changes within the chunk
};

// Layered item encoder (interface in layered.hpp). Movable; not thread-safe.
class WavePacket14Encoder {
 public:
  // `version`: 3 (what we write) or 4.
  explicit WavePacket14Encoder(uint16_t version);

  size_t layer_count() const { return 1; }
  void init(const uint8_t* first_item, uint32_t context);
  void encode(const uint8_t* item, uint32_t context);
  void finish();
  uint32_t layer_size(size_t layer) const;
  const uint8_t* layer_data(size_t layer) const;

 private:
  struct Stream {
    std::vector<uint8_t> bytes;
    VectorSink sink{&bytes};
    std::optional<ArithmeticEncoder<VectorSink>> encoder;
  };

  WavePacketChannels channels_;
  std::unique_ptr<Stream> stream_;
  bool changed_ = false;  // some item differed from its prediction buffer
};

inline void WavePacket14Decoder::decode(uint8_t* item, uint32_t context) {
  uint8_t* last = nullptr;
  WavePacketChannel& channel = channels_.select(context, last);
  if (changed_) {
    channel.coder.decode(*stream_->decoder, last, item);
    std::memcpy(last, item, kWavePacketSize);
  } else {
    // No layer: every point of the chunk carries the first point's packet.
    std::memcpy(item, last, kWavePacketSize);
  }
}

inline void WavePacket14Encoder::encode(const uint8_t* item, uint32_t context) {
  uint8_t* last = nullptr;
  WavePacketChannel& channel = channels_.select(context, last);
  if (std::memcmp(item, last, kWavePacketSize) != 0) changed_ = true;
  channel.coder.encode(*stream_->encoder, last, item);
  std::memcpy(last, item, kWavePacketSize);
}

}  // namespace laz::detail
