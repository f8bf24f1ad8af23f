// The LASzip description record ("laszip encoded", record 22204): how the point data is
// compressed and which items make up a point record.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "laz/error.hpp"

namespace laz {

// Item type codes of the LASzip description.
enum class ItemType : uint16_t {
  Byte = 0,
  Short = 1,  // obsolete codes 1..5: never written by LASzip, refused
  Int = 2,
  Long = 3,
  Float = 4,
  Double = 5,
  Point10 = 6,
  GpsTime11 = 7,
  Rgb12 = 8,
  WavePacket13 = 9,
  Point14 = 10,
  Rgb14 = 11,
  RgbNir14 = 12,
  WavePacket14 = 13,
  Byte14 = 14,
};

// Compressor codes of the LASzip description.
enum class CompressorType : uint16_t {
  None = 0,
  PointWise = 1,
  PointWiseChunked = 2,
  LayeredChunked = 3,
};

struct LazItem {
  uint16_t type = 0;
  uint16_t size = 0;
  uint16_t version = 0;

  friend bool operator==(const LazItem&, const LazItem&) = default;
};

// The chunk size that announces variable-size chunks (the chunk table then holds point counts).
inline constexpr uint32_t kVariableChunkSize = 0xFFFFFFFFu;
// The chunk size we write.
inline constexpr uint32_t kDefaultChunkSize = 50000;

struct LazVlr {
  uint16_t compressor = 0;
  uint16_t coder = 0;
  uint8_t version_major = 0;
  uint8_t version_minor = 0;
  uint16_t version_revision = 0;
  uint32_t options = 0;
  uint32_t chunk_size = 0;
  int64_t number_of_special_evlrs = -1;
  int64_t offset_to_special_evlrs = -1;
  std::vector<LazItem> items;

  friend bool operator==(const LazVlr&, const LazVlr&) = default;

  // Reads the record's data. Refuses data too short for its item count ("IoError: ..."),
  // unknown compressor codes and unknown item types.
  [[nodiscard]] static Result<LazVlr> parse(std::span<const uint8_t> vlr_data);

  // The record's data, 34 + 6 x items bytes.
  std::vector<uint8_t> serialize() const;

  // The description we write for a point format (0..10) with `extra_bytes` bytes after the
  // format's standard fields: compressor 2 with version-2 items for formats 0-5, compressor 3
  // with version-3 items for formats 6-10, wave packets as LASzip lists them (WAVEPACKET13 v1
  // for 4 and 5, WAVEPACKET14 v3 for 9 and 10), chunks of 50000 points, LASzip 2.2r0.
  static LazVlr for_point_format(uint8_t format, uint16_t extra_bytes);

  // Refuses what we cannot honour: a compressor or coder we do not implement, item versions
  // we do not implement, items that do not belong to the compressor, and item sizes that do
  // not add up to `record_length` ("Point format {} is not supported").
  [[nodiscard]] Result<void> validate(uint8_t point_format, uint16_t record_length) const;

  // Sum of the item sizes: the record length the items describe.
  uint32_t items_record_length() const;
};

// A readable name of an item type code ("Point10", "Byte", ...), used in messages.
std::string item_type_name(uint16_t type);

}  // namespace laz
