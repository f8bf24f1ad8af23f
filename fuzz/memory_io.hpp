// In-memory byte source and sink for the LASzip codec, shared by the fuzz targets.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

#include "laz/io.hpp"

namespace quarrix_fuzz {

// Reads from bytes the caller keeps alive; reading past the end fails as a short file does.
class SpanInput final : public laz::Input {
 public:
  explicit SpanInput(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  laz::Result<void> read_at(uint64_t offset, std::span<uint8_t> dst) override {
    if (offset > bytes_.size() || dst.size() > bytes_.size() - offset) {
      return laz::io_error("failed to fill whole buffer");
    }
    if (!dst.empty()) std::memcpy(dst.data(), bytes_.data() + offset, dst.size());
    return {};
  }
  uint64_t size() const override { return bytes_.size(); }

 private:
  std::span<const uint8_t> bytes_;
};

// Appends to a vector; the compressor patching bytes it never wrote is a bug, so it aborts.
class VectorOutput final : public laz::Output {
 public:
  laz::Result<void> write(std::span<const uint8_t> bytes) override {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return {};
  }
  uint64_t position() const override { return bytes_.size(); }
  laz::Result<void> write_at(uint64_t offset, std::span<const uint8_t> bytes) override {
    if (offset > bytes_.size() || bytes.size() > bytes_.size() - offset) std::abort();
    std::memcpy(bytes_.data() + offset, bytes.data(), bytes.size());
    return {};
  }
  const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

}  // namespace quarrix_fuzz
