// POINT14 layered item codec: the decoder and the encoder mirror each other step by step, so that
// the encoder's output is byte for byte the reference compressor's.
#include "field_point14.hpp"

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <cstring>
#include <utility>

namespace laz::detail {
namespace {

// Layer order inside a chunk.
enum Layer : size_t {
  kLayerChannelReturnsXY = 0,
  kLayerZ,
  kLayerClassification,
  kLayerFlags,
  kLayerIntensity,
  kLayerScanAngle,
  kLayerUserData,
  kLayerPointSource,
  kLayerGpsTime,
};

// GPS time coding: the ratio ("multi") of the current to the last time difference is coded when it
// lies in [kGpsTimeMultiMinus, kGpsTimeMulti]; the symbols above those announce a full 64-bit time
// (kGpsTimeMultiCodeFull) or a switch to one of the other three time sequences.
constexpr int32_t kGpsTimeMulti = 500;
constexpr int32_t kGpsTimeMultiMinus = -10;
constexpr int32_t kGpsTimeMultiCodeFull = kGpsTimeMulti - kGpsTimeMultiMinus + 1;
constexpr uint32_t kGpsTimeMultiTotal = kGpsTimeMulti - kGpsTimeMultiMinus + 5;

// A valid stream switches time sequence at most once per point; more is corruption.
constexpr int kMaxSequenceSwitches = 4;

// Context for the X/Y differences from (number of returns, return number). LASzip folded its
// 16 x 16 grid of plausible and implausible combinations down to six classes; rows are the number
// of returns n, columns the return number r.
constexpr uint8_t kNumberReturnMap6[16][16] = {
    {0, 1, 2, 3, 4, 5, 3, 4, 4, 5, 5, 5, 5, 5, 5, 5},
    {1, 0, 1, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3},
    {2, 1, 2, 4, 4, 4, 4, 4, 4, 4, 4, 3, 3, 3, 3, 3},
    {3, 3, 4, 5, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4},
    {4, 3, 4, 4, 5, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4},
    {5, 3, 4, 4, 4, 5, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4},
    {3, 3, 4, 4, 4, 4, 5, 4, 4, 4, 4, 4, 4, 4, 4, 4},
    {4, 3, 4, 4, 4, 4, 4, 5, 4, 4, 4, 4, 4, 4, 4, 4},
    {4, 3, 4, 4, 4, 4, 4, 4, 5, 4, 4, 4, 4, 4, 4, 4},
    {5, 3, 4, 4, 4, 4, 4, 4, 4, 5, 4, 4, 4, 4, 4, 4},
    {5, 3, 4, 4, 4, 4, 4, 4, 4, 4, 5, 4, 4, 4, 4, 4},
    {5, 3, 3, 4, 4, 4, 4, 4, 4, 4, 4, 5, 5, 4, 4, 4},
    {5, 3, 3, 4, 4, 4, 4, 4, 4, 4, 4, 5, 5, 5, 4, 4},
    {5, 3, 3, 4, 4, 4, 4, 4, 4, 4, 4, 4, 5, 5, 5, 4},
    {5, 3, 3, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 5, 5, 5},
    {5, 3, 3, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 5, 5},
};

// Context for Z: the penetration level |n - r|, capped at 7.
constexpr uint32_t return_level(uint32_t n, uint32_t r) {
  const uint32_t level = n > r ? n - r : r - n;
  return level < 7 ? level : 7;
}

// 0 intermediate, 1 first, 2 last, 3 single return.
constexpr uint32_t return_position(uint32_t n, uint32_t r) {
  return (r == 1 ? 1u : 0u) + (r >= n ? 2u : 0u);
}

// Bit 0 cleared: the k of the X (and Y) corrector picks a context pair.
constexpr uint32_t even_k_context(uint32_t k, uint32_t cap) { return k < cap ? (k & ~1u) : cap; }

// Branch-free choices for data a branch predictor cannot learn (`mask` all ones: a, else b). Plain
// ?: or std::min may be compiled back into jumps.
inline int32_t select(uint32_t mask, int32_t a, int32_t b) {
  return static_cast<int32_t>((static_cast<uint32_t>(a) & mask) |
                              (static_cast<uint32_t>(b) & ~mask));
}
inline uint32_t mask_if(bool c) { return 0u - static_cast<uint32_t>(c); }
inline int32_t min_i32(int32_t a, int32_t b) { return select(mask_if(a < b), a, b); }
inline int32_t max_i32(int32_t a, int32_t b) { return select(mask_if(a < b), b, a); }

constexpr int32_t wrapping_add(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
constexpr int32_t wrapping_sub(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}
constexpr int32_t wrapping_mul(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}

// LASzip computes the ratio in float and rounds it with (I32)(f + 0.5) / (I32)(f - 0.5), the
// addition in double: a float ratio just below 0.5 rounds to 0, where a float addition would give 1
// (the reference files show it). On the x86 machines that wrote them an out-of-range conversion
// yields INT32_MIN.
int32_t quantize_ratio(float f) {
  const double g = f >= 0.0f ? static_cast<double>(f) + 0.5 : static_cast<double>(f) - 0.5;
  if (std::isnan(g) || g >= 2147483648.0 || g <= -2147483649.0) return INT32_MIN;
  return static_cast<int32_t>(g);
}

template <size_t N, size_t... I>
std::array<ArithmeticModel, N> make_models(uint32_t symbols, std::index_sequence<I...> /*unused*/) {
  return {{((void)I, ArithmeticModel(symbols))...}};
}
template <size_t N>
std::array<ArithmeticModel, N> make_models(uint32_t symbols) {
  return make_models<N>(symbols, std::make_index_sequence<N>{});
}

ArithmeticModel& lazy_model(std::optional<ArithmeticModel>& slot, uint32_t symbols) {
  if (!slot) slot.emplace(symbols);
  return *slot;
}

}  // namespace

Point14Fields Point14Fields::unpack(const uint8_t* record) {
  Point14Fields f;
  f.x = load_i32(record + 0);
  f.y = load_i32(record + 4);
  f.z = load_i32(record + 8);
  f.intensity = load_u16(record + 12);
  f.return_number = static_cast<uint8_t>(record[14] & 0x0F);
  f.number_of_returns = static_cast<uint8_t>(record[14] >> 4);
  const uint8_t bits = record[15];
  f.flags = static_cast<uint8_t>((bits & 0x0F) | ((bits >> 2) & 0x30));
  f.scanner_channel = static_cast<uint8_t>((bits >> 4) & 0x03);
  f.classification = record[16];
  f.user_data = record[17];
  f.scan_angle = static_cast<int16_t>(load_u16(record + 18));
  f.point_source_id = load_u16(record + 20);
  f.gps_time = load_u64(record + 22);
  return f;
}

void Point14Fields::pack(uint8_t* record) const {
  store_u32(record + 0, static_cast<uint32_t>(x));
  store_u32(record + 4, static_cast<uint32_t>(y));
  store_u32(record + 8, static_cast<uint32_t>(z));
  store_u16(record + 12, intensity);
  record[14] = static_cast<uint8_t>((return_number & 0x0F) | (number_of_returns << 4));
  record[15] = static_cast<uint8_t>((flags & 0x0F) | ((scanner_channel & 0x03) << 4) |
                                    ((flags & 0x30) << 2));
  record[16] = classification;
  record[17] = user_data;
  store_u16(record + 18, static_cast<uint16_t>(scan_angle));
  store_u16(record + 20, point_source_id);
  store_u64(record + 22, gps_time);
}

// LASzip's rule: the five values stay sorted; the largest (when `high_`) or else the smallest
// value drops out and the new one is inserted among the other four; `high_` then says whether the
// new value went below the median. Written with min/max instead of branches: the coordinate
// differences are noise to a branch predictor, and this runs twice per point.
void Median5::add(int32_t v) {
  auto& s = values_;
  const uint32_t keep_low = 0u - static_cast<uint32_t>(high_);
  const int32_t b0 = select(keep_low, s[0], s[1]);
  const int32_t b1 = select(keep_low, s[1], s[2]);
  const int32_t b2 = select(keep_low, s[2], s[3]);
  const int32_t b3 = select(keep_low, s[3], s[4]);
  const unsigned below = v < s[2];
  const unsigned tie = v == s[2];
  high_ = (below | (tie & !high_)) != 0;
  s[0] = min_i32(b0, v);
  s[1] = max_i32(b0, min_i32(b1, v));
  s[2] = max_i32(b1, min_i32(b2, v));
  s[3] = max_i32(b2, min_i32(b3, v));
  s[4] = max_i32(b3, v);
}

Point14Channel::Point14Channel()
    : changed_values(make_models<8>(128)),
      scanner_channel(3),
      return_number_gps_same(13),
      ic_dx(32, 2),
      ic_dy(32, 22),
      ic_z(32, 20),
      ic_intensity(16, 4),
      ic_scan_angle(16, 2),
      ic_point_source_id(16),
      gpstime_multi(kGpsTimeMultiTotal),
      gpstime_0diff(5),
      ic_gpstime(32, 9) {}

void Point14Channel::start(const Point14Fields& seed) {
  unused = false;
  const auto init_all = [](auto& models) {
    for (auto& m : models) {
      if constexpr (requires { m.has_value(); }) {
        if (m) m->init();
      } else {
        m.init();
      }
    }
  };
  init_all(changed_values);
  scanner_channel.init();
  init_all(number_of_returns);
  init_all(return_number);
  return_number_gps_same.init();
  ic_dx.init();
  ic_dy.init();
  last_x_diff = {};
  last_y_diff = {};

  ic_z.init();
  last_z.fill(seed.z);

  init_all(classification);
  init_all(flags);
  init_all(user_data);

  ic_intensity.init();
  last_intensity.fill(seed.intensity);
  ic_scan_angle.init();
  ic_point_source_id.init();

  gpstime_multi.init();
  gpstime_0diff.init();
  ic_gpstime.init();
  sequence = 0;
  next_sequence = 0;
  last_gpstime = {seed.gps_time, 0, 0, 0};
  last_gpstime_diff = {};
  multi_extreme_counter = {};

  last_point = seed;
  last_point.gps_time_change = false;
}

// ---------------------------------------------------------------------------------------------------
// Decoder

Point14Decoder::Point14Decoder(uint16_t version)
    : dec_xy_(sources_[kLayerChannelReturnsXY]),
      dec_z_(sources_[kLayerZ]),
      dec_classification_(sources_[kLayerClassification]),
      dec_flags_(sources_[kLayerFlags]),
      dec_intensity_(sources_[kLayerIntensity]),
      dec_scan_angle_(sources_[kLayerScanAngle]),
      dec_user_data_(sources_[kLayerUserData]),
      dec_point_source_(sources_[kLayerPointSource]),
      dec_gps_time_(sources_[kLayerGpsTime]),
      publish_every_point_(version >= 4) {}

void Point14Decoder::set_layer(size_t layer, const uint8_t* data, uint32_t size) {
  sources_[layer].cur = data;
  sources_[layer].end = data + size;
  sources_[layer].overrun = false;
  present_[layer] = size != 0;
}

bool Point14Decoder::overrun() const {
  if (corrupt_) return true;
  for (const auto& source : sources_) {
    if (source.overrun) return true;
  }
  return false;
}

uint32_t Point14Decoder::init(const uint8_t* first_item) {
  // The channel_returns_XY layer is always there; an empty one reads as an overrun.
  dec_xy_.init();
  if (present_[kLayerZ]) dec_z_.init();
  if (present_[kLayerClassification]) dec_classification_.init();
  if (present_[kLayerFlags]) dec_flags_.init();
  if (present_[kLayerIntensity]) dec_intensity_.init();
  if (present_[kLayerScanAngle]) dec_scan_angle_.init();
  if (present_[kLayerUserData]) dec_user_data_.init();
  if (present_[kLayerPointSource]) dec_point_source_.init();
  if (present_[kLayerGpsTime]) dec_gps_time_.init();
  corrupt_ = false;

  for (auto& ch : channels_) ch.unused = true;
  const Point14Fields first = Point14Fields::unpack(first_item);
  current_ = first.scanner_channel;
  channels_[current_].start(first);
  return current_;
}

[[gnu::flatten]] uint32_t Point14Decoder::decode(uint8_t* item) {
  Point14Channel* ch = &channels_[current_];
  Point14Fields* last = &ch->last_point;

  // The previous point's return position and time change select the model of the change mask.
  const uint32_t lpr = return_position(last->number_of_returns, last->return_number) +
                       (last->gps_time_change ? 4u : 0u);
  const uint32_t changed_values = dec_xy_.decode_symbol(ch->changed_values[lpr]);

  const bool switched = (changed_values & (1u << 6)) != 0;
  if (switched) {
    const uint32_t diff = dec_xy_.decode_symbol(ch->scanner_channel);
    const uint32_t channel = (current_ + diff + 1) & 3u;
    if (channels_[channel].unused) channels_[channel].start(ch->last_point);
    current_ = channel;
    ch = &channels_[channel];
    last = &ch->last_point;
    last->scanner_channel = static_cast<uint8_t>(channel);
  }

  const bool point_source_change = (changed_values & (1u << 5)) != 0;
  const bool gps_time_change = (changed_values & (1u << 4)) != 0;
  const bool scan_angle_change = (changed_values & (1u << 3)) != 0;

  const uint32_t last_n = last->number_of_returns;
  const uint32_t last_r = last->return_number;

  uint32_t n = last_n;
  if (changed_values & (1u << 2)) {
    n = dec_xy_.decode_symbol(lazy_model(ch->number_of_returns[last_n], 16));
    last->number_of_returns = static_cast<uint8_t>(n);
  }

  uint32_t r = last_r;
  switch (changed_values & 3u) {
    case 0:
      break;
    case 1:
      r = (last_r + 1) & 15u;
      break;
    case 2:
      r = (last_r + 15) & 15u;
      break;
    default:
      if (gps_time_change) {
        r = dec_xy_.decode_symbol(lazy_model(ch->return_number[last_r], 16));
      } else {
        const uint32_t sym = dec_xy_.decode_symbol(ch->return_number_gps_same);
        r = (last_r + sym + 2) & 15u;
      }
      break;
  }
  last->return_number = static_cast<uint8_t>(r);

  const uint32_t m = kNumberReturnMap6[n][r];
  const uint32_t l = return_level(n, r);
  const uint32_t cpr = return_position(n, r);
  const uint32_t single = n == 1 ? 1u : 0u;
  const uint32_t gps_bit = gps_time_change ? 1u : 0u;
  const uint32_t xy_slot = (m << 1) | gps_bit;

  if (present_[kLayerClassification]) {
    const uint32_t ccc = ((last->classification & 0x1Fu) << 1) + (cpr == 3 ? 1u : 0u);
    last->classification = static_cast<uint8_t>(
        dec_classification_.decode_symbol(lazy_model(ch->classification[ccc], 256)));
  }

  if (present_[kLayerFlags]) {
    last->flags =
        static_cast<uint8_t>(dec_flags_.decode_symbol(lazy_model(ch->flags[last->flags], 64)));
  }

  if (present_[kLayerIntensity]) {
    const uint32_t slot = (cpr << 1) | gps_bit;
    const auto intensity = static_cast<uint16_t>(
        ch->ic_intensity.decompress(dec_intensity_, ch->last_intensity[slot], cpr));
    ch->last_intensity[slot] = intensity;
    last->intensity = intensity;
  }

  if (present_[kLayerScanAngle] && scan_angle_change) {
    last->scan_angle = static_cast<int16_t>(
        ch->ic_scan_angle.decompress(dec_scan_angle_, last->scan_angle, gps_bit));
  }

  if (present_[kLayerUserData]) {
    last->user_data = static_cast<uint8_t>(
        dec_user_data_.decode_symbol(lazy_model(ch->user_data[last->user_data / 4], 256)));
  }

  if (present_[kLayerPointSource] && point_source_change) {
    last->point_source_id = static_cast<uint16_t>(
        ch->ic_point_source_id.decompress(dec_point_source_, last->point_source_id));
  }

  if (present_[kLayerGpsTime] && gps_time_change) {
    read_gps_time(*ch);
    last->gps_time = ch->last_gpstime[ch->sequence];
  }

  // X, Y and Z come last: their chain of dependent symbols is the longest, and the layers above
  // (independent streams) can then run alongside it.
  int32_t diff = ch->ic_dx.decompress(dec_xy_, ch->last_x_diff[xy_slot].get(), single);
  last->x = wrapping_add(last->x, diff);
  ch->last_x_diff[xy_slot].add(diff);

  const uint32_t kx = ch->ic_dx.k();
  diff = ch->ic_dy.decompress(dec_xy_, ch->last_y_diff[xy_slot].get(),
                              single + even_k_context(kx, 20));
  last->y = wrapping_add(last->y, diff);
  ch->last_y_diff[xy_slot].add(diff);

  if (present_[kLayerZ]) {
    const uint32_t kxy = (ch->ic_dx.k() + ch->ic_dy.k()) / 2;
    last->z = ch->ic_z.decompress(dec_z_, ch->last_z[l], single + even_k_context(kxy, 18));
    ch->last_z[l] = last->z;
  }

  last->pack(item);
  last->gps_time_change = gps_time_change;
  return publish_every_point_ || switched ? current_ : 0u;
}

// A time too far from every sequence: stored whole (high half predicted from the current
// sequence, low half raw) and starting the next sequence.
void Point14Decoder::read_full_gps_time(Point14Channel& ch) {
  const uint32_t seq = ch.sequence;
  ch.next_sequence = (ch.next_sequence + 1) & 3u;
  const auto high = static_cast<uint32_t>(
      ch.ic_gpstime.decompress(dec_gps_time_, static_cast<int32_t>(ch.last_gpstime[seq] >> 32), 8));
  const uint32_t low = dec_gps_time_.read_int();
  ch.last_gpstime[ch.next_sequence] = (static_cast<uint64_t>(high) << 32) | low;
  ch.sequence = ch.next_sequence;
  ch.last_gpstime_diff[ch.sequence] = 0;
  ch.multi_extreme_counter[ch.sequence] = 0;
}

void Point14Decoder::read_gps_time(Point14Channel& ch) {
  for (int attempt = 0; attempt < kMaxSequenceSwitches; ++attempt) {
    uint32_t& seq = ch.sequence;
    if (ch.last_gpstime_diff[seq] == 0) {
      const uint32_t multi = dec_gps_time_.decode_symbol(ch.gpstime_0diff);
      if (multi == 0) {
        const int32_t diff = ch.ic_gpstime.decompress(dec_gps_time_, 0, 0);
        ch.last_gpstime_diff[seq] = diff;
        ch.last_gpstime[seq] += static_cast<uint64_t>(static_cast<int64_t>(diff));
        ch.multi_extreme_counter[seq] = 0;
        return;
      }
      if (multi == 1) {
        read_full_gps_time(ch);
        return;
      }
      seq = (seq + multi - 1) & 3u;
      continue;
    }

    const auto multi = static_cast<int32_t>(dec_gps_time_.decode_symbol(ch.gpstime_multi));
    const int32_t last_diff = ch.last_gpstime_diff[seq];
    if (multi == 1) {
      const int32_t diff = ch.ic_gpstime.decompress(dec_gps_time_, last_diff, 1);
      ch.last_gpstime[seq] += static_cast<uint64_t>(static_cast<int64_t>(diff));
      ch.multi_extreme_counter[seq] = 0;
      return;
    }
    if (multi < kGpsTimeMultiCodeFull) {
      int32_t diff = 0;
      bool extreme = false;
      if (multi == 0) {
        diff = ch.ic_gpstime.decompress(dec_gps_time_, 0, 7);
        extreme = true;
      } else if (multi < kGpsTimeMulti) {
        diff = ch.ic_gpstime.decompress(dec_gps_time_, wrapping_mul(multi, last_diff),
                                        multi < 10 ? 2u : 3u);
      } else if (multi == kGpsTimeMulti) {
        diff = ch.ic_gpstime.decompress(dec_gps_time_, wrapping_mul(kGpsTimeMulti, last_diff), 4);
        extreme = true;
      } else {
        const int32_t negative = kGpsTimeMulti - multi;
        if (negative > kGpsTimeMultiMinus) {
          diff = ch.ic_gpstime.decompress(dec_gps_time_, wrapping_mul(negative, last_diff), 5);
        } else {
          diff = ch.ic_gpstime.decompress(dec_gps_time_,
                                          wrapping_mul(kGpsTimeMultiMinus, last_diff), 6);
          extreme = true;
        }
      }
      if (extreme && ++ch.multi_extreme_counter[seq] > 3) {
        // Several outliers in a row: the new spacing is the rule now.
        ch.last_gpstime_diff[seq] = diff;
        ch.multi_extreme_counter[seq] = 0;
      }
      ch.last_gpstime[seq] += static_cast<uint64_t>(static_cast<int64_t>(diff));
      return;
    }
    if (multi == kGpsTimeMultiCodeFull) {
      read_full_gps_time(ch);
      return;
    }
    seq = (seq + static_cast<uint32_t>(multi - kGpsTimeMultiCodeFull)) & 3u;
  }
  corrupt_ = true;
}

// ---------------------------------------------------------------------------------------------------
// Encoder

Point14Encoder::Point14Encoder(uint16_t version) : publish_every_point_(version >= 4) {
  for (size_t layer = 0; layer < kPoint14Layers; ++layer) {
    sinks_[layer].out = &buffers_[layer];
    encoders_[layer].emplace(sinks_[layer]);
  }
}

uint32_t Point14Encoder::init(const uint8_t* first_item) {
  // The coders are fresh: the previous chunk's finish() ended them.
  for (auto& buffer : buffers_) buffer.clear();
  changed_.fill(false);
  // These two layers are always kept.
  changed_[kLayerChannelReturnsXY] = true;
  changed_[kLayerZ] = true;

  for (auto& ch : channels_) ch.unused = true;
  const Point14Fields first = Point14Fields::unpack(first_item);
  current_ = first.scanner_channel;
  channels_[current_].start(first);
  return current_;
}

uint32_t Point14Encoder::encode(const uint8_t* item) {
  const Point14Fields cur = Point14Fields::unpack(item);
  auto& enc_xy = *encoders_[kLayerChannelReturnsXY];

  Point14Channel* ch = &channels_[current_];
  Point14Fields* last = &ch->last_point;
  const uint32_t lpr = return_position(last->number_of_returns, last->return_number) +
                       (last->gps_time_change ? 4u : 0u);

  const uint32_t channel = cur.scanner_channel;
  // Against an already used channel the changes are counted from that channel's last point.
  if (channel != current_ && !channels_[channel].unused) last = &channels_[channel].last_point;

  const bool point_source_change = cur.point_source_id != last->point_source_id;
  // LASzip compares the times as doubles only, so a NaN differs from itself (kept: that codes
  // as a change of zero) and -0.0 equals 0.0, so a time that only flips its sign bit is not
  // coded and decodes as the previous one. Differing bits count as a change too; every other
  // time codes exactly as LASzip does.
  const bool gps_time_change =
      std::bit_cast<double>(cur.gps_time) != std::bit_cast<double>(last->gps_time) ||
      cur.gps_time != last->gps_time;
  const bool scan_angle_change = cur.scan_angle != last->scan_angle;

  const uint32_t last_n = last->number_of_returns;
  const uint32_t last_r = last->return_number;
  const uint32_t n = cur.number_of_returns;
  const uint32_t r = cur.return_number;

  uint32_t changed_values = ((channel != current_ ? 1u : 0u) << 6) |
                            ((point_source_change ? 1u : 0u) << 5) |
                            ((gps_time_change ? 1u : 0u) << 4) |
                            ((scan_angle_change ? 1u : 0u) << 3) | ((n != last_n ? 1u : 0u) << 2);
  if (r != last_r) {
    if (r == ((last_r + 1) & 15u)) {
      changed_values |= 1;
    } else if (r == ((last_r + 15) & 15u)) {
      changed_values |= 2;
    } else {
      changed_values |= 3;
    }
  }
  enc_xy.encode_symbol(ch->changed_values[lpr], changed_values);

  const bool switched = (changed_values & (1u << 6)) != 0;
  if (switched) {
    // The new channel is coded as last + (symbol + 1), modulo 4.
    const uint32_t sym = (channel + 4 - current_ - 1) & 3u;
    enc_xy.encode_symbol(ch->scanner_channel, sym);
    if (channels_[channel].unused) {
      channels_[channel].start(ch->last_point);
      last = &channels_[channel].last_point;
    }
    current_ = channel;
    ch = &channels_[channel];
  }

  if (changed_values & (1u << 2)) {
    enc_xy.encode_symbol(lazy_model(ch->number_of_returns[last_n], 16), n);
  }

  if ((changed_values & 3u) == 3u) {
    if (gps_time_change) {
      enc_xy.encode_symbol(lazy_model(ch->return_number[last_r], 16), r);
    } else {
      // r = (last_r + symbol + 2) modulo 16
      enc_xy.encode_symbol(ch->return_number_gps_same, (r + 16 - last_r - 2) & 15u);
    }
  }

  const uint32_t m = kNumberReturnMap6[n][r];
  const uint32_t l = return_level(n, r);
  const uint32_t cpr = return_position(n, r);
  const uint32_t single = n == 1 ? 1u : 0u;
  const uint32_t gps_bit = gps_time_change ? 1u : 0u;
  const uint32_t xy_slot = (m << 1) | gps_bit;

  int32_t diff = wrapping_sub(cur.x, last->x);
  ch->ic_dx.compress(enc_xy, ch->last_x_diff[xy_slot].get(), diff, single);
  ch->last_x_diff[xy_slot].add(diff);

  const uint32_t kx = ch->ic_dx.k();
  diff = wrapping_sub(cur.y, last->y);
  ch->ic_dy.compress(enc_xy, ch->last_y_diff[xy_slot].get(), diff, single + even_k_context(kx, 20));
  ch->last_y_diff[xy_slot].add(diff);

  const uint32_t kxy = (ch->ic_dx.k() + ch->ic_dy.k()) / 2;
  ch->ic_z.compress(*encoders_[kLayerZ], ch->last_z[l], cur.z, single + even_k_context(kxy, 18));
  ch->last_z[l] = cur.z;

  if (cur.classification != last->classification) changed_[kLayerClassification] = true;
  const uint32_t ccc = ((last->classification & 0x1Fu) << 1) + (cpr == 3 ? 1u : 0u);
  encoders_[kLayerClassification]->encode_symbol(lazy_model(ch->classification[ccc], 256),
                                                 cur.classification);

  if (cur.flags != last->flags) changed_[kLayerFlags] = true;
  encoders_[kLayerFlags]->encode_symbol(lazy_model(ch->flags[last->flags], 64), cur.flags);

  if (cur.intensity != last->intensity) changed_[kLayerIntensity] = true;
  const uint32_t intensity_slot = (cpr << 1) | gps_bit;
  ch->ic_intensity.compress(*encoders_[kLayerIntensity], ch->last_intensity[intensity_slot],
                            cur.intensity, cpr);
  ch->last_intensity[intensity_slot] = cur.intensity;

  if (scan_angle_change) {
    changed_[kLayerScanAngle] = true;
    ch->ic_scan_angle.compress(*encoders_[kLayerScanAngle], last->scan_angle, cur.scan_angle,
                               gps_bit);
  }

  if (cur.user_data != last->user_data) changed_[kLayerUserData] = true;
  encoders_[kLayerUserData]->encode_symbol(lazy_model(ch->user_data[last->user_data / 4], 256),
                                           cur.user_data);

  if (point_source_change) {
    changed_[kLayerPointSource] = true;
    ch->ic_point_source_id.compress(*encoders_[kLayerPointSource], last->point_source_id,
                                    cur.point_source_id);
  }

  if (gps_time_change) {
    changed_[kLayerGpsTime] = true;
    write_gps_time(*ch, cur.gps_time);
  }

  *last = cur;
  last->gps_time_change = gps_time_change;
  return publish_every_point_ || switched ? current_ : 0u;
}

void Point14Encoder::write_gps_time(Point14Channel& ch, uint64_t gps_time) {
  auto& enc = *encoders_[kLayerGpsTime];
  // Each pass either codes the time or moves to another sequence it fits (then the next pass
  // codes).
  for (;;) {
    uint32_t& seq = ch.sequence;
    const int64_t diff_64 = static_cast<int64_t>(gps_time - ch.last_gpstime[seq]);
    const auto diff = static_cast<int32_t>(diff_64);
    const bool fits = diff_64 == static_cast<int64_t>(diff);

    if (!fits) {
      // Maybe the time belongs to one of the other sequences.
      uint32_t other = 1;
      for (; other < 4; ++other) {
        const int64_t other_64 =
            static_cast<int64_t>(gps_time - ch.last_gpstime[(seq + other) & 3u]);
        if (other_64 == static_cast<int64_t>(static_cast<int32_t>(other_64))) break;
      }
      if (other < 4) {
        if (ch.last_gpstime_diff[seq] == 0) {
          enc.encode_symbol(ch.gpstime_0diff, other + 1);
        } else {
          enc.encode_symbol(ch.gpstime_multi, static_cast<uint32_t>(kGpsTimeMultiCodeFull) + other);
        }
        seq = (seq + other) & 3u;
        continue;
      }
      // A new sequence: the full 64 bits.
      if (ch.last_gpstime_diff[seq] == 0) {
        enc.encode_symbol(ch.gpstime_0diff, 1);
      } else {
        enc.encode_symbol(ch.gpstime_multi, static_cast<uint32_t>(kGpsTimeMultiCodeFull));
      }
      ch.ic_gpstime.compress(enc, static_cast<int32_t>(ch.last_gpstime[seq] >> 32),
                             static_cast<int32_t>(gps_time >> 32), 8);
      enc.write_int(static_cast<uint32_t>(gps_time));
      ch.next_sequence = (ch.next_sequence + 1) & 3u;
      seq = ch.next_sequence;
      ch.last_gpstime_diff[seq] = 0;
      ch.multi_extreme_counter[seq] = 0;
      ch.last_gpstime[seq] = gps_time;
      return;
    }

    if (ch.last_gpstime_diff[seq] == 0) {
      enc.encode_symbol(ch.gpstime_0diff, 0);
      ch.ic_gpstime.compress(enc, 0, diff, 0);
      ch.last_gpstime_diff[seq] = diff;
      ch.multi_extreme_counter[seq] = 0;
      ch.last_gpstime[seq] = gps_time;
      return;
    }

    const int32_t last_diff = ch.last_gpstime_diff[seq];
    const int32_t multi = quantize_ratio(static_cast<float>(diff) / static_cast<float>(last_diff));
    bool extreme = false;
    if (multi == 1) {
      enc.encode_symbol(ch.gpstime_multi, 1);
      ch.ic_gpstime.compress(enc, last_diff, diff, 1);
      ch.multi_extreme_counter[seq] = 0;
    } else if (multi > 0) {
      if (multi < kGpsTimeMulti) {
        enc.encode_symbol(ch.gpstime_multi, static_cast<uint32_t>(multi));
        ch.ic_gpstime.compress(enc, wrapping_mul(multi, last_diff), diff, multi < 10 ? 2u : 3u);
      } else {
        enc.encode_symbol(ch.gpstime_multi, static_cast<uint32_t>(kGpsTimeMulti));
        ch.ic_gpstime.compress(enc, wrapping_mul(kGpsTimeMulti, last_diff), diff, 4);
        extreme = true;
      }
    } else if (multi < 0) {
      if (multi > kGpsTimeMultiMinus) {
        enc.encode_symbol(ch.gpstime_multi, static_cast<uint32_t>(kGpsTimeMulti - multi));
        ch.ic_gpstime.compress(enc, wrapping_mul(multi, last_diff), diff, 5);
      } else {
        enc.encode_symbol(ch.gpstime_multi,
                          static_cast<uint32_t>(kGpsTimeMulti - kGpsTimeMultiMinus));
        ch.ic_gpstime.compress(enc, wrapping_mul(kGpsTimeMultiMinus, last_diff), diff, 6);
        extreme = true;
      }
    } else {
      enc.encode_symbol(ch.gpstime_multi, 0);
      ch.ic_gpstime.compress(enc, 0, diff, 7);
      extreme = true;
    }
    if (extreme && ++ch.multi_extreme_counter[seq] > 3) {
      ch.last_gpstime_diff[seq] = diff;
      ch.multi_extreme_counter[seq] = 0;
    }
    ch.last_gpstime[seq] = gps_time;
    return;
  }
}

void Point14Encoder::finish() {
  // Dropped layers are ended too: done() also readies a coder for the next chunk.
  for (auto& encoder : encoders_) encoder->done();
}

uint32_t Point14Encoder::layer_size(size_t layer) const {
  return changed_[layer] ? static_cast<uint32_t>(buffers_[layer].size()) : 0u;
}

const uint8_t* Point14Encoder::layer_data(size_t layer) const { return buffers_[layer].data(); }

}  // namespace laz::detail
