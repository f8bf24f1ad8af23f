// A variable length record (or extended one, after the point data) of a LAS file.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace las {

inline constexpr size_t kVlrHeaderSize = 54;
inline constexpr size_t kEvlrHeaderSize = 60;
inline constexpr size_t kUserIdLength = 16;
inline constexpr size_t kDescriptionLength = 32;
inline constexpr const char* kLaszipUserId = "laszip encoded";
inline constexpr uint16_t kLaszipRecordId = 22204;

struct Vlr {
  std::string user_id;
  uint16_t record_id = 0;
  std::string description;
  std::vector<uint8_t> data;

  // The user id and description fields exactly as read from a file. Some writers leave stray
  // bytes after the terminating zero; the decoded text then keeps them and may not fit its
  // field again, so a record written back with unchanged text reuses these bytes instead.
  std::optional<std::array<uint8_t, kUserIdLength>> raw_user_id;
  std::optional<std::array<uint8_t, kDescriptionLength>> raw_description;

  [[nodiscard]] bool is_laszip() const {
    return record_id == kLaszipRecordId && user_id == kLaszipUserId;
  }
  // Data that does not fit the 16-bit length of a VLR has to live in an EVLR.
  [[nodiscard]] bool has_large_data() const { return data.size() > 65535; }

  friend bool operator==(const Vlr&, const Vlr&) = default;
};

}  // namespace las
