// Opening a LAS/LAZ file step by step and reading its point records.
#include "las/reader.hpp"

#include <algorithm>
#include <array>
#include <limits>
#include <optional>
#include <utility>

#include <fmt/format.h>

#include "file_io.hpp"
#include "las/log.hpp"
#include "laz_bridge.hpp"
#include "raw_header.hpp"
#include "text.hpp"

namespace las {

namespace {

constexpr const char* kLogTarget = "las::reader";
// Compressed tiles are decoded in batches of this many points.
constexpr size_t kDecompressBatch = 50000;

// Reads up to `n` bytes (fewer at the end of the file) into a vector, allocating only for
// what the file can still hold.
Result<std::vector<uint8_t>> read_bounded(io::InputFile& file, uint64_t n) {
  const uint64_t available = file.size() > file.position() ? file.size() - file.position() : 0;
  std::vector<uint8_t> bytes(static_cast<size_t>(std::min(n, available)));
  auto got = file.read_up_to(bytes.data(), bytes.size());
  if (!got) return tl::unexpected(std::move(got.error()));
  bytes.resize(*got);
  return bytes;
}

// Reads exactly n bytes, refusing before allocating when the file cannot hold them.
Result<std::vector<uint8_t>> read_exact_bounded(io::InputFile& file, uint64_t n) {
  const uint64_t available = file.size() > file.position() ? file.size() - file.position() : 0;
  if (n > available) return fail(io::kShortRead);
  std::vector<uint8_t> bytes(static_cast<size_t>(n));
  if (auto done = file.read_exact(bytes.data(), bytes.size()); !done)
    return tl::unexpected(std::move(done.error()));
  return bytes;
}

Result<Vlr> read_vlr(io::InputFile& file, bool extended) {
  std::array<uint8_t, kEvlrHeaderSize> block{};
  const size_t size = extended ? kEvlrHeaderSize : kVlrHeaderSize;
  if (auto done = file.read_exact(block.data(), size); !done)
    return tl::unexpected(std::move(done.error()));
  const raw::RawVlrHeader raw =
      raw::RawVlrHeader::parse(std::span<const uint8_t>(block.data(), size), extended);
  auto data = read_exact_bounded(file, raw.record_length_after_header);
  if (!data) return tl::unexpected(std::move(data.error()));
  return raw::decode_vlr(raw, std::move(*data));
}

Result<raw::RawHeader> read_raw_header(io::InputFile& file) {
  std::array<uint8_t, 375> block{};
  if (auto done = file.read_exact(block.data(), 4); !done)
    return tl::unexpected(std::move(done.error()));
  if (block[0] != 'L' || block[1] != 'A' || block[2] != 'S' || block[3] != 'F') {
    return fail(fmt::format("the file signature is not 'LASF': {}",
                            text::byte_list(std::span(block.data(), 4))));
  }
  if (auto done = file.read_exact(block.data() + 4, raw::kHeaderPrefixSize - 4); !done) {
    return tl::unexpected(std::move(done.error()));
  }
  const Version version{block[24], block[25]};
  const size_t standard = version.standard_header_size();
  if (auto done =
          file.read_exact(block.data() + raw::kHeaderPrefixSize, standard - raw::kHeaderPrefixSize);
      !done) {
    return tl::unexpected(std::move(done.error()));
  }
  raw::RawHeader raw = raw::RawHeader::parse(std::span<const uint8_t>(block.data(), standard));
  if (raw.header_size > standard) {
    auto padding = read_exact_bounded(file, raw.header_size - standard);
    if (!padding) return tl::unexpected(std::move(padding.error()));
    raw.padding = std::move(*padding);
  }
  return raw;
}

}  // namespace

struct Reader::State {
  explicit State(io::InputFile f) : file(std::move(f)) {}
  io::InputFile file;
  Header header;
  uint64_t offset_to_point_data = 0;
  uint64_t points_read = 0;
  std::optional<lazio::PointDecompressor> decompressor;
};

Reader::Reader(std::unique_ptr<State> state) : state_(std::move(state)) {}
Reader::Reader(Reader&&) noexcept = default;
Reader& Reader::operator=(Reader&&) noexcept = default;
Reader::~Reader() = default;

const Header& Reader::header() const { return state_->header; }
uint64_t Reader::points_read() const { return state_->points_read; }

Result<Reader> Reader::open(const std::string& path) {
  auto file = io::InputFile::open(path);
  if (!file) return tl::unexpected(std::move(file.error()));
  auto state = std::make_unique<State>(std::move(*file));
  io::InputFile& in = state->file;

  auto raw = read_raw_header(in);
  if (!raw) return tl::unexpected(std::move(raw.error()));
  auto decoded = raw::decode_header(*raw);
  if (!decoded) return tl::unexpected(std::move(decoded.error()));
  Header& header = state->header;
  header = std::move(*decoded);

  // The VLRs follow the header; the header's count is trusted only as far as the file goes,
  // one record at a time.
  uint64_t position = raw->header_size;
  for (uint32_t i = 0; i < raw->number_of_variable_length_records; ++i) {
    auto vlr = read_vlr(in, false);
    if (!vlr) return tl::unexpected(std::move(vlr.error()));
    position += kVlrHeaderSize + vlr->data.size();
    header.vlrs.push_back(std::move(*vlr));
  }
  const uint64_t offset_to_point_data = raw->offset_to_point_data;
  if (position > offset_to_point_data) {
    return fail(fmt::format("offset to the point data is too small: {}", offset_to_point_data));
  }
  if (position < offset_to_point_data) {
    auto padding = read_bounded(in, offset_to_point_data - position);
    if (!padding) return tl::unexpected(std::move(padding.error()));
    header.vlr_padding = std::move(*padding);
  }

  if (raw->version().has_large_file_fields() && raw->start_of_first_evlr != 0 &&
      raw->number_of_evlrs != 0) {
    const uint64_t evlr_start = raw->start_of_first_evlr;
    if (!header.point_format.compressed) {
      // Wrapping arithmetic cannot occur for counts that fit the file; guard it anyway.
      const uint64_t record_length = raw->point_data_record_length;
      const uint64_t points_end =
          header.number_of_points > (std::numeric_limits<uint64_t>::max() - offset_to_point_data) /
                                        std::max<uint64_t>(record_length, 1)
              ? std::numeric_limits<uint64_t>::max()
              : offset_to_point_data + header.number_of_points * record_length;
      if (evlr_start < points_end) {
        return fail(fmt::format("offset to the start of the evlrs is too small: {}", evlr_start));
      }
      if (evlr_start > points_end) {
        if (auto seek = in.seek(points_end); !seek) return tl::unexpected(std::move(seek.error()));
        auto padding = read_bounded(in, evlr_start - points_end);
        if (!padding) return tl::unexpected(std::move(padding.error()));
        header.point_padding = std::move(*padding);
      }
    }
    if (auto seek = in.seek(evlr_start); !seek) return tl::unexpected(std::move(seek.error()));
    for (uint32_t i = 0; i < raw->number_of_evlrs; ++i) {
      auto evlr = read_vlr(in, true);
      if (!evlr) return tl::unexpected(std::move(evlr.error()));
      header.evlrs.push_back(std::move(*evlr));
    }
  }

  if (const auto minimum = minimum_version(header); minimum && *minimum > header.version) {
    LAS_LOG(log::Level::Warn, kLogTarget, "upgrading las version to {} (from {})", minimum->text(),
            header.version.text());
    header.version = *minimum;
  }
  if (auto valid = validate_and_normalise(header); !valid)
    return tl::unexpected(std::move(valid.error()));

  if (header.point_format.compressed) {
    const auto laszip = std::find_if(header.vlrs.begin(), header.vlrs.end(),
                                     [](const Vlr& v) { return v.is_laszip(); });
    if (laszip == header.vlrs.end()) return fail("laszip vlr not found");
    auto decompressor = lazio::PointDecompressor::open(
        laszip->data, header.point_format, in, offset_to_point_data, header.number_of_points);
    if (!decompressor) return tl::unexpected(std::move(decompressor.error()));
    state->decompressor.emplace(std::move(*decompressor));
  }

  if (auto seek = in.seek(offset_to_point_data); !seek)
    return tl::unexpected(std::move(seek.error()));
  state->offset_to_point_data = offset_to_point_data;
  return Reader(std::move(state));
}

Result<size_t> Reader::read_points(PointBuffer& out, size_t max_points) {
  State& s = *state_;
  const uint64_t left = s.header.number_of_points - s.points_read;
  const size_t count = static_cast<size_t>(std::min<uint64_t>(left, max_points));
  if (count == 0) return size_t{0};
  const size_t record_length = out.record_length();
  RecordBytes& raw = out.raw_mut();
  const size_t old_size = raw.size();
  if (s.decompressor) {
    raw.resize(old_size + count * record_length);
    if (auto done = s.decompressor->decompress(raw.data() + old_size, count); !done) {
      raw.resize(old_size);
      return tl::unexpected(std::move(done.error()));
    }
  } else {
    // Refuse a count the file cannot hold before allocating for it.
    const uint64_t available =
        s.file.size() > s.file.position() ? s.file.size() - s.file.position() : 0;
    if (count > available / record_length) return fail(io::kShortRead);
    raw.resize(old_size + count * record_length);
    if (auto done = s.file.read_exact(raw.data() + old_size, count * record_length); !done) {
      raw.resize(old_size);
      return tl::unexpected(std::move(done.error()));
    }
  }
  s.points_read += count;
  return count;
}

Result<PointBuffer> Reader::read_all() {
  State& s = *state_;
  PointBuffer points(s.header.point_format, s.header.transforms);
  const uint64_t left = s.header.number_of_points - s.points_read;
  if (left == 0) return points;
  if (!s.decompressor) {
    auto got = read_points(
        points, static_cast<size_t>(std::min<uint64_t>(left, std::numeric_limits<size_t>::max())));
    if (!got) return tl::unexpected(std::move(got.error()));
    return points;
  }
  // Compressed data may expand far beyond the file size, and a header may claim points the
  // file does not hold: reserve what is plausible (real tiles compress 2-10 times) and grow
  // with the points actually decoded.
  const uint64_t plausible = s.file.size() * 16 / std::max<size_t>(points.record_length(), 1);
  points.reserve(static_cast<size_t>(std::min(left, plausible)));
  while (s.points_read < s.header.number_of_points) {
    auto got = read_points(points, kDecompressBatch);
    if (!got) return tl::unexpected(std::move(got.error()));
  }
  return points;
}

}  // namespace las
