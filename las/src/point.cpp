// Encoding of decoded points into raw records, and their rendering inside messages.
#include "las/point.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#include <sys/mman.h>

#include <fmt/format.h>

#include "text.hpp"

namespace las {

namespace {

// degrees / 0.006 in float arithmetic, rounded half away from zero, saturated to 16 bits
// (NaN gives 0, as a saturating float-to-integer conversion does).
// Float rounding, halves away from zero; only called with values clamped to +-40000.
float round_half_away_small(float value) {
  float whole = static_cast<float>(static_cast<int32_t>(value));
  const float fraction = value - whole;
  if (fraction >= 0.5f) {
    whole += 1.0f;
  } else if (fraction <= -0.5f) {
    whole -= 1.0f;
  }
  return whole;
}

int16_t scan_angle_steps(float degrees) {
  const float steps = degrees / kScanAngleStep;
  if (std::isnan(steps)) return 0;
  const float limited = std::clamp(steps, -40000.0f, 40000.0f);
  return static_cast<int16_t>(std::clamp(round_half_away_small(limited), -32768.0f, 32767.0f));
}

int8_t scan_angle_rank(float degrees) {
  const float rank =
      round_half_away_small(static_cast<float>(scan_angle_steps(degrees)) * kScanAngleStep);
  return static_cast<int8_t>(std::clamp(rank, -128.0f, 127.0f));
}

tl::unexpected<Error> return_number_error(uint8_t value) {
  return fail(fmt::format("invalid return number {} for version None", value));
}

const char* class_name(uint8_t code) {
  static constexpr const char* kNames[] = {"CreatedNeverClassified",
                                           "Unclassified",
                                           "Ground",
                                           "LowVegetation",
                                           "MediumVegetation",
                                           "HighVegetation",
                                           "Building",
                                           "LowPoint",
                                           "ModelKeyPoint",
                                           "Water",
                                           "Rail",
                                           "RoadSurface",
                                           nullptr,
                                           "WireGuard",
                                           "WireConductor",
                                           "TransmissionTower",
                                           "WireStructureConnector",
                                           "BridgeDeck",
                                           "HighNoise"};
  return code < std::size(kNames) ? kNames[code] : nullptr;
}

std::string class_text(uint8_t code) {
  if (const char* name = class_name(code)) return name;
  if (code < 64) return fmt::format("Reserved({})", code);
  return fmt::format("UserDefinable({})", code);
}

}  // namespace

namespace detail {

namespace {
constexpr size_t kHugePage = size_t{2} << 20;
// Below this, huge-page alignment would waste more than it saves.
constexpr size_t kHugeThreshold = size_t{4} << 20;
}  // namespace

void* allocate_records(size_t bytes) {
  if (bytes < kHugeThreshold) return ::operator new(bytes);
  const size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
  void* p = std::aligned_alloc(kHugePage, rounded);
  if (p == nullptr) throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
  ::madvise(p, rounded, MADV_HUGEPAGE);  // advice only: failure changes nothing
#endif
  return p;
}

void free_records(void* p, size_t bytes) noexcept {
  if (bytes < kHugeThreshold) {
    ::operator delete(p);
  } else {
    std::free(p);
  }
}

}  // namespace detail

bool point_matches_format(const Point& point, const PointFormat& format) {
  return point.gps_time.has_value() == format.has_gps_time() &&
         point.color.has_value() == format.has_color() &&
         point.waveform.has_value() == format.has_waveform() &&
         point.nir.has_value() == format.has_nir() &&
         point.extra_bytes.size() == format.extra_bytes;
}

Result<void> encode_record(const Point& point, const PointFormat& format,
                           const Transforms& transforms, uint8_t* out) {
  auto x = transforms.x.inverse(point.x);
  if (!x) return tl::unexpected(std::move(x.error()));
  auto y = transforms.y.inverse(point.y);
  if (!y) return tl::unexpected(std::move(y.error()));
  auto z = transforms.z.inverse(point.z);
  if (!z) return tl::unexpected(std::move(z.error()));

  // Limits of the 4-bit return fields and the 2-bit channel apply to every format.
  if (point.return_number > 15) return return_number_error(point.return_number);
  if (point.number_of_returns > 15) return return_number_error(point.number_of_returns);
  if (point.scanner_channel > 3)
    return fail(fmt::format("invalid scanner channel: {}", point.scanner_channel));

  store_le<int32_t>(out, *x);
  store_le<int32_t>(out + 4, *y);
  store_le<int32_t>(out + 8, *z);
  store_le<uint16_t>(out + 12, point.intensity);
  const auto bit = [](bool b, int shift) { return static_cast<uint8_t>((b ? 1 : 0) << shift); };
  const uint8_t scan_direction = static_cast<uint8_t>(point.scan_direction) & 1;
  size_t offset;
  if (format.is_extended()) {
    out[14] = static_cast<uint8_t>(point.return_number | (point.number_of_returns << 4));
    out[15] = static_cast<uint8_t>(bit(point.is_synthetic, 0) | bit(point.is_key_point, 1) |
                                   bit(point.is_withheld, 2) | bit(point.is_overlap, 3) |
                                   (point.scanner_channel << 4) | (scan_direction << 6) |
                                   bit(point.is_edge_of_flight_line, 7));
    out[16] = point.classification;
    out[17] = point.user_data;
    store_le<int16_t>(out + 18, scan_angle_steps(point.scan_angle));
    store_le<uint16_t>(out + 20, point.point_source_id);
    store_le<double>(out + 22, point.gps_time.value_or(0.0));
    offset = 30;
  } else {
    if (point.return_number > 7) return return_number_error(point.return_number);
    if (point.number_of_returns > 7) return return_number_error(point.number_of_returns);
    if (point.classification > 31)
      return fail(fmt::format("invalid classification: {}", point.classification));
    if (point.scanner_channel != 0)
      return fail(fmt::format("invalid scanner channel: {}", point.scanner_channel));
    out[14] = static_cast<uint8_t>(point.return_number | (point.number_of_returns << 3) |
                                   (scan_direction << 6) | bit(point.is_edge_of_flight_line, 7));
    const uint8_t class_code = point.is_overlap ? kOverlapClass : point.classification;
    out[15] = static_cast<uint8_t>(class_code | bit(point.is_synthetic, 5) |
                                   bit(point.is_key_point, 6) | bit(point.is_withheld, 7));
    out[16] = static_cast<uint8_t>(scan_angle_rank(point.scan_angle));
    out[17] = point.user_data;
    store_le<uint16_t>(out + 18, point.point_source_id);
    offset = 20;
    if (format.has_gps_time()) {
      store_le<double>(out + 20, point.gps_time.value_or(0.0));
      offset = 28;
    }
  }
  if (format.has_color()) {
    const Color color = point.color.value_or(Color{});
    store_le<uint16_t>(out + offset, color.red);
    store_le<uint16_t>(out + offset + 2, color.green);
    store_le<uint16_t>(out + offset + 4, color.blue);
    offset += 6;
  }
  if (format.has_nir()) {
    store_le<uint16_t>(out + offset, point.nir.value_or(0));
    offset += 2;
  }
  if (format.has_waveform()) {
    const Waveform w = point.waveform.value_or(Waveform{});
    uint8_t* p = out + offset;
    p[0] = w.wave_packet_descriptor_index;
    store_le<uint64_t>(p + 1, w.byte_offset_to_waveform_data);
    store_le<uint32_t>(p + 9, w.waveform_packet_size_in_bytes);
    store_le<float>(p + 13, w.return_point_waveform_location);
    store_le<float>(p + 17, w.x_t);
    store_le<float>(p + 21, w.y_t);
    store_le<float>(p + 25, w.z_t);
  }
  uint8_t* extra = out + format.standard_length();
  const size_t copied = std::min<size_t>(point.extra_bytes.size(), format.extra_bytes);
  if (copied > 0) std::memcpy(extra, point.extra_bytes.data(), copied);
  std::memset(extra + copied, 0, format.extra_bytes - copied);
  return {};
}

std::string point_text(const Point& p) {
  using text::debug_double;
  using text::debug_float;
  const auto flag = [](bool b) { return b ? "true" : "false"; };
  std::string gps = p.gps_time ? fmt::format("Some({})", debug_double(*p.gps_time)) : "None";
  std::string color = p.color ? fmt::format("Some(Color {{ red: {}, green: {}, blue: {} }})",
                                            p.color->red, p.color->green, p.color->blue)
                              : "None";
  std::string waveform = "None";
  if (p.waveform) {
    const Waveform& w = *p.waveform;
    waveform = fmt::format(
        "Some(Waveform {{ wave_packet_descriptor_index: {}, byte_offset_to_waveform_data: {}, "
        "waveform_packet_size_in_bytes: {}, return_point_waveform_location: {}, x_t: {}, y_t: {}, "
        "z_t: {} }})",
        w.wave_packet_descriptor_index, w.byte_offset_to_waveform_data,
        w.waveform_packet_size_in_bytes, debug_float(w.return_point_waveform_location),
        debug_float(w.x_t), debug_float(w.y_t), debug_float(w.z_t));
  }
  std::string nir = p.nir ? fmt::format("Some({})", *p.nir) : "None";
  return fmt::format(
      "Point {{ x: {}, y: {}, z: {}, intensity: {}, return_number: {}, number_of_returns: {}, "
      "scan_direction: {}, is_edge_of_flight_line: {}, classification: {}, is_synthetic: {}, "
      "is_key_point: {}, is_withheld: {}, is_overlap: {}, scanner_channel: {}, scan_angle: {}, "
      "user_data: {}, point_source_id: {}, gps_time: {}, color: {}, waveform: {}, nir: {}, "
      "extra_bytes: {} }}",
      debug_double(p.x), debug_double(p.y), debug_double(p.z), p.intensity, p.return_number,
      p.number_of_returns,
      p.scan_direction == ScanDirection::RightToLeft ? "RightToLeft" : "LeftToRight",
      flag(p.is_edge_of_flight_line), class_text(p.classification), flag(p.is_synthetic),
      flag(p.is_key_point), flag(p.is_withheld), flag(p.is_overlap), p.scanner_channel,
      debug_float(p.scan_angle), p.user_data, p.point_source_id, gps, color, waveform, nir,
      text::byte_list(p.extra_bytes));
}

}  // namespace las
