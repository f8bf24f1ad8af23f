// Reading, writing and checking the LASzip description record.
#include "laz/vlr.hpp"

#include <fmt/format.h>

#include "byte_streams.hpp"

namespace laz {
namespace {

constexpr size_t kFixedPart = 34;
constexpr size_t kItemBytes = 6;

// Codes 1..5 (SHORT .. DOUBLE) were never written by any LASzip release.
bool is_known_item_type(uint16_t type) { return type == 0 || (type >= 6 && type <= 14); }

bool is_layered_item(uint16_t type) { return type >= 10 && type <= 14; }

const char* compressor_name(uint16_t compressor) {
  switch (static_cast<CompressorType>(compressor)) {
    case CompressorType::None:
      return "None";
    case CompressorType::PointWise:
      return "PointWise";
    case CompressorType::PointWiseChunked:
      return "PointWiseChunked";
    case CompressorType::LayeredChunked:
      return "LayeredChunked";
  }
  return "Unknown";
}

// Item versions we decode, and the fixed item sizes.
bool supported_version(const LazItem& item) {
  switch (static_cast<ItemType>(item.type)) {
    case ItemType::Byte:
    case ItemType::Point10:
    case ItemType::GpsTime11:
    case ItemType::Rgb12:
      return item.version == 1 || item.version == 2;
    case ItemType::WavePacket13:
      return item.version == 1;
    case ItemType::Point14:
    case ItemType::Rgb14:
    case ItemType::RgbNir14:
    case ItemType::WavePacket14:
    case ItemType::Byte14:
      return item.version == 3 || item.version == 4;
    default:
      return false;
  }
}

// 0: any size of at least one byte.
uint16_t fixed_item_size(uint16_t type) {
  switch (static_cast<ItemType>(type)) {
    case ItemType::Point10:
      return 20;
    case ItemType::GpsTime11:
      return 8;
    case ItemType::Rgb12:
      return 6;
    case ItemType::WavePacket13:
      return 29;
    case ItemType::Point14:
      return 30;
    case ItemType::Rgb14:
      return 6;
    case ItemType::RgbNir14:
      return 8;
    case ItemType::WavePacket14:
      return 29;
    default:
      return 0;
  }
}

}  // namespace

std::string item_type_name(uint16_t type) {
  switch (static_cast<ItemType>(type)) {
    case ItemType::Byte:
      return "Byte";
    case ItemType::Short:
      return "Short";
    case ItemType::Int:
      return "Int";
    case ItemType::Long:
      return "Long";
    case ItemType::Float:
      return "Float";
    case ItemType::Double:
      return "Double";
    case ItemType::Point10:
      return "Point10";
    case ItemType::GpsTime11:
      return "GpsTime";
    case ItemType::Rgb12:
      return "RGB12";
    case ItemType::WavePacket13:
      return "WavePacket13";
    case ItemType::Point14:
      return "Point14";
    case ItemType::Rgb14:
      return "RGB14";
    case ItemType::RgbNir14:
      return "RGBNIR14";
    case ItemType::WavePacket14:
      return "WavePacket14";
    case ItemType::Byte14:
      return "Byte14";
  }
  return fmt::format("{}", type);
}

Result<LazVlr> LazVlr::parse(std::span<const uint8_t> vlr_data) {
  if (vlr_data.size() < kFixedPart) return laszip_error("IoError: failed to fill whole buffer");
  const uint8_t* p = vlr_data.data();
  LazVlr vlr;
  vlr.compressor = detail::load_u16(p);
  vlr.coder = detail::load_u16(p + 2);
  vlr.version_major = p[4];
  vlr.version_minor = p[5];
  vlr.version_revision = detail::load_u16(p + 6);
  vlr.options = detail::load_u32(p + 8);
  vlr.chunk_size = detail::load_u32(p + 12);
  vlr.number_of_special_evlrs = detail::load_i64(p + 16);
  vlr.offset_to_special_evlrs = detail::load_i64(p + 24);
  const uint16_t item_count = detail::load_u16(p + 32);
  if (vlr.compressor > 3) {
    return laszip_error(fmt::format("Compressor type {} is not valid", vlr.compressor));
  }
  if (vlr_data.size() < kFixedPart + kItemBytes * item_count) {
    return laszip_error("IoError: failed to fill whole buffer");
  }
  vlr.items.reserve(item_count);
  for (size_t i = 0; i < item_count; ++i) {
    const uint8_t* q = p + kFixedPart + kItemBytes * i;
    const LazItem item{detail::load_u16(q), detail::load_u16(q + 2), detail::load_u16(q + 4)};
    if (!is_known_item_type(item.type)) {
      return laszip_error(fmt::format("Item with type code: {} is unknown", item.type));
    }
    vlr.items.push_back(item);
  }
  return vlr;
}

std::vector<uint8_t> LazVlr::serialize() const {
  std::vector<uint8_t> out(kFixedPart + kItemBytes * items.size());
  uint8_t* p = out.data();
  detail::store_u16(p, compressor);
  detail::store_u16(p + 2, coder);
  p[4] = version_major;
  p[5] = version_minor;
  detail::store_u16(p + 6, version_revision);
  detail::store_u32(p + 8, options);
  detail::store_u32(p + 12, chunk_size);
  detail::store_i64(p + 16, number_of_special_evlrs);
  detail::store_i64(p + 24, offset_to_special_evlrs);
  detail::store_u16(p + 32, static_cast<uint16_t>(items.size()));
  for (size_t i = 0; i < items.size(); ++i) {
    uint8_t* q = p + kFixedPart + kItemBytes * i;
    detail::store_u16(q, items[i].type);
    detail::store_u16(q + 2, items[i].size);
    detail::store_u16(q + 4, items[i].version);
  }
  return out;
}

LazVlr LazVlr::for_point_format(uint8_t format, uint16_t extra_bytes) {
  LazVlr vlr;
  vlr.coder = 0;
  vlr.version_major = 2;
  vlr.version_minor = 2;
  vlr.version_revision = 0;
  vlr.options = 0;
  vlr.chunk_size = kDefaultChunkSize;
  vlr.number_of_special_evlrs = -1;
  vlr.offset_to_special_evlrs = -1;
  const auto add = [&vlr](ItemType type, uint16_t size, uint16_t version) {
    vlr.items.push_back(LazItem{static_cast<uint16_t>(type), size, version});
  };
  if (format <= 5) {
    vlr.compressor = static_cast<uint16_t>(CompressorType::PointWiseChunked);
    const bool gps = format == 1 || format == 3 || format == 4 || format == 5;
    const bool rgb = format == 2 || format == 3 || format == 5;
    const bool wave = format == 4 || format == 5;
    add(ItemType::Point10, 20, 2);
    if (gps) add(ItemType::GpsTime11, 8, 2);
    if (rgb) add(ItemType::Rgb12, 6, 2);
    if (wave) add(ItemType::WavePacket13, 29, 1);
    if (extra_bytes != 0) add(ItemType::Byte, extra_bytes, 2);
  } else {
    vlr.compressor = static_cast<uint16_t>(CompressorType::LayeredChunked);
    const bool nir = format == 8 || format == 10;
    const bool rgb = format == 7 || nir;
    const bool wave = format == 9 || format == 10;
    add(ItemType::Point14, 30, 3);
    if (nir) {
      add(ItemType::RgbNir14, 8, 3);
    } else if (rgb) {
      add(ItemType::Rgb14, 6, 3);
    }
    if (wave) add(ItemType::WavePacket14, 29, 3);
    if (extra_bytes != 0) add(ItemType::Byte14, extra_bytes, 3);
  }
  return vlr;
}

uint32_t LazVlr::items_record_length() const {
  uint32_t sum = 0;
  for (const LazItem& item : items) sum += item.size;
  return sum;
}

Result<void> LazVlr::validate(uint8_t point_format, uint16_t record_length) const {
  if (compressor > 3) {
    return laszip_error(fmt::format("Compressor type {} is not valid", compressor));
  }
  if (compressor == static_cast<uint16_t>(CompressorType::None)) {
    return laszip_error(
        fmt::format("Compressor type {} is not supported", compressor_name(compressor)));
  }
  if (coder != 0) {
    // Only the arithmetic coder (0) exists.
    return laszip_error(fmt::format("Compressor type {} with coder {} is not supported",
                                    compressor_name(compressor), coder));
  }
  const bool layered = compressor == static_cast<uint16_t>(CompressorType::LayeredChunked);
  for (const LazItem& item : items) {
    if (!is_known_item_type(item.type)) {
      return laszip_error(fmt::format("Item with type code: {} is unknown", item.type));
    }
    if (!supported_version(item) || is_layered_item(item.type) != layered) {
      return laszip_error(fmt::format("Item {} with compression version: {} is not supported",
                                      item_type_name(item.type), item.version));
    }
    const uint16_t fixed = fixed_item_size(item.type);
    if ((fixed != 0 && item.size != fixed) || item.size == 0) {
      return laszip_error(fmt::format("Point format {} is not supported", point_format));
    }
  }
  if (items.empty() || items_record_length() != record_length) {
    return laszip_error(fmt::format("Point format {} is not supported", point_format));
  }
  if (layered && items.front().type != static_cast<uint16_t>(ItemType::Point14)) {
    return laszip_error(fmt::format("Point format {} is not supported", point_format));
  }
  if (!layered && items.front().type != static_cast<uint16_t>(ItemType::Point10)) {
    return laszip_error(fmt::format("Point format {} is not supported", point_format));
  }
  return {};
}

}  // namespace laz
