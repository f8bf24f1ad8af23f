// Writing a LAS/LAZ file: header block and VLRs at creation, point records, and the
// finalisation that writes EVLRs and the final header block.
#include "las/writer.hpp"

#include <algorithm>
#include <array>
#include <optional>
#include <utility>

#include <fmt/format.h>

#include "file_io.hpp"
#include "laz_bridge.hpp"
#include "raw_header.hpp"
#include "text.hpp"

namespace las {

namespace {

constexpr const char* kLaszipDescription = "https://laszip.org";
// Records are copied in blocks of about this many bytes on the fast path.
constexpr size_t kStagingBytes = 64 * 1024;

bool is_laszip_record(const Vlr& vlr) { return vlr.is_laszip(); }

}  // namespace

bool path_wants_compression(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  const size_t slash = path.rfind('/');
  const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  if (name.empty() || name == "..") return false;
  const size_t dot = name.rfind('.');
  // A name whose only dot is its first character has no extension.
  if (dot == std::string_view::npos || dot == 0) return false;
  const std::string_view extension = name.substr(dot + 1);
  if (!text::check_utf8(
           std::span(reinterpret_cast<const uint8_t*>(extension.data()), extension.size()))
           .ok()) {
    return false;
  }
  if (extension.size() != 3) return false;
  const auto lower = [](char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  };
  return lower(extension[0]) == 'l' && lower(extension[1]) == 'a' && lower(extension[2]) == 'z';
}

struct Writer::State {
  explicit State(io::OutputFile f) : file(std::move(f)) {}
  ~State() { (void)file.flush(); }
  State(const State&) = delete;
  State& operator=(const State&) = delete;

  io::OutputFile file;
  Header header;  // counts and bounds grow with every point; per-return counts live below
  uint64_t header_start = 0;
  std::array<uint64_t, 256> return_counts{};
  std::optional<lazio::PointCompressor> compressor;
  bool finished = false;
  std::vector<uint8_t> record;
  std::vector<uint8_t> staging;

  void count(uint8_t return_number, double x, double y, double z) {
    ++header.number_of_points;
    ++return_counts[return_number];
    header.bounds.grow(x, y, z);
  }

  void materialise_return_counts() {
    header.number_of_points_by_return.clear();
    for (size_t n = 1; n < return_counts.size(); ++n) {
      if (return_counts[n] != 0)
        header.number_of_points_by_return[static_cast<uint8_t>(n)] = return_counts[n];
    }
  }

  Result<void> emit(const uint8_t* data, size_t points) {
    if (!compressor) return file.write(data, points * record.size());
    for (size_t i = 0; i < points; ++i) {
      if (auto done = compressor->compress(data + i * record.size()); !done) return done;
    }
    return {};
  }

  Result<void> finalise() {
    finished = true;
    if (compressor) {
      if (auto done = compressor->finish(); !done) return done;
    }
    if (auto done = file.write(header.point_padding); !done) return done;
    const uint64_t evlr_start = file.position();
    std::vector<uint8_t> bytes;
    for (const Vlr& evlr : header.evlrs) {
      if (auto done = raw::encode_vlr(evlr, true, bytes); !done) return done;
    }
    if (auto done = file.write(bytes); !done) return done;
    materialise_return_counts();
    auto raw = raw::encode_header(header, evlr_start);
    if (!raw) return tl::unexpected(std::move(raw.error()));
    if (auto done = file.seek(header_start); !done) return done;
    if (auto done = file.write(raw->serialize()); !done) return done;
    // Seeking back pushes the buffered bytes to the file.
    return file.seek(header_start);
  }
};

Writer::Writer(std::unique_ptr<State> state) : state_(std::move(state)) {}
Writer::Writer(Writer&&) noexcept = default;

Writer& Writer::operator=(Writer&& other) noexcept {
  if (this != &other) {
    if (state_ && !state_->finished) (void)state_->finalise();
    state_ = std::move(other.state_);
  }
  return *this;
}

Writer::~Writer() {
  if (state_ && !state_->finished) (void)state_->finalise();
}

Result<Writer> Writer::create(const std::string& path, Header header) {
  const bool compressed = path_wants_compression(path);
  header.point_format.compressed = compressed;
  auto file = io::OutputFile::create(path);
  if (!file) return tl::unexpected(std::move(file.error()));
  auto state = std::make_unique<State>(std::move(*file));
  state->header_start = state->file.position();

  header.number_of_points = 0;
  header.number_of_points_by_return.clear();
  header.bounds = Bounds{};
  // A LASzip record describes compressed data: a compressed output gets a fresh one, and an
  // uncompressed one must carry none, or readers take its plain records for compressed data.
  std::erase_if(header.vlrs, is_laszip_record);
  if (compressed) {
    Vlr laszip;
    laszip.user_id = kLaszipUserId;
    laszip.record_id = kLaszipRecordId;
    laszip.description = kLaszipDescription;
    laszip.data = lazio::PointCompressor::describe(header.point_format);
    header.vlrs.push_back(std::move(laszip));
  } else {
    std::erase_if(header.evlrs, is_laszip_record);
  }
  state->header = std::move(header);
  const Header& h = state->header;

  auto raw = raw::encode_header(h, raw::offset_to_point_data(h) + h.point_padding.size());
  if (!raw) return tl::unexpected(std::move(raw.error()));
  std::vector<uint8_t> bytes = raw->serialize();
  for (const Vlr& vlr : h.vlrs) {
    if (auto done = raw::encode_vlr(vlr, false, bytes); !done)
      return tl::unexpected(std::move(done.error()));
  }
  bytes.insert(bytes.end(), h.vlr_padding.begin(), h.vlr_padding.end());
  if (auto done = state->file.write(bytes); !done) return tl::unexpected(std::move(done.error()));

  state->record.resize(h.point_format.record_length());
  if (compressed) {
    auto compressor = lazio::PointCompressor::create(h.point_format, state->file);
    if (!compressor) return tl::unexpected(std::move(compressor.error()));
    state->compressor.emplace(std::move(*compressor));
  }
  return Writer(std::move(state));
}

Result<void> Writer::write(const Point& point) {
  State& s = *state_;
  if (s.finished) return fail("the writer is closed");
  const PointFormat& format = s.header.point_format;
  if (!point_matches_format(point, format)) {
    return fail(fmt::format("the attributes of the point format ({}) do not match the point: {}",
                            format.text(), point_text(point)));
  }
  s.count(point.return_number, point.x, point.y, point.z);
  if (auto done = encode_record(point, format, s.header.transforms, s.record.data()); !done)
    return done;
  return s.emit(s.record.data(), 1);
}

Result<void> Writer::write_buffer(const PointBuffer& points) {
  State& s = *state_;
  if (s.finished) return fail("the writer is closed");
  const PointFormat& format = s.header.point_format;
  const bool same_grid_and_layout = points.format_id() == format.id &&
                                    points.extra_bytes() == format.extra_bytes &&
                                    points.transforms() == s.header.transforms;
  if (!same_grid_and_layout) {
    for (size_t i = 0; i < points.size(); ++i) {
      if (auto done = write(points.decode(i)); !done) return done;
    }
    return {};
  }

  // Same layout and grid: the stored records are what encoding their decoded points would
  // give, except that extended formats store an overlap point as class 1 with the overlap flag.
  const size_t record_length = points.record_length();
  const size_t block = std::max<size_t>(1, kStagingBytes / record_length);
  const bool extended = format.is_extended();
  for (size_t start = 0; start < points.size(); start += block) {
    const size_t n = std::min(block, points.size() - start);
    const uint8_t* source = points.record(start);
    if (extended) {
      s.staging.assign(source, source + n * record_length);
      for (size_t i = 0; i < n; ++i) {
        uint8_t* r = s.staging.data() + i * record_length;
        if (r[16] == kOverlapClass) {
          r[16] = 1;
          r[15] |= 0x08;
        }
        const Xyz p = points.xyz(start + i);
        s.count(r[14] & 0x0f, p.x, p.y, p.z);
      }
      source = s.staging.data();
    } else {
      for (size_t i = 0; i < n; ++i) {
        const Xyz p = points.xyz(start + i);
        s.count(source[i * record_length + 14] & 0x07, p.x, p.y, p.z);
      }
    }
    if (auto done = s.emit(source, n); !done) return done;
  }
  return {};
}

Result<void> Writer::close() {
  State& s = *state_;
  if (s.finished) return fail("the writer is closed");
  return s.finalise();
}

Header Writer::header() const {
  Header h = state_->header;
  h.number_of_points_by_return.clear();
  for (size_t n = 1; n < state_->return_counts.size(); ++n) {
    if (state_->return_counts[n] != 0)
      h.number_of_points_by_return[static_cast<uint8_t>(n)] = state_->return_counts[n];
  }
  return h;
}

uint64_t Writer::points_written() const { return state_->header.number_of_points; }

}  // namespace las
