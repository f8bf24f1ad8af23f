// The public header block exactly as stored, for every version from 1.0 to 1.4, and its
// conversions to and from the decoded Header. Also the stored form of (E)VLR record headers.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "las/error.hpp"
#include "las/header.hpp"

namespace las::raw {

// Bytes 0..25: signature through version, enough to know the block's layout.
inline constexpr size_t kHeaderPrefixSize = 26;

struct RawHeader {
  std::array<uint8_t, 4> file_signature{};
  uint16_t file_source_id = 0;
  uint16_t global_encoding = 0;
  std::array<uint8_t, 16> guid{};
  uint8_t version_major = 1;
  uint8_t version_minor = 2;
  std::array<uint8_t, 32> system_identifier{};
  std::array<uint8_t, 32> generating_software{};
  uint16_t file_creation_day_of_year = 0;
  uint16_t file_creation_year = 0;
  uint16_t header_size = 0;
  uint32_t offset_to_point_data = 0;
  uint32_t number_of_variable_length_records = 0;
  uint8_t point_data_record_format = 0;
  uint16_t point_data_record_length = 0;
  uint32_t number_of_point_records = 0;
  std::array<uint32_t, 5> number_of_points_by_return{};
  double x_scale = 0, y_scale = 0, z_scale = 0;
  double x_offset = 0, y_offset = 0, z_offset = 0;
  double max_x = 0, min_x = 0, max_y = 0, min_y = 0, max_z = 0, min_z = 0;
  // LAS 1.3 and later.
  uint64_t start_of_waveform_data_packet_record = 0;
  // LAS 1.4 and later.
  uint64_t start_of_first_evlr = 0;
  uint32_t number_of_evlrs = 0;
  uint64_t number_of_point_records_64 = 0;
  std::array<uint64_t, 15> number_of_points_by_return_64{};
  // Bytes between the standard size of the version and the stored header size.
  std::vector<uint8_t> padding;

  [[nodiscard]] Version version() const { return Version{version_major, version_minor}; }

  // Parses the standard block of the version named in bytes 24/25; `block` holds exactly
  // version().standard_header_size() bytes. The padding is read separately.
  [[nodiscard]] static RawHeader parse(std::span<const uint8_t> block);
  // The standard block of the version, then the padding.
  [[nodiscard]] std::vector<uint8_t> serialize() const;
};

// Step 3 of opening: the header fields that come from the block alone (no VLRs yet).
[[nodiscard]] Result<Header> decode_header(const RawHeader& raw);

// The header block of `header` as written by the writer (counts, grid-widened bounds, version
// rules for the legacy counts). `evlr_start` is the offset at which EVLRs are (to be) written.
[[nodiscard]] Result<RawHeader> encode_header(const Header& header, uint64_t evlr_start);

// Offset to the point data that the header's VLRs and paddings imply.
[[nodiscard]] uint64_t offset_to_point_data(const Header& header);

// A VLR record header as stored (54 bytes) or an EVLR record header (60 bytes).
struct RawVlrHeader {
  uint16_t reserved = 0;
  std::array<uint8_t, 16> user_id{};
  uint16_t record_id = 0;
  uint64_t record_length_after_header = 0;
  std::array<uint8_t, 32> description{};

  [[nodiscard]] static RawVlrHeader parse(std::span<const uint8_t> block, bool extended);
};

// Decodes a record header plus its data into a Vlr (texts never fail, see Vlr).
[[nodiscard]] Vlr decode_vlr(const RawVlrHeader& raw, std::vector<uint8_t> data);
// Appends the record header and data of `vlr`; fails on texts that do not fit their fields
// or data too long for a 16-bit VLR length.
[[nodiscard]] Result<void> encode_vlr(const Vlr& vlr, bool extended, std::vector<uint8_t>& out);

}  // namespace las::raw
