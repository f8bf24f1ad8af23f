// Parsing and writing of the public header block and the (E)VLR record headers.
#include "raw_header.hpp"

#include <cassert>
#include <limits>

#include <fmt/format.h>

#include "las/bytes.hpp"
#include "text.hpp"

namespace las::raw {

namespace {

constexpr uint16_t kGpsStandardTimeBit = 1u << 0;
constexpr uint16_t kSyntheticReturnNumbersBit = 1u << 3;
constexpr uint16_t kWktBit = 1u << 4;
constexpr uint8_t kCompressedBit = 0x80;
constexpr uint64_t kU32Limit = std::numeric_limits<uint32_t>::max();

}  // namespace

RawHeader RawHeader::parse(std::span<const uint8_t> block) {
  ByteCursor in(block);
  RawHeader h;
  h.file_signature = in.get_bytes<4>();
  h.file_source_id = in.get<uint16_t>();
  h.global_encoding = in.get<uint16_t>();
  h.guid = in.get_bytes<16>();
  h.version_major = in.get<uint8_t>();
  h.version_minor = in.get<uint8_t>();
  assert(block.size() == h.version().standard_header_size());
  h.system_identifier = in.get_bytes<32>();
  h.generating_software = in.get_bytes<32>();
  h.file_creation_day_of_year = in.get<uint16_t>();
  h.file_creation_year = in.get<uint16_t>();
  h.header_size = in.get<uint16_t>();
  h.offset_to_point_data = in.get<uint32_t>();
  h.number_of_variable_length_records = in.get<uint32_t>();
  h.point_data_record_format = in.get<uint8_t>();
  h.point_data_record_length = in.get<uint16_t>();
  h.number_of_point_records = in.get<uint32_t>();
  for (auto& n : h.number_of_points_by_return) n = in.get<uint32_t>();
  h.x_scale = in.get<double>();
  h.y_scale = in.get<double>();
  h.z_scale = in.get<double>();
  h.x_offset = in.get<double>();
  h.y_offset = in.get<double>();
  h.z_offset = in.get<double>();
  h.max_x = in.get<double>();
  h.min_x = in.get<double>();
  h.max_y = in.get<double>();
  h.min_y = in.get<double>();
  h.max_z = in.get<double>();
  h.min_z = in.get<double>();
  if (h.version().has_waveform_start()) h.start_of_waveform_data_packet_record = in.get<uint64_t>();
  if (h.version().has_large_file_fields()) {
    h.start_of_first_evlr = in.get<uint64_t>();
    h.number_of_evlrs = in.get<uint32_t>();
    h.number_of_point_records_64 = in.get<uint64_t>();
    for (auto& n : h.number_of_points_by_return_64) n = in.get<uint64_t>();
  }
  return h;
}

std::vector<uint8_t> RawHeader::serialize() const {
  std::vector<uint8_t> out;
  out.reserve(size_t{version().standard_header_size()} + padding.size());
  ByteAppender put(out);
  put.put_bytes(file_signature);
  put.put(file_source_id);
  put.put(global_encoding);
  put.put_bytes(guid);
  put.put(version_major);
  put.put(version_minor);
  put.put_bytes(system_identifier);
  put.put_bytes(generating_software);
  put.put(file_creation_day_of_year);
  put.put(file_creation_year);
  put.put(header_size);
  put.put(offset_to_point_data);
  put.put(number_of_variable_length_records);
  put.put(point_data_record_format);
  put.put(point_data_record_length);
  put.put(number_of_point_records);
  for (uint32_t n : number_of_points_by_return) put.put(n);
  for (double v : {x_scale, y_scale, z_scale, x_offset, y_offset, z_offset, max_x, min_x, max_y,
                   min_y, max_z, min_z}) {
    put.put(v);
  }
  if (version().has_waveform_start()) put.put(start_of_waveform_data_packet_record);
  if (version().has_large_file_fields()) {
    put.put(start_of_first_evlr);
    put.put(number_of_evlrs);
    put.put(number_of_point_records_64);
    for (uint64_t n : number_of_points_by_return_64) put.put(n);
  }
  put.put_bytes(padding);
  return out;
}

Result<Header> decode_header(const RawHeader& raw) {
  Header header;
  header.version = raw.version();

  if (raw.number_of_point_records > 0) {
    header.number_of_points = raw.number_of_point_records;
  } else if (raw.version().has_large_file_fields()) {
    header.number_of_points = raw.number_of_point_records_64;
  }
  bool any_legacy = false;
  for (uint32_t n : raw.number_of_points_by_return) any_legacy = any_legacy || n != 0;
  if (any_legacy) {
    for (size_t i = 0; i < 5; ++i) {
      if (raw.number_of_points_by_return[i] != 0) {
        header.number_of_points_by_return[static_cast<uint8_t>(i + 1)] =
            raw.number_of_points_by_return[i];
      }
    }
  } else if (raw.version().has_large_file_fields()) {
    for (size_t i = 0; i < 15; ++i) {
      if (raw.number_of_points_by_return_64[i] != 0) {
        header.number_of_points_by_return[static_cast<uint8_t>(i + 1)] =
            raw.number_of_points_by_return_64[i];
      }
    }
  }

  const uint8_t format_byte = raw.point_data_record_format;
  if (format_byte & kCompressedBit) {
    header.point_format.compressed = true;
    header.point_format.id = format_byte & 0x3F;
  } else if (format_byte > kMaxPointFormat) {
    return fail(fmt::format("invalid format number: {}", format_byte));
  } else {
    header.point_format.id = format_byte;
  }
  const uint16_t standard = header.point_format.standard_length();
  if (raw.point_data_record_length < standard) {
    return fail(fmt::format("the point data record length {} is too small for format {}",
                            raw.point_data_record_length, header.point_format.text()));
  }
  header.point_format.extra_bytes = static_cast<uint16_t>(raw.point_data_record_length - standard);

  auto system_identifier = text::read_header_text(raw.system_identifier);
  if (!system_identifier) return tl::unexpected(std::move(system_identifier.error()));
  header.system_identifier = std::move(*system_identifier);
  header.raw_system_identifier = raw.system_identifier;
  auto generating_software = text::read_header_text(raw.generating_software);
  if (!generating_software) return tl::unexpected(std::move(generating_software.error()));
  header.generating_software = std::move(*generating_software);
  header.raw_generating_software = raw.generating_software;

  header.creation_date = CreationDate::make(raw.file_creation_day_of_year, raw.file_creation_year);
  header.gps_time_type =
      (raw.global_encoding & kGpsStandardTimeBit) ? GpsTimeType::Standard : GpsTimeType::Week;
  header.synthetic_return_numbers = (raw.global_encoding & kSyntheticReturnNumbersBit) != 0;
  header.wkt = (raw.global_encoding & kWktBit) != 0;
  header.guid = raw.guid;
  header.file_source_id = raw.file_source_id;
  header.transforms = Transforms{
      {raw.x_scale, raw.x_offset}, {raw.y_scale, raw.y_offset}, {raw.z_scale, raw.z_offset}};
  header.bounds.min = Vector<double>{raw.min_x, raw.min_y, raw.min_z};
  header.bounds.max = Vector<double>{raw.max_x, raw.max_y, raw.max_z};
  header.header_padding = raw.padding;
  return header;
}

uint64_t offset_to_point_data(const Header& header) {
  uint64_t offset = uint64_t{header.version.standard_header_size()} + header.header_padding.size();
  for (const Vlr& vlr : header.vlrs) offset += kVlrHeaderSize + vlr.data.size();
  return offset + header.vlr_padding.size();
}

namespace {

// The stored header text field when the text still reads from it, so stray bytes after the
// terminating zero survive a read-write round trip; otherwise the text, zero-padded.
Result<void> put_header_text(const std::string& text,
                             const std::optional<std::array<uint8_t, 32>>& original,
                             std::array<uint8_t, 32>& field) {
  if (original) {
    if (auto stored = text::read_header_text(*original); stored && *stored == text) {
      field = *original;
      return {};
    }
  }
  return text::write_field(text, field);
}

}  // namespace

Result<RawHeader> encode_header(const Header& header, uint64_t evlr_start) {
  RawHeader raw;
  const Version version = header.version;
  const bool large_files = supports(version, Feature::LargeFiles);

  const uint64_t header_size =
      uint64_t{version.standard_header_size()} + header.header_padding.size();
  if (header_size > std::numeric_limits<uint16_t>::max()) {
    return fail(
        fmt::format("the header is too large ({} bytes) to convert to a raw header", header_size));
  }
  const uint64_t offset = offset_to_point_data(header);
  if (offset > kU32Limit)
    return fail(fmt::format("the offset to the point data is too large: {}", offset));
  if (header.vlrs.size() > kU32Limit) {
    return fail(fmt::format("too many variable length records: {}", header.vlrs.size()));
  }

  if (header.number_of_points > kU32Limit) {
    if (!large_files) {
      return fail(fmt::format("too many points for version {}: {}", version.text(),
                              header.number_of_points));
    }
    raw.number_of_point_records = 0;
  } else {
    raw.number_of_point_records = static_cast<uint32_t>(header.number_of_points);
  }
  for (const auto& [return_number, count] : header.number_of_points_by_return) {
    if (return_number > 5) {
      if (!large_files) {
        return fail(fmt::format("invalid return number {} for version Some({})", return_number,
                                version.debug_text()));
      }
    } else if (return_number > 0) {
      if (count > kU32Limit) {
        if (!large_files)
          return fail(fmt::format("too many points for version {}: {}", version.text(), count));
      } else {
        raw.number_of_points_by_return[return_number - 1] = static_cast<uint32_t>(count);
      }
    }
  }

  raw.file_signature = {'L', 'A', 'S', 'F'};
  raw.file_source_id = header.file_source_id;
  raw.global_encoding = static_cast<uint16_t>(
      (header.gps_time_type == GpsTimeType::Standard ? kGpsStandardTimeBit : 0) |
      (header.synthetic_return_numbers ? kSyntheticReturnNumbersBit : 0) |
      (header.wkt ? kWktBit : 0));
  raw.guid = header.guid;
  raw.version_major = version.major;
  raw.version_minor = version.minor;
  if (auto put = put_header_text(header.system_identifier, header.raw_system_identifier,
                                 raw.system_identifier);
      !put) {
    return tl::unexpected(std::move(put.error()));
  }
  if (auto put = put_header_text(header.generating_software, header.raw_generating_software,
                                 raw.generating_software);
      !put) {
    return tl::unexpected(std::move(put.error()));
  }
  if (header.creation_date) {
    raw.file_creation_day_of_year = header.creation_date->day_of_year;
    raw.file_creation_year = header.creation_date->year;
  }
  raw.header_size = static_cast<uint16_t>(header_size);
  raw.offset_to_point_data = static_cast<uint32_t>(offset);
  raw.number_of_variable_length_records = static_cast<uint32_t>(header.vlrs.size());
  raw.point_data_record_format = static_cast<uint8_t>(
      header.point_format.id | (header.point_format.compressed ? kCompressedBit : 0));
  raw.point_data_record_length = static_cast<uint16_t>(header.point_format.record_length());
  const Transforms& t = header.transforms;
  raw.x_scale = t.x.scale;
  raw.y_scale = t.y.scale;
  raw.z_scale = t.z.scale;
  raw.x_offset = t.x.offset;
  raw.y_offset = t.y.offset;
  raw.z_offset = t.z.offset;
  auto bounds = widen_to_grid(header.bounds, t);
  if (!bounds) return tl::unexpected(std::move(bounds.error()));
  raw.min_x = bounds->min.x;
  raw.min_y = bounds->min.y;
  raw.min_z = bounds->min.z;
  raw.max_x = bounds->max.x;
  raw.max_y = bounds->max.y;
  raw.max_z = bounds->max.z;
  raw.start_of_waveform_data_packet_record = 0;
  if (version.has_large_file_fields()) {
    if (!header.evlrs.empty()) {
      raw.start_of_first_evlr = evlr_start;
      raw.number_of_evlrs = static_cast<uint32_t>(header.evlrs.size());
    }
    raw.number_of_point_records_64 = header.number_of_points;
    for (const auto& [return_number, count] : header.number_of_points_by_return) {
      if (return_number >= 1 && return_number <= 15)
        raw.number_of_points_by_return_64[return_number - 1] = count;
    }
  }
  raw.padding = header.header_padding;
  return raw;
}

RawVlrHeader RawVlrHeader::parse(std::span<const uint8_t> block, bool extended) {
  ByteCursor in(block);
  RawVlrHeader h;
  h.reserved = in.get<uint16_t>();
  h.user_id = in.get_bytes<16>();
  h.record_id = in.get<uint16_t>();
  h.record_length_after_header = extended ? in.get<uint64_t>() : in.get<uint16_t>();
  h.description = in.get_bytes<32>();
  return h;
}

Vlr decode_vlr(const RawVlrHeader& raw, std::vector<uint8_t> data) {
  Vlr vlr;
  vlr.user_id = text::read_field_lossy(raw.user_id);
  vlr.record_id = raw.record_id;
  vlr.description = text::read_field_lossy(raw.description);
  vlr.data = std::move(data);
  vlr.raw_user_id = raw.user_id;
  vlr.raw_description = raw.description;
  return vlr;
}

namespace {

// The stored field when the text still decodes from it, so stray bytes after the terminating
// zero survive a read-write round trip; otherwise the text itself, zero-padded.
template <size_t N>
Result<void> put_text_field(const std::string& text,
                            const std::optional<std::array<uint8_t, N>>& original,
                            std::array<uint8_t, N>& field) {
  if (original && text::read_field_lossy(*original) == text) {
    field = *original;
    return {};
  }
  return text::write_field(text, field);
}

}  // namespace

Result<void> encode_vlr(const Vlr& vlr, bool extended, std::vector<uint8_t>& out) {
  std::array<uint8_t, kUserIdLength> user_id{};
  std::array<uint8_t, kDescriptionLength> description{};
  if (auto put = put_text_field(vlr.user_id, vlr.raw_user_id, user_id); !put) return put;
  if (!extended && vlr.data.size() > std::numeric_limits<uint16_t>::max()) {
    return fail(fmt::format("the vlr data is too long: {}", vlr.data.size()));
  }
  if (auto put = put_text_field(vlr.description, vlr.raw_description, description); !put)
    return put;
  ByteAppender put(out);
  put.put(uint16_t{0});
  put.put_bytes(user_id);
  put.put(vlr.record_id);
  if (extended) {
    put.put(static_cast<uint64_t>(vlr.data.size()));
  } else {
    put.put(static_cast<uint16_t>(vlr.data.size()));
  }
  put.put_bytes(description);
  put.put_bytes(vlr.data);
  return {};
}

}  // namespace las::raw
