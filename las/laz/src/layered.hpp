// Compressor type 3 (layered chunked LASzip, point formats 6 to 10): the chunk layout, and the
// chunk decoder and encoder that run the per-item layered codecs over one chunk at a time.
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "laz/error.hpp"
#include "laz/vlr.hpp"

// ---------------------------------------------------------------------------------------------------
// Layout of one layered chunk (all integers little-endian):
//
//   record 0, raw          record_length bytes: the chunk's first point exactly as in the LAS file
//   point count            u32: points in the chunk, the raw one included
//   layer sizes            u32 per layer, item after item in item-list order (POINT14: 9 layers,
//                          RGB14: 1, RGBNIR14: 2, WAVEPACKET14: 1, BYTE14: one per byte)
//   layer bytes            the layers themselves, in the same order as their sizes
//
// Each layer is its own arithmetic-coded stream (it starts with the coder's 4 init bytes). A size
// of 0 means the layer was dropped because its values never change within the chunk: the decoder
// then repeats the value of the previous point of the same scanner channel.
//
// Items and their scanner-channel contexts: POINT14 is the first item and decides, point by point,
// the scanner channel (0..3); every other item keeps one model set per channel and is told, point
// by point, the context POINT14 hands on (see below). A channel's models are (re)initialised at its
// first point in a chunk.
//
// The layered item interface, followed by every layered item codec. One decoder and one encoder
// class per item, held by value inside the chunk coders:
//
//   class FooDecoder {
//    public:
//     size_t layer_count() const;
//     // Per chunk, before init: the bytes of layer `layer` (size 0: the layer is absent).
//     // The bytes stay valid until the chunk is fully decoded.
//     void set_layer(size_t layer, const uint8_t* data, uint32_t size);
//     // Per chunk: the item's bytes inside the raw first record, and the context of that point.
//     void init(const uint8_t* first_item, uint32_t context);
//     // The next point's item, written to `item` (every byte of it, also for absent layers).
//     void decode(uint8_t* item, uint32_t context);
//     // True when a layer was read past its end (a truncated or corrupt chunk).
//     bool overrun() const;
//   };
//   class FooEncoder {
//    public:
//     size_t layer_count() const;
//     // Per chunk: starts fresh layer coders and contexts from the raw first record's item.
//     void init(const uint8_t* first_item, uint32_t context);
//     void encode(const uint8_t* item, uint32_t context);
//     // Ends the chunk: flushes the layer coders. Afterwards layer_size() is 0 for a layer that is
//     // dropped (its values never changed), exactly as LASzip decides.
//     void finish();
//     uint32_t layer_size(size_t layer) const;
//     const uint8_t* layer_data(size_t layer) const;
//   };
//
// The context comes from POINT14: its decoder's and encoder's init/decode/encode return it. With a
// version 4 POINT14 it is the point's scanner channel. With version 3 it is the channel on the
// first point of a chunk and on points that switch channel, and 0 on every other point: LASzip's
// point reader and writer start each point with context 0 and only a channel switch overwrites it,
// so v3 files are written that way and must be read that way. WAVEPACKET14 classes are
// WavePacket14Decoder/WavePacket14Encoder in field_wavepacket14.hpp, constructed from the item
// version (3 or 4). Version 4 items have the v3 layout; they differ only in which previous value is
// the prediction on the first point after a switch to an already used scanner channel (v4 takes
// that channel's own).
// ---------------------------------------------------------------------------------------------------

namespace laz::detail {

inline constexpr uint16_t kItemPoint14 = 10;
inline constexpr uint16_t kItemRgb14 = 11;
inline constexpr uint16_t kItemRgbNir14 = 12;
inline constexpr uint16_t kItemWavePacket14 = 13;
inline constexpr uint16_t kItemByte14 = 14;

template <class T>
concept LayeredItemDecoder = requires(T d, const T cd, const uint8_t* in, uint8_t* out,
                                      uint32_t n) {
  { cd.layer_count() } -> std::convertible_to<size_t>;
  d.set_layer(size_t{0}, in, n);
  d.init(in, n);
  d.decode(out, n);
  { cd.overrun() } -> std::convertible_to<bool>;
};

template <class T>
concept LayeredItemEncoder = requires(T e, const T ce, const uint8_t* in, uint32_t n) {
  { ce.layer_count() } -> std::convertible_to<size_t>;
  e.init(in, n);
  e.encode(in, n);
  e.finish();
  { ce.layer_size(size_t{0}) } -> std::convertible_to<uint32_t>;
  { ce.layer_data(size_t{0}) } -> std::convertible_to<const uint8_t*>;
};

// Decodes layered chunks. Not thread-safe; one per reader. Movable.
class LayeredChunkDecoder {
 public:
  // Accepts POINT14 first, then at most one each of RGB14 or RGBNIR14, WAVEPACKET14 and BYTE14,
  // versions 3 and 4, with the sizes those items have.
  [[nodiscard]] static Result<LayeredChunkDecoder> create(std::span<const LazItem> items);

  LayeredChunkDecoder(LayeredChunkDecoder&&) noexcept;
  LayeredChunkDecoder& operator=(LayeredChunkDecoder&&) noexcept;
  ~LayeredChunkDecoder();

  uint16_t record_length() const;

  // Starts a chunk. `chunk` begins at the chunk's first byte and may extend past its end (the chunk
  // table's byte count, or the rest of the point data). It must stay valid until the chunk's last
  // point is decoded. Returns the point count the chunk declares (at least 1).
  [[nodiscard]] Result<uint32_t> begin_chunk(std::span<const uint8_t> chunk);

  // Bytes the current chunk occupies (raw record, count, sizes and layers), known after
  // begin_chunk.
  size_t chunk_size_in_bytes() const;

  // Points of the current chunk not yet decoded.
  uint32_t remaining() const;

  // Decodes the next `count` (<= remaining()) records into `out` (count * record_length() bytes).
  // A layer read past its end yields Error{Io, "failed to fill whole buffer"}.
  [[nodiscard]] Result<void> decode(uint8_t* out, size_t count);

 private:
  struct State;
  explicit LayeredChunkDecoder(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

// Encodes layered chunks, byte for byte as the LASzip compressor does. Not thread-safe. Movable.
class LayeredChunkEncoder {
 public:
  [[nodiscard]] static Result<LayeredChunkEncoder> create(std::span<const LazItem> items);

  LayeredChunkEncoder(LayeredChunkEncoder&&) noexcept;
  LayeredChunkEncoder& operator=(LayeredChunkEncoder&&) noexcept;
  ~LayeredChunkEncoder();

  uint16_t record_length() const;

  // Adds one record (record_length() bytes) to the open chunk; the first one is stored raw.
  void encode(const uint8_t* record);

  // Points in the open chunk.
  uint32_t point_count() const;

  // Closes the open chunk (if it holds any point): appends its bytes to `out` and starts a new,
  // empty chunk. Returns the number of bytes appended (0 for an empty chunk).
  size_t finish_chunk(std::vector<uint8_t>& out);

 private:
  struct State;
  explicit LayeredChunkEncoder(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

}  // namespace laz::detail
