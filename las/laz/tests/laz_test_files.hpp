// Test helpers for real LAS/LAZ files: reading a file, the few header fields the codec tests
// need, the LASzip record, the reference values in expected/*.json, and in-memory Input/Output.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "byte_streams.hpp"
#include "laz/io.hpp"
#include "laz/vlr.hpp"

namespace laz::test {

inline std::filesystem::path testdata_dir() { return QUARRIX_TESTDATA_DIR; }

inline bool have_testdata() { return std::filesystem::is_directory(testdata_dir() / "expected"); }

inline std::vector<uint8_t> read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::string to_hex(std::span<const uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string s;
  s.reserve(bytes.size() * 2);
  for (uint8_t b : bytes) {
    s.push_back(kDigits[b >> 4]);
    s.push_back(kDigits[b & 15]);
  }
  return s;
}

// The LAS header fields the codec needs, read straight from the file bytes.
struct LasFile {
  std::vector<uint8_t> bytes;
  uint8_t version_minor = 0;
  uint16_t header_size = 0;
  uint32_t point_data_offset = 0;
  uint8_t format_byte = 0;  // bit 7: compressed
  uint16_t record_length = 0;
  uint64_t point_count = 0;
  std::optional<std::span<const uint8_t>> laszip_vlr;  // its data

  uint8_t point_format() const { return format_byte & 0x3F; }
  bool compressed() const { return (format_byte & 0x80) != 0; }
  std::span<const uint8_t> raw_points() const {
    return {bytes.data() + point_data_offset, static_cast<size_t>(point_count) * record_length};
  }
};

inline std::optional<LasFile> load_las(const std::filesystem::path& path) {
  LasFile f;
  f.bytes = read_file(path);
  const auto& b = f.bytes;
  if (b.size() < 227 || b[0] != 'L' || b[1] != 'A' || b[2] != 'S' || b[3] != 'F')
    return std::nullopt;
  f.version_minor = b[25];
  f.header_size = detail::load_u16(&b[94]);
  f.point_data_offset = detail::load_u32(&b[96]);
  const uint32_t vlr_count = detail::load_u32(&b[100]);
  f.format_byte = b[104];
  f.record_length = detail::load_u16(&b[105]);
  f.point_count = detail::load_u32(&b[107]);
  if (f.version_minor >= 4 && b.size() >= 255 && f.point_count == 0) {
    f.point_count = detail::load_u64(&b[247]);
  }
  size_t pos = f.header_size;
  for (uint32_t i = 0; i < vlr_count && pos + 54 <= b.size() && pos + 54 <= f.point_data_offset;
       ++i) {
    const std::string user_id(reinterpret_cast<const char*>(&b[pos + 2]),
                              strnlen(reinterpret_cast<const char*>(&b[pos + 2]), 16));
    const uint16_t record_id = detail::load_u16(&b[pos + 18]);
    const uint16_t length = detail::load_u16(&b[pos + 20]);
    if (pos + 54 + length > b.size()) break;
    if (!f.laszip_vlr && user_id == "laszip encoded" && record_id == 22204) {
      f.laszip_vlr = std::span<const uint8_t>(&b[pos + 54], length);
    }
    pos += 54 + length;
  }
  return f;
}

// The file's LASzip record, parsed; an error when the file has none or it does not parse.
inline Result<LazVlr> parse_laszip_vlr(const LasFile& f) {
  if (!f.laszip_vlr) return laszip_error("laszip vlr not found");
  return LazVlr::parse(*f.laszip_vlr);
}

// The reference values of one file (expected/<path with / as __>.json).
struct Expected {
  std::string error;  // non-empty: the reference refuses the file
  uint64_t point_count = 0;
  std::string sha256;
  std::string first_record_hex;
  std::string last_record_hex;
};

inline std::string json_string(const std::string& json, const std::string& key) {
  const std::string needle = "\"" + key + "\": \"";
  const size_t start = json.find(needle);
  if (start == std::string::npos) return {};
  const size_t begin = start + needle.size();
  return json.substr(begin, json.find('"', begin) - begin);
}

inline uint64_t json_uint(const std::string& json, const std::string& key) {
  const std::string needle = "\"" + key + "\": ";
  const size_t start = json.find(needle);
  if (start == std::string::npos) return 0;
  return std::stoull(json.substr(start + needle.size(), 24));
}

inline Expected load_expected(const std::string& relative_path) {
  std::string name = relative_path;
  for (size_t i = name.find('/'); i != std::string::npos; i = name.find('/'))
    name.replace(i, 1, "__");
  const auto bytes = read_file(testdata_dir() / "expected" / (name + ".json"));
  const std::string json(bytes.begin(), bytes.end());
  Expected e;
  e.error = json_string(json, "error");
  e.point_count = json_uint(json, "point_count");
  e.sha256 = json_string(json, "sha256");
  e.first_record_hex = json_string(json, "first_record_hex");
  e.last_record_hex = json_string(json, "last_record_hex");
  return e;
}

// Every LAS/LAZ file of the test data, as paths relative to it, sorted.
inline std::vector<std::string> testdata_files(bool compressed_only) {
  std::vector<std::string> names;
  if (!have_testdata()) return names;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(testdata_dir())) {
    if (!entry.is_regular_file()) continue;
    const std::string ext = entry.path().extension().string();
    if (ext != ".las" && ext != ".laz") continue;
    if (compressed_only) {
      const auto f = load_las(entry.path());
      if (!f || !f->compressed()) continue;
    }
    names.push_back(std::filesystem::relative(entry.path(), testdata_dir()).generic_string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

class SpanInput final : public Input {
 public:
  explicit SpanInput(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  Result<void> read_at(uint64_t offset, std::span<uint8_t> dst) override {
    if (offset > bytes_.size() || dst.size() > bytes_.size() - offset) {
      return io_error("failed to fill whole buffer");
    }
    std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(offset), dst.size(), dst.begin());
    return {};
  }
  uint64_t size() const override { return bytes_.size(); }

 private:
  std::span<const uint8_t> bytes_;
};

class VectorOutput final : public Output {
 public:
  Result<void> write(std::span<const uint8_t> bytes) override {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return {};
  }
  uint64_t position() const override { return bytes_.size(); }
  Result<void> write_at(uint64_t offset, std::span<const uint8_t> bytes) override {
    if (offset > bytes_.size() || bytes.size() > bytes_.size() - offset) {
      return io_error("write past the end");
    }
    std::copy(bytes.begin(), bytes.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(offset));
    return {};
  }
  std::vector<uint8_t>& bytes() { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

}  // namespace laz::test
