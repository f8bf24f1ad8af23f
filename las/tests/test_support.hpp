// Helpers shared by the LAS tests: the test data folder, a SHA-256 of byte strings, lookups in
// the flat expected-value JSON files, hex text, and temporary folders.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace las_test {

// The shared test data folder, or nullopt when it is absent (tests then skip).
std::optional<std::filesystem::path> testdata_dir();

std::string sha256_hex(std::span<const uint8_t> bytes);
std::string hex(std::span<const uint8_t> bytes);
std::vector<uint8_t> read_file(const std::filesystem::path& path);
void write_file(const std::filesystem::path& path, std::span<const uint8_t> bytes);

// One top-level value of a flat JSON object: the raw token text (strings without quotes),
// or nullopt when the key is absent. "null" is returned as the text null.
std::optional<std::string> json_value(const std::string& json, const std::string& key);

// A fresh empty folder under the system temp folder, removed on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  [[nodiscard]] const std::filesystem::path& path() const { return path_; }
  [[nodiscard]] std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

}  // namespace las_test
