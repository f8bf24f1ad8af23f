// Glue between the LAS layer's files and the LASzip codec.
#include "laz_bridge.hpp"

#include <utility>

#include <laz/compressor.hpp>
#include <laz/decompressor.hpp>
#include <laz/io.hpp>
#include <laz/vlr.hpp>

namespace las::lazio {

namespace {

Error from_laz(const laz::Error& error) {
  if (error.kind == laz::Error::Kind::Laszip) return Error::text("laszip error: " + error.message);
  return Error::text(error.message);
}

template <class T>
tl::unexpected<Error> failed(const laz::Result<T>& result) {
  return tl::unexpected<Error>(from_laz(result.error()));
}

class FileInput final : public laz::Input {
 public:
  explicit FileInput(const io::InputFile& file) : file_(file) {}
  laz::Result<void> read_at(uint64_t offset, std::span<uint8_t> dst) override {
    auto done = file_.read_at(offset, dst.data(), dst.size());
    if (!done) return laz::io_error(done.error().message());
    return {};
  }
  uint64_t size() const override { return file_.size(); }

 private:
  const io::InputFile& file_;
};

class FileOutput final : public laz::Output {
 public:
  explicit FileOutput(io::OutputFile& file) : file_(file) {}
  laz::Result<void> write(std::span<const uint8_t> bytes) override {
    auto done = file_.write(bytes);
    if (!done) return laz::io_error(done.error().message());
    return {};
  }
  uint64_t position() const override { return file_.position(); }
  laz::Result<void> write_at(uint64_t offset, std::span<const uint8_t> bytes) override {
    auto done = file_.write_at(offset, bytes);
    if (!done) return laz::io_error(done.error().message());
    return {};
  }

 private:
  io::OutputFile& file_;
};

}  // namespace

// ---------------------------------------------------------------- decompression

struct PointDecompressor::Impl {
  explicit Impl(const io::InputFile& file) : input(file) {}
  FileInput input;
  std::optional<laz::Decompressor> decompressor;
};

PointDecompressor::PointDecompressor(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
PointDecompressor::PointDecompressor(PointDecompressor&&) noexcept = default;
PointDecompressor& PointDecompressor::operator=(PointDecompressor&&) noexcept = default;
PointDecompressor::~PointDecompressor() = default;

Result<PointDecompressor> PointDecompressor::open(std::span<const uint8_t> laszip_data,
                                                  const PointFormat& format,
                                                  const io::InputFile& file,
                                                  uint64_t offset_to_point_data,
                                                  uint64_t point_count) {
  auto vlr = laz::LazVlr::parse(laszip_data);
  if (!vlr) return failed(vlr);
  const auto record_length = static_cast<uint16_t>(format.record_length());
  if (auto valid = vlr->validate(format.id, record_length); !valid) return failed(valid);
  auto impl = std::make_unique<Impl>(file);
  auto decompressor =
      laz::Decompressor::open(*vlr, impl->input, offset_to_point_data, point_count, record_length);
  if (!decompressor) return failed(decompressor);
  impl->decompressor.emplace(std::move(*decompressor));
  return PointDecompressor(std::move(impl));
}

Result<void> PointDecompressor::decompress(uint8_t* out, size_t count) {
  auto done = impl_->decompressor->decompress(out, count);
  if (!done) return failed(done);
  return {};
}

// ---------------------------------------------------------------- compression

struct PointCompressor::Impl {
  explicit Impl(io::OutputFile& file) : output(file) {}
  FileOutput output;
  std::optional<laz::Compressor> compressor;
};

PointCompressor::PointCompressor(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
PointCompressor::PointCompressor(PointCompressor&&) noexcept = default;
PointCompressor& PointCompressor::operator=(PointCompressor&&) noexcept = default;
PointCompressor::~PointCompressor() = default;

std::vector<uint8_t> PointCompressor::describe(const PointFormat& format) {
  return laz::LazVlr::for_point_format(format.id, format.extra_bytes).serialize();
}

Result<PointCompressor> PointCompressor::create(const PointFormat& format, io::OutputFile& file) {
  auto impl = std::make_unique<Impl>(file);
  const laz::LazVlr vlr = laz::LazVlr::for_point_format(format.id, format.extra_bytes);
  auto compressor = laz::Compressor::create(vlr, impl->output);
  if (!compressor) return failed(compressor);
  impl->compressor.emplace(std::move(*compressor));
  return PointCompressor(std::move(impl));
}

Result<void> PointCompressor::compress(const uint8_t* record) {
  auto done = impl_->compressor->compress(record);
  if (!done) return failed(done);
  return {};
}

Result<void> PointCompressor::finish() {
  auto done = impl_->compressor->finish();
  if (!done) return failed(done);
  return {};
}

}  // namespace las::lazio
