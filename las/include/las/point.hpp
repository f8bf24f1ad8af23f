// Point records: the decoded fat value of one LAS point, and PointBuffer, which holds the raw
// records of one tile compactly (one record size per point) and decodes them on demand.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <new>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "las/bytes.hpp"
#include "las/error.hpp"
#include "las/point_format.hpp"
#include "las/transform.hpp"

namespace las {

enum class ScanDirection : uint8_t { RightToLeft = 0, LeftToRight = 1 };

struct Color {
  uint16_t red = 0;
  uint16_t green = 0;
  uint16_t blue = 0;
  friend bool operator==(const Color&, const Color&) = default;
};

struct Waveform {
  uint8_t wave_packet_descriptor_index = 0;
  uint64_t byte_offset_to_waveform_data = 0;
  uint32_t waveform_packet_size_in_bytes = 0;
  float return_point_waveform_location = 0.0f;
  float x_t = 0.0f;
  float y_t = 0.0f;
  float z_t = 0.0f;
  friend bool operator==(const Waveform&, const Waveform&) = default;
};

inline constexpr uint8_t kOverlapClass = 12;

// One decoded point, the same shape for every format. A stored class 12 (overlap) arrives as
// class 1 with is_overlap set. extra_bytes views the record it was decoded from: it stays
// valid while that PointBuffer is alive and unchanged.
struct Point {
  double x = 0.0;
  double y = 0.0;
  double z = 0.0;
  uint16_t intensity = 0;
  uint8_t return_number = 0;
  uint8_t number_of_returns = 0;
  ScanDirection scan_direction = ScanDirection::RightToLeft;
  bool is_edge_of_flight_line = false;
  uint8_t classification = 0;
  bool is_synthetic = false;
  bool is_key_point = false;
  bool is_withheld = false;
  bool is_overlap = false;
  uint8_t scanner_channel = 0;
  float scan_angle = 0.0f;  // degrees
  uint8_t user_data = 0;
  uint16_t point_source_id = 0;
  std::optional<double> gps_time;
  std::optional<Color> color;
  std::optional<Waveform> waveform;
  std::optional<uint16_t> nir;
  std::span<const uint8_t> extra_bytes;
};

// Extended formats store the scan angle in steps of 0.006 degrees.
inline constexpr float kScanAngleStep = 0.006f;

struct Xyz {
  double x;
  double y;
  double z;
};

// Decodes one raw record of `format` (standard fields followed by format.extra_bytes bytes).
[[nodiscard]] inline Point decode_record(const uint8_t* record, const PointFormat& format,
                                         const Transforms& transforms) {
  Point p;
  p.x = transforms.x.direct(load_le<int32_t>(record));
  p.y = transforms.y.direct(load_le<int32_t>(record + 4));
  p.z = transforms.z.direct(load_le<int32_t>(record + 8));
  p.intensity = load_le<uint16_t>(record + 12);
  size_t offset;
  if (format.is_extended()) {
    const uint8_t returns = record[14];
    p.return_number = returns & 0x0f;
    p.number_of_returns = static_cast<uint8_t>(returns >> 4);
    const uint8_t flags = record[15];
    p.is_synthetic = (flags & 0x01) != 0;
    p.is_key_point = (flags & 0x02) != 0;
    p.is_withheld = (flags & 0x04) != 0;
    p.is_overlap = (flags & 0x08) != 0;
    p.scanner_channel = (flags >> 4) & 0x03;
    p.scan_direction = static_cast<ScanDirection>((flags >> 6) & 0x01);
    p.is_edge_of_flight_line = (flags & 0x80) != 0;
    const uint8_t class_code = record[16];
    if (class_code == kOverlapClass) {
      p.classification = 1;
      p.is_overlap = true;
    } else {
      p.classification = class_code;
    }
    p.user_data = record[17];
    p.scan_angle = static_cast<float>(load_le<int16_t>(record + 18)) * kScanAngleStep;
    p.point_source_id = load_le<uint16_t>(record + 20);
    p.gps_time = load_le<double>(record + 22);
    offset = 30;
  } else {
    const uint8_t flags = record[14];
    p.return_number = flags & 0x07;
    p.number_of_returns = (flags >> 3) & 0x07;
    p.scan_direction = static_cast<ScanDirection>((flags >> 6) & 0x01);
    p.is_edge_of_flight_line = (flags & 0x80) != 0;
    const uint8_t class_byte = record[15];
    const uint8_t class_code = class_byte & 0x1f;
    if (class_code == kOverlapClass) {
      p.classification = 1;
      p.is_overlap = true;
    } else {
      p.classification = class_code;
    }
    p.is_synthetic = (class_byte & 0x20) != 0;
    p.is_key_point = (class_byte & 0x40) != 0;
    p.is_withheld = (class_byte & 0x80) != 0;
    p.scan_angle = static_cast<float>(static_cast<int8_t>(record[16]));
    p.user_data = record[17];
    p.point_source_id = load_le<uint16_t>(record + 18);
    offset = 20;
    if (format.has_gps_time()) {
      p.gps_time = load_le<double>(record + 20);
      offset = 28;
    }
  }
  if (format.has_color()) {
    p.color = Color{load_le<uint16_t>(record + offset), load_le<uint16_t>(record + offset + 2),
                    load_le<uint16_t>(record + offset + 4)};
    offset += 6;
  }
  if (format.has_nir()) {
    p.nir = load_le<uint16_t>(record + offset);
    offset += 2;
  }
  if (format.has_waveform()) {
    const uint8_t* w = record + offset;
    p.waveform = Waveform{w[0],
                          load_le<uint64_t>(w + 1),
                          load_le<uint32_t>(w + 9),
                          load_le<float>(w + 13),
                          load_le<float>(w + 17),
                          load_le<float>(w + 21),
                          load_le<float>(w + 25)};
  }
  p.extra_bytes = std::span<const uint8_t>(record + format.standard_length(), format.extra_bytes);
  return p;
}

// Whether the point carries exactly the optional fields and extra-byte count of `format`.
[[nodiscard]] bool point_matches_format(const Point& point, const PointFormat& format);

// Encodes a point into a raw record of `format` on the grid of `transforms`, following the
// writer's rules (rounding half away from zero, 3- or 4-bit return fields, class and channel
// limits of formats 0-5, scan angle conversion). `out` holds format.record_length() bytes.
// Does not check the optional fields against the format (see point_matches_format); absent
// ones are written as zeros.
[[nodiscard]] Result<void> encode_record(const Point& point, const PointFormat& format,
                                         const Transforms& transforms, uint8_t* out);

// Renders the point as "Point { x: 1.0, ... extra_bytes: [] }" for messages.
[[nodiscard]] std::string point_text(const Point& point);

namespace detail {
// Storage for record arrays: large blocks are aligned for transparent huge pages, which
// spares the kernel most page faults when a whole tile is read into memory.
[[nodiscard]] void* allocate_records(size_t bytes);
void free_records(void* p, size_t bytes) noexcept;
}  // namespace detail

// Allocator of raw record bytes. Resizing leaves new bytes uninitialised: they are always
// overwritten by a read or a copy right after, and zero-filling a whole tile costs as much as
// reading it.
template <class T>
struct RecordAllocator {
  using value_type = T;
  RecordAllocator() = default;
  template <class U>
  RecordAllocator(const RecordAllocator<U>&) noexcept {}  // NOLINT(google-explicit-constructor)
  [[nodiscard]] T* allocate(size_t n) {
    return static_cast<T*>(detail::allocate_records(n * sizeof(T)));
  }
  void deallocate(T* p, size_t n) noexcept { detail::free_records(p, n * sizeof(T)); }
  template <class U, class... Args>
  void construct(U* p, Args&&... args) {
    if constexpr (sizeof...(Args) == 0) {
      ::new (static_cast<void*>(p)) U;
    } else {
      ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
  }
  template <class U>
  friend bool operator==(const RecordAllocator&, const RecordAllocator<U>&) noexcept {
    return true;
  }
};

using RecordBytes = std::vector<uint8_t, RecordAllocator<uint8_t>>;

// The raw records of one tile (or of the kept points of one tile), with the layout and
// transforms needed to decode them. Points are stored, not decoded: one record size each.
class PointBuffer {
 public:
  PointBuffer() = default;
  PointBuffer(const PointFormat& format, const Transforms& transforms)
      : format_{format.id, false, format.extra_bytes},
        transforms_(transforms),
        record_length_(static_cast<uint16_t>(format.record_length())) {}

  [[nodiscard]] const PointFormat& format() const { return format_; }
  [[nodiscard]] uint8_t format_id() const { return format_.id; }
  [[nodiscard]] uint16_t extra_bytes() const { return format_.extra_bytes; }
  [[nodiscard]] uint16_t record_length() const { return record_length_; }
  [[nodiscard]] const Transforms& transforms() const { return transforms_; }

  [[nodiscard]] size_t size() const {
    return record_length_ == 0 ? 0 : raw_.size() / record_length_;
  }
  [[nodiscard]] bool empty() const { return raw_.empty(); }
  [[nodiscard]] const uint8_t* record(size_t i) const { return raw_.data() + i * record_length_; }
  [[nodiscard]] std::span<const uint8_t> raw() const { return raw_; }
  // Direct access for readers that fill the records in place.
  [[nodiscard]] RecordBytes& raw_mut() { return raw_; }

  // World coordinates of point i: stored * scale + offset.
  [[nodiscard]] Xyz xyz(size_t i) const {
    const uint8_t* r = record(i);
    return Xyz{transforms_.x.direct(load_le<int32_t>(r)),
               transforms_.y.direct(load_le<int32_t>(r + 4)),
               transforms_.z.direct(load_le<int32_t>(r + 8))};
  }
  [[nodiscard]] Point decode(size_t i) const {
    return decode_record(record(i), format_, transforms_);
  }

  // Whether records of `other` can be copied here unchanged (same format, extra bytes and length).
  [[nodiscard]] bool same_layout(const PointBuffer& other) const {
    return format_.id == other.format_.id && format_.extra_bytes == other.format_.extra_bytes;
  }
  // Copies record i of `from`, which must have the same layout.
  void append_raw(const PointBuffer& from, size_t i) {
    assert(same_layout(from));
    const uint8_t* r = from.record(i);
    raw_.insert(raw_.end(), r, r + record_length_);
  }
  void reserve(size_t points) { raw_.reserve(points * record_length_); }
  void clear() { raw_.clear(); }

 private:
  PointFormat format_;
  Transforms transforms_;
  uint16_t record_length_ = 20;
  RecordBytes raw_;
};

}  // namespace las
