// The decompressor on descriptions and data that lie, each case once found by the fuzz targets
// in fuzz/ or by the resource audit: every one ends in an error, quickly and in little memory.
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include <gtest/gtest.h>

#include "laz/decompressor.hpp"
#include "laz/io.hpp"
#include "laz/vlr.hpp"

namespace laz {
namespace {

class BytesInput final : public Input {
 public:
  explicit BytesInput(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
  Result<void> read_at(uint64_t offset, std::span<uint8_t> dst) override {
    if (offset > bytes_.size() || dst.size() > bytes_.size() - offset)
      return io_error("failed to fill whole buffer");
    if (!dst.empty()) std::memcpy(dst.data(), bytes_.data() + offset, dst.size());
    return {};
  }
  uint64_t size() const override { return bytes_.size(); }

 private:
  std::vector<uint8_t> bytes_;
};

LazVlr description(uint16_t compressor, std::vector<LazItem> items) {
  LazVlr vlr;
  vlr.compressor = compressor;
  vlr.version_major = 2;
  vlr.version_minor = 2;
  vlr.chunk_size = kDefaultChunkSize;
  vlr.items = std::move(items);
  return vlr;
}

// A few hundred bytes announcing 65000-byte records: the item codecs (one model per byte) are
// never built, since the data cannot hold even the first, raw, record.
TEST(Hostile, HugeItemsOverTinyData) {
  const struct {
    const char* name;
    LazVlr vlr;
  } kCases[] = {
      {"point-wise BYTE", description(2, {{6, 20, 2}, {0, 65000, 2}})},
      {"point-wise BYTE, not chunked", description(1, {{6, 20, 2}, {0, 65000, 2}})},
      {"layered BYTE14", description(3, {{10, 30, 3}, {14, 65000, 3}})},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> data(300, 0x10);
    const uint64_t table_offset = 8 + 200;
    for (int k = 0; k < 8; ++k)
      data[static_cast<size_t>(k)] = static_cast<uint8_t>(table_offset >> (8 * k));
    BytesInput input(std::move(data));
    const auto record_length = static_cast<uint16_t>(c.vlr.items_record_length());
    auto decompressor = Decompressor::open(c.vlr, input, 0, 5, record_length);
    ASSERT_FALSE(decompressor.has_value());
    EXPECT_EQ(decompressor.error().kind, Error::Kind::Io);
    EXPECT_EQ(decompressor.error().message, "failed to fill whole buffer");
  }
}

}  // namespace
}  // namespace laz
