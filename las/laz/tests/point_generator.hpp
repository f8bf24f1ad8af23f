// Synthetic point records for round trips and benchmarks: raw LAS records of point formats
// 0-10 whose fields exercise the codecs (coordinate jumps, every return combination, GPS time
// jumps between interleaved sequences, grey and coloured points, changing extra bytes).
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <random>
#include <vector>

#include "byte_streams.hpp"

namespace laz::test {

inline constexpr std::array<uint16_t, 11> kStandardRecordLength = {20, 28, 26, 34, 57, 63,
                                                                   30, 36, 38, 59, 67};

struct GeneratorOptions {
  uint8_t format = 3;
  uint16_t extra_bytes = 0;
  size_t points = 1000;
  uint32_t seed = 1;
  bool smooth = false;  // true: survey-like data (small steps, slow changes), as for benchmarks
};

inline std::vector<uint8_t> generate_points(const GeneratorOptions& o) {
  using detail::store_i16;
  using detail::store_u16;
  using detail::store_u32;
  using detail::store_u64;
  const size_t rl = kStandardRecordLength[o.format] + o.extra_bytes;
  std::vector<uint8_t> out(rl * o.points);
  std::mt19937 engine(o.seed);
  auto rnd = [&engine](uint32_t n) { return static_cast<uint32_t>(engine()) % n; };
  auto chance = [&rnd](uint32_t one_in) { return rnd(one_in) == 0; };

  const bool legacy = o.format <= 5;
  const bool gps = o.format != 0 && o.format != 2;
  const bool rgb = o.format == 2 || o.format == 3 || o.format == 5 || o.format == 7 ||
                   o.format == 8 || o.format == 10;
  const bool nir = o.format == 8 || o.format == 10;
  const bool wave = o.format == 4 || o.format == 5 || o.format == 9 || o.format == 10;

  // Unsigned so that coordinate jumps wrap around like the 32-bit differences of the codec.
  uint32_t x = 100000, y = static_cast<uint32_t>(-50000), z = 1200;
  uint16_t intensity = 300;
  uint32_t returns = 1, ret = 1;
  uint8_t classification = 2, user_data = 0, scan_angle = 0;
  uint16_t psid = 7;
  std::array<double, 3> times = {1000.0, 5.0e8, 2.0e5};
  uint32_t seq = 0;
  std::array<uint16_t, 4> colour = {1000, 2000, 3000, 4000};
  std::vector<uint8_t> extra(o.extra_bytes);
  uint64_t wave_offset = 100000;
  uint8_t channel = 0;

  for (size_t i = 0; i < o.points; ++i) {
    uint8_t* r = out.data() + i * rl;
    if (o.smooth) {
      x += rnd(201) - 100u;
      y += rnd(41) - 20u;
      z += rnd(31) - 15u;
      if (ret >= returns) {
        returns = 1 + rnd(4);
        ret = 1;
      } else {
        ++ret;
      }
      intensity = static_cast<uint16_t>(intensity + rnd(41) - 20);
      if (chance(50)) classification = static_cast<uint8_t>(rnd(8));
      if (chance(20)) scan_angle = static_cast<uint8_t>(scan_angle + rnd(3) - 1);
      if (chance(20000)) ++psid;
      times[0] += ret == 1 ? 1.0e-5 : 0.0;
      seq = 0;
      if (chance(10)) {
        for (auto& c : colour) c = static_cast<uint16_t>(c + rnd(513) - 256);
      }
      if (!extra.empty() && chance(4)) extra[rnd(static_cast<uint32_t>(extra.size()))]++;
    } else {
      const uint32_t jump = rnd(100);
      if (jump == 0) {
        x = static_cast<uint32_t>(engine());  // anywhere, with wrap-around differences
        y = static_cast<uint32_t>(engine());
        z = static_cast<uint32_t>(engine());
      } else if (jump < 10) {
        x += rnd(2000001) - 1000000u;
        y += rnd(2000001) - 1000000u;
        z += rnd(20001) - 10000u;
      } else {
        x += rnd(201) - 100u;
        y += rnd(201) - 100u;
        z += rnd(21) - 10u;
      }
      // Every combination, invalid ones included, as real files have them.
      returns = rnd(legacy ? 8 : 16);
      ret = rnd(legacy ? 8 : 16);
      if (chance(3)) intensity = static_cast<uint16_t>(engine());
      if (chance(5)) classification = static_cast<uint8_t>(rnd(legacy ? 256 : 256));
      if (chance(5)) user_data = static_cast<uint8_t>(engine());
      if (chance(4)) scan_angle = static_cast<uint8_t>(engine());
      if (chance(50)) psid = static_cast<uint16_t>(engine());
      if (chance(7)) channel = static_cast<uint8_t>(rnd(4));
      // GPS time: regular steps, repeats, multiples, jumps to and from other sequences.
      const uint32_t t = rnd(40);
      if (t == 0) {
        seq = rnd(3);
      } else if (t == 1) {
        times[seq] = std::bit_cast<double>((static_cast<uint64_t>(engine()) << 32) | engine());
      } else if (t == 2) {
        times[seq] += 1.0e6;
      } else if (t < 20) {
        times[seq] += 1.0e-5 * (1 + rnd(3));
      } else if (t < 25) {
        times[seq] -= 3.0e-5;
      }
      if (chance(3)) {
        const uint16_t v = static_cast<uint16_t>(engine());
        colour = {v, v, v, v};  // grey
      } else if (chance(2)) {
        for (auto& c : colour) c = static_cast<uint16_t>(engine());
      } else if (chance(2)) {
        colour[rnd(4)] = static_cast<uint16_t>(colour[0] + rnd(600));
      }
      for (auto& b : extra) {
        if (chance(3)) b = static_cast<uint8_t>(engine());
      }
    }
    store_u32(r, x);
    store_u32(r + 4, y);
    store_u32(r + 8, z);
    store_u16(r + 12, intensity);
    size_t pos;
    if (legacy) {
      r[14] = static_cast<uint8_t>((ret & 7) | ((returns & 7) << 3) | (rnd(4) << 6));
      r[15] = classification;
      r[16] = scan_angle;
      r[17] = user_data;
      store_u16(r + 18, psid);
      pos = 20;
    } else {
      r[14] = static_cast<uint8_t>((ret & 15) | ((returns & 15) << 4));
      r[15] = static_cast<uint8_t>(rnd(16) | (channel << 4) | (rnd(4) << 6));
      r[16] = classification;
      r[17] = user_data;
      store_i16(r + 18, static_cast<int16_t>(static_cast<int8_t>(scan_angle) * 100));
      store_u16(r + 20, psid);
      pos = 22;
    }
    if (gps) {
      store_u64(r + pos, std::bit_cast<uint64_t>(times[seq]));
      pos += 8;
    }
    if (rgb) {
      store_u16(r + pos, colour[0]);
      store_u16(r + pos + 2, colour[1]);
      store_u16(r + pos + 4, colour[2]);
      pos += 6;
    }
    if (nir) {
      store_u16(r + pos, colour[3]);
      pos += 2;
    }
    if (wave) {
      r[pos] = static_cast<uint8_t>(1 + rnd(3));
      if (chance(5)) wave_offset += 256;
      store_u64(r + pos + 1, wave_offset);
      store_u32(r + pos + 9, 256);
      store_u32(r + pos + 13, std::bit_cast<uint32_t>(static_cast<float>(rnd(1000)) * 0.5f));
      for (size_t k = 0; k < 3; ++k) {
        store_u32(r + pos + 17 + 4 * k,
                  std::bit_cast<uint32_t>(static_cast<float>(rnd(2000)) * 1e-4f));
      }
      pos += 29;
    }
    for (size_t k = 0; k < extra.size(); ++k) r[pos + k] = extra[k];
  }
  return out;
}

}  // namespace laz::test
