// The wave-packet item (descriptor index, waveform offset and size, return point location and
// the x/y/z direction of the pulse): the state machine shared by the point-wise WAVEPACKET13
// version 1 codec below and the per-scanner-channel layered WAVEPACKET14 codec.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

#include "arithmetic_decoder.hpp"
#include "arithmetic_encoder.hpp"
#include "arithmetic_model.hpp"
#include "byte_streams.hpp"
#include "integer_compressor.hpp"

namespace laz::detail {

// LAS point formats 4, 5, 9 and 10: one byte of descriptor index, then 28 bytes of packet data.
inline constexpr std::size_t kWavePacketSize = 29;

// The 28 bytes after the descriptor index. The four floats (return point location, x(t), y(t),
// z(t)) are predicted as their integer bit patterns, so they are kept as such.
struct WavePacket {
  uint64_t offset = 0;
  uint32_t packet_size = 0;
  int32_t return_point = 0;
  int32_t x = 0;
  int32_t y = 0;
  int32_t z = 0;

  // `bytes` points at the descriptor index byte of a 29-byte item.
  static WavePacket load(const uint8_t* bytes) {
    WavePacket packet;
    packet.offset = load_u64(bytes + 1);
    packet.packet_size = load_u32(bytes + 9);
    packet.return_point = load_i32(bytes + 13);
    packet.x = load_i32(bytes + 17);
    packet.y = load_i32(bytes + 21);
    packet.z = load_i32(bytes + 25);
    return packet;
  }
  void store(uint8_t* bytes) const {
    store_u64(bytes + 1, offset);
    store_u32(bytes + 9, packet_size);
    store_i32(bytes + 13, return_point);
    store_i32(bytes + 17, x);
    store_i32(bytes + 21, y);
    store_i32(bytes + 25, z);
  }
};

// Models and running state of one wave-packet stream. The caller owns the previous item: LASzip's
// layered codec predicts from an item buffer that is not always this stream's own (see
// field_wavepacket14.hpp), so prediction source and model state are kept apart here.
class WavePacketCoder {
 public:
  WavePacketCoder();

  // Fresh models, as at the start of a chunk (or of a scanner channel within one).
  void reset();

  // Decodes one item into `item` (29 bytes), predicting from `last` (29 bytes). `item` and
  // `last` may be the same buffer.
  template <class Dec>
  void decode(Dec& dec, const uint8_t* last, uint8_t* item);

  template <class Enc>
  void encode(Enc& enc, const uint8_t* last, const uint8_t* item);

 private:
  // Symbols of the offset model: how this packet's offset follows from the previous packet.
  enum OffsetKind : uint32_t {
    kSameOffset = 0,
    kAfterLastPacket = 1,
    kOffsetDelta = 2,
    kRawOffset = 3
  };

  ArithmeticModel packet_index_;
  std::array<ArithmeticModel, 4> offset_kind_;  // one per previous OffsetKind
  IntegerCompressor offset_delta_;
  IntegerCompressor packet_size_;
  IntegerCompressor return_point_;
  IntegerCompressor xyz_;  // contexts 0, 1, 2 for x, y, z
  int32_t last_offset_delta_ = 0;
  uint32_t last_offset_kind_ = kSameOffset;
};

// WAVEPACKET13 version 1, the only version LASzip defines: point-wise, formats 4 and 5.
class WavePacket13V1Decoder {
 public:
  void init(const uint8_t* first_item);
  template <class Dec>
  void decode(Dec& dec, uint8_t* item);

 private:
  WavePacketCoder coder_;
  std::array<uint8_t, kWavePacketSize> last_{};
};

class WavePacket13V1Encoder {
 public:
  void init(const uint8_t* first_item);
  template <class Enc>
  void encode(Enc& enc, const uint8_t* item);

 private:
  WavePacketCoder coder_;
  std::array<uint8_t, kWavePacketSize> last_{};
};

template <class Dec>
void WavePacketCoder::decode(Dec& dec, const uint8_t* last, uint8_t* item) {
  const WavePacket prev = WavePacket::load(last);
  WavePacket cur;
  const auto index = static_cast<uint8_t>(dec.decode_symbol(packet_index_));
  last_offset_kind_ = dec.decode_symbol(offset_kind_[last_offset_kind_]);
  switch (last_offset_kind_) {
    case kSameOffset:
      cur.offset = prev.offset;
      break;
    case kAfterLastPacket:
      cur.offset = prev.offset + prev.packet_size;
      break;
    case kOffsetDelta:
      last_offset_delta_ = offset_delta_.decompress(dec, last_offset_delta_);
      // A negative delta wraps the unsigned offset, as LASzip's 64-bit sum does.
      cur.offset = prev.offset + static_cast<uint64_t>(static_cast<int64_t>(last_offset_delta_));
      break;
    default:
      cur.offset = dec.read_int64();
      break;
  }
  cur.packet_size =
      static_cast<uint32_t>(packet_size_.decompress(dec, static_cast<int32_t>(prev.packet_size)));
  cur.return_point = return_point_.decompress(dec, prev.return_point);
  cur.x = xyz_.decompress(dec, prev.x, 0);
  cur.y = xyz_.decompress(dec, prev.y, 1);
  cur.z = xyz_.decompress(dec, prev.z, 2);
  item[0] = index;
  cur.store(item);
}

template <class Enc>
void WavePacketCoder::encode(Enc& enc, const uint8_t* last, const uint8_t* item) {
  const WavePacket prev = WavePacket::load(last);
  const WavePacket cur = WavePacket::load(item);
  enc.encode_symbol(packet_index_, item[0]);
  const auto delta_64 = static_cast<int64_t>(cur.offset - prev.offset);
  const auto delta_32 = static_cast<int32_t>(delta_64);
  uint32_t kind = kRawOffset;
  if (delta_64 == delta_32) {
    if (delta_32 == 0) {
      kind = kSameOffset;
    } else if (delta_64 == static_cast<int64_t>(prev.packet_size)) {
      // The decoder adds the unsigned size. LASzip compares the 32-bit delta with the size
      // read as signed, so a packet of 2 GiB or more followed by a step back of 2^32 - size
      // was written as "after the last packet" and decoded 4 GiB away; that step is coded as
      // a delta instead. Sizes below 2 GiB code exactly as LASzip does.
      kind = kAfterLastPacket;
    } else {
      kind = kOffsetDelta;
    }
  }
  enc.encode_symbol(offset_kind_[last_offset_kind_], kind);
  last_offset_kind_ = kind;
  if (kind == kOffsetDelta) {
    offset_delta_.compress(enc, last_offset_delta_, delta_32);
    last_offset_delta_ = delta_32;
  } else if (kind == kRawOffset) {
    enc.write_int64(cur.offset);
  }
  packet_size_.compress(enc, static_cast<int32_t>(prev.packet_size),
                        static_cast<int32_t>(cur.packet_size));
  return_point_.compress(enc, prev.return_point, cur.return_point);
  xyz_.compress(enc, prev.x, cur.x, 0);
  xyz_.compress(enc, prev.y, cur.y, 1);
  xyz_.compress(enc, prev.z, cur.z, 2);
}

template <class Dec>
void WavePacket13V1Decoder::decode(Dec& dec, uint8_t* item) {
  coder_.decode(dec, last_.data(), item);
  std::copy_n(item, kWavePacketSize, last_.begin());
}

template <class Enc>
void WavePacket13V1Encoder::encode(Enc& enc, const uint8_t* item) {
  coder_.encode(enc, last_.data(), item);
  std::copy_n(item, kWavePacketSize, last_.begin());
}

}  // namespace laz::detail
