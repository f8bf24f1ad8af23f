// POINT14 layered item codec (LASzip item type 10, versions 3 and 4, which code POINT14 alike): the
// 30 core bytes of point formats 6 to 10, in nine layers with one model set per scanner channel.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "arithmetic_decoder.hpp"
#include "arithmetic_encoder.hpp"
#include "arithmetic_model.hpp"
#include "byte_streams.hpp"
#include "integer_compressor.hpp"

namespace laz::detail {

inline constexpr size_t kPoint14Size = 30;
inline constexpr size_t kPoint14Layers = 9;

// The fields of a point format 6 record the coder works on, unpacked.
struct Point14Fields {
  int32_t x = 0;
  int32_t y = 0;
  int32_t z = 0;
  uint16_t intensity = 0;
  uint8_t return_number = 0;      // 4 bits
  uint8_t number_of_returns = 0;  // 4 bits
  // edge_of_flight_line << 5 | scan_direction_flag << 4 | classification_flags: the coder's symbol.
  uint8_t flags = 0;
  uint8_t scanner_channel = 0;  // 2 bits
  uint8_t classification = 0;
  uint8_t user_data = 0;
  int16_t scan_angle = 0;
  uint16_t point_source_id = 0;
  uint64_t gps_time = 0;  // the f64's bits
  // Whether this point's GPS time differed from the previous one of its channel (a model context).
  bool gps_time_change = false;

  static Point14Fields unpack(const uint8_t* record);
  void pack(uint8_t* record) const;
};

// LASzip's running median of the last five values of a coordinate difference.
class Median5 {
 public:
  int32_t get() const { return values_[2]; }
  void add(int32_t v);

 private:
  std::array<int32_t, 5> values_{};
  bool high_ = true;
};

// Models and prediction state of one scanner channel. Models whose use depends on the data are
// created at their first use in a chunk, as LASzip does (a fresh model is what LASzip's re-init
// gives).
struct Point14Channel {
  Point14Channel();

  bool unused = true;
  Point14Fields last_point;

  // channel_returns_XY layer
  std::array<ArithmeticModel, 8> changed_values;
  ArithmeticModel scanner_channel;
  std::array<std::optional<ArithmeticModel>, 16> number_of_returns;
  std::array<std::optional<ArithmeticModel>, 16> return_number;
  ArithmeticModel return_number_gps_same;
  IntegerCompressor ic_dx;
  IntegerCompressor ic_dy;
  std::array<Median5, 12> last_x_diff;
  std::array<Median5, 12> last_y_diff;
  // Z layer
  IntegerCompressor ic_z;
  std::array<int32_t, 8> last_z{};
  // classification, flags and user_data layers
  std::array<std::optional<ArithmeticModel>, 64> classification;
  std::array<std::optional<ArithmeticModel>, 64> flags;
  std::array<std::optional<ArithmeticModel>, 64> user_data;
  // intensity, scan_angle and point_source layers
  IntegerCompressor ic_intensity;
  std::array<uint16_t, 8> last_intensity{};
  IntegerCompressor ic_scan_angle;
  IntegerCompressor ic_point_source_id;
  // gps_time layer: up to four interleaved time sequences
  ArithmeticModel gpstime_multi;
  ArithmeticModel gpstime_0diff;
  IntegerCompressor ic_gpstime;
  std::array<uint64_t, 4> last_gpstime{};
  std::array<int32_t, 4> last_gpstime_diff{};
  std::array<int32_t, 4> multi_extreme_counter{};
  uint32_t sequence = 0;       // the time sequence of the last point
  uint32_t next_sequence = 0;  // the slot the next new sequence takes

  // Fresh models and prediction state, seeded from `seed` (the previous point).
  void start(const Point14Fields& seed);
};

// The context POINT14 hands to the other items of a point: version 4 gives the point's scanner
// channel; version 3 (LASzip's point reader starts every point with context 0 and only POINT14's
// channel switch overwrites it) gives the channel on the first point of a chunk and on points that
// switch channel, and 0 on all others. The other items follow that context, not the point's
// channel.
class Point14Decoder {
 public:
  // `version`: 3 or 4 (they differ only in the context they hand to the other items).
  explicit Point14Decoder(uint16_t version);
  Point14Decoder(const Point14Decoder&) = delete;
  Point14Decoder& operator=(const Point14Decoder&) = delete;

  size_t layer_count() const { return kPoint14Layers; }
  void set_layer(size_t layer, const uint8_t* data, uint32_t size);
  // Returns the scanner channel of the first point.
  uint32_t init(const uint8_t* first_item);
  // Returns the context of the other items for this point (see above).
  uint32_t decode(uint8_t* item);
  bool overrun() const;

 private:
  void read_gps_time(Point14Channel& ch);
  void read_full_gps_time(Point14Channel& ch);

  std::array<MemorySource, kPoint14Layers> sources_{};
  std::array<bool, kPoint14Layers> present_{};
  ArithmeticDecoder<MemorySource> dec_xy_;
  ArithmeticDecoder<MemorySource> dec_z_;
  ArithmeticDecoder<MemorySource> dec_classification_;
  ArithmeticDecoder<MemorySource> dec_flags_;
  ArithmeticDecoder<MemorySource> dec_intensity_;
  ArithmeticDecoder<MemorySource> dec_scan_angle_;
  ArithmeticDecoder<MemorySource> dec_user_data_;
  ArithmeticDecoder<MemorySource> dec_point_source_;
  ArithmeticDecoder<MemorySource> dec_gps_time_;
  std::array<Point14Channel, 4> channels_;
  uint32_t current_ = 0;
  bool publish_every_point_;
  bool corrupt_ = false;
};

class Point14Encoder {
 public:
  explicit Point14Encoder(uint16_t version);
  Point14Encoder(const Point14Encoder&) = delete;
  Point14Encoder& operator=(const Point14Encoder&) = delete;

  size_t layer_count() const { return kPoint14Layers; }
  // Returns the scanner channel of the first point.
  uint32_t init(const uint8_t* first_item);
  // Returns the context of the other items for this point (see Point14Decoder::decode).
  uint32_t encode(const uint8_t* item);
  void finish();
  uint32_t layer_size(size_t layer) const;
  const uint8_t* layer_data(size_t layer) const;

 private:
  void write_gps_time(Point14Channel& ch, uint64_t gps_time);

  std::array<std::vector<uint8_t>, kPoint14Layers> buffers_;
  std::array<VectorSink, kPoint14Layers> sinks_;
  std::array<std::optional<ArithmeticEncoder<VectorSink>>, kPoint14Layers> encoders_;
  // Layers other than channel_returns_XY and Z are dropped when their value never changes.
  std::array<bool, kPoint14Layers> changed_{};
  std::array<Point14Channel, 4> channels_;
  uint32_t current_ = 0;
  bool publish_every_point_;
};

}  // namespace laz::detail
