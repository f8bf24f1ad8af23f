// The wave-packet items: WAVEPACKET13 v1 (point-wise) and WAVEPACKET14 v3/v4 (layered), round
// trips over generated packet sequences and the scanner-channel rules of the layered versions.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "arithmetic_decoder.hpp"
#include "arithmetic_encoder.hpp"
#include "byte_streams.hpp"
#include "field_wavepacket13.hpp"
#include "field_wavepacket14.hpp"

namespace laz::detail {
namespace {

using Item = std::array<uint8_t, kWavePacketSize>;

Item make_item(uint8_t index, uint64_t offset, uint32_t size, float return_point, float x, float y,
               float z) {
  Item item{};
  item[0] = index;
  WavePacket packet;
  packet.offset = offset;
  packet.packet_size = size;
  packet.return_point = std::bit_cast<int32_t>(return_point);
  packet.x = std::bit_cast<int32_t>(x);
  packet.y = std::bit_cast<int32_t>(y);
  packet.z = std::bit_cast<int32_t>(z);
  packet.store(item.data());
  return item;
}

// Packet sequences that exercise each way of coding the offset.
enum class Pattern {
  kConstant,
  kConsecutive,
  kSmallJumps,
  kHugeJumps,
  kBackwards,
  kMixed,
  kHugePackets
};

std::vector<Item> make_packets(Pattern pattern, size_t count, uint32_t seed) {
  std::mt19937_64 random(seed);
  std::uniform_real_distribution<float> unit(-1.0F, 1.0F);
  std::vector<Item> items;
  uint64_t offset = 60000;
  uint32_t size = 256;
  for (size_t i = 0; i < count; ++i) {
    Pattern step = pattern;
    if (pattern == Pattern::kMixed) step = static_cast<Pattern>(random() % 5);
    switch (step) {
      case Pattern::kConstant:
        break;
      case Pattern::kConsecutive:
        offset += size;
        break;
      case Pattern::kSmallJumps:
        offset += size + random() % 5000;
        size = 128 + static_cast<uint32_t>(random() % 3) * 128;
        break;
      case Pattern::kHugeJumps:
        offset += (uint64_t{1} << 33) + random() % 100000;
        break;
      case Pattern::kBackwards:
        offset -= std::min<uint64_t>(offset, random() % 70000);
        break;
      case Pattern::kMixed:
        break;
      case Pattern::kHugePackets:
        // Packets of 2 GiB or more, each followed by a step forward by the size or back by
        // 2^32 - size (the same 32-bit delta as the size read as signed): found by the round
        // trip fuzz target, once decoded 4 GiB away.
        if (i % 2 == 0) {
          offset += size;
        } else {
          offset -= (uint64_t{1} << 32) - size;
        }
        size = 0x80000000u + static_cast<uint32_t>(random() % 0x7FFFFFFF);
        break;
    }
    if (pattern == Pattern::kConstant) {
      items.push_back(make_item(1, offset, size, 1000.5F, 0.1F, 0.2F, -0.97F));
    } else {
      items.push_back(make_item(static_cast<uint8_t>(1 + random() % 3), offset, size,
                                500.0F + 100.0F * unit(random), unit(random), unit(random),
                                unit(random)));
    }
  }
  return items;
}

const struct {
  const char* name;
  Pattern pattern;
} kPatterns[] = {
    {"constant", Pattern::kConstant},
    {"consecutive", Pattern::kConsecutive},
    {"small jumps", Pattern::kSmallJumps},
    {"huge jumps", Pattern::kHugeJumps},
    {"backwards", Pattern::kBackwards},
    {"mixed", Pattern::kMixed},
    {"packets of 2 GiB and more", Pattern::kHugePackets},
};

TEST(WavePacket13, RoundTripsEveryOffsetKind) {
  for (const auto& c : kPatterns) {
    SCOPED_TRACE(c.name);
    const std::vector<Item> items = make_packets(c.pattern, 400, 7);

    std::vector<uint8_t> stream;
    VectorSink sink{&stream};
    ArithmeticEncoder<VectorSink> enc(sink);
    WavePacket13V1Encoder encoder;
    encoder.init(items[0].data());
    for (size_t i = 1; i < items.size(); ++i) encoder.encode(enc, items[i].data());
    enc.done();

    MemorySource source{stream.data(), stream.data() + stream.size()};
    ArithmeticDecoder<MemorySource> dec(source);
    WavePacket13V1Decoder decoder;
    decoder.init(items[0].data());
    dec.init();
    for (size_t i = 1; i < items.size(); ++i) {
      Item decoded{};
      decoder.decode(dec, decoded.data());
      ASSERT_EQ(decoded, items[i]) << "record " << i;
    }
    EXPECT_FALSE(source.overrun);
  }
}

// Encodes one layered chunk and decodes it again with the given item versions.
struct LayeredRun {
  std::vector<uint8_t> layer;
  uint32_t layer_size = 0;
  std::vector<Item> decoded;
};

LayeredRun run_layered(const std::vector<Item>& items, const std::vector<uint32_t>& channels,
                       uint16_t encode_version, uint16_t decode_version) {
  LayeredRun run;
  WavePacket14Encoder encoder(encode_version);
  encoder.init(items[0].data(), channels[0]);
  for (size_t i = 1; i < items.size(); ++i) encoder.encode(items[i].data(), channels[i]);
  encoder.finish();
  EXPECT_EQ(encoder.layer_count(), 1U);
  run.layer_size = encoder.layer_size(0);
  run.layer.assign(encoder.layer_data(0), encoder.layer_data(0) + run.layer_size);

  WavePacket14Decoder decoder(decode_version);
  decoder.set_layer(0, run.layer.data(), run.layer_size);
  decoder.init(items[0].data(), channels[0]);
  run.decoded.push_back(items[0]);
  for (size_t i = 1; i < items.size(); ++i) {
    Item decoded{};
    decoder.decode(decoded.data(), channels[i]);
    run.decoded.push_back(decoded);
  }
  EXPECT_FALSE(decoder.overrun());
  return run;
}

std::vector<uint32_t> make_channels(size_t count, uint32_t channel_count, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<uint32_t> channels;
  uint32_t channel = 0;
  for (size_t i = 0; i < count; ++i) {
    if (random() % 8 == 0) channel = static_cast<uint32_t>(random() % channel_count);
    channels.push_back(channel);
  }
  return channels;
}

TEST(WavePacket14, RoundTripsWithScannerChannels) {
  const struct {
    const char* name;
    uint32_t channel_count;
    uint16_t version;
  } kChannelCases[] = {
      {"one channel, v3", 1, 3},
      {"two channels, v3", 2, 3},
      {"four channels, v3", 4, 3},
      {"four channels, v4", 4, 4},
  };
  for (const auto& channel_case : kChannelCases) {
    for (const auto& c : kPatterns) {
      SCOPED_TRACE(std::string(channel_case.name) + ", " + c.name);
      const std::vector<Item> items = make_packets(c.pattern, 300, 11);
      const std::vector<uint32_t> channels =
          make_channels(items.size(), channel_case.channel_count, 5);
      const LayeredRun run =
          run_layered(items, channels, channel_case.version, channel_case.version);
      EXPECT_EQ(run.decoded, items);
      // A packet that never changes leaves no layer at all.
      EXPECT_EQ(run.layer_size == 0, c.pattern == Pattern::kConstant);
    }
  }
}

// Versions 3 and 4 predict differently after a switch back to a channel used before, so a stream
// written by one does not decode with the other; with one channel they are the same.
TEST(WavePacket14, VersionsDifferOnlyAfterReturningToAChannel) {
  const std::vector<Item> items = make_packets(Pattern::kSmallJumps, 200, 3);
  const std::vector<uint32_t> one_channel(items.size(), 2);
  EXPECT_EQ(run_layered(items, one_channel, 3, 3).layer,
            run_layered(items, one_channel, 4, 4).layer);

  std::vector<uint32_t> alternating;
  for (size_t i = 0; i < items.size(); ++i)
    alternating.push_back(static_cast<uint32_t>((i / 10) % 2));
  const LayeredRun v3 = run_layered(items, alternating, 3, 3);
  const LayeredRun v4 = run_layered(items, alternating, 4, 4);
  EXPECT_EQ(v3.decoded, items);
  EXPECT_EQ(v4.decoded, items);
  EXPECT_NE(v3.layer, v4.layer);
  EXPECT_NE(run_layered(items, alternating, 3, 4).decoded, items);
}

// A layer cut short (or replaced by noise) is read only within its bounds and reported.
TEST(WavePacket14, DamagedLayerIsBoundedAndFlagged) {
  const std::vector<Item> items = make_packets(Pattern::kMixed, 300, 21);
  const std::vector<uint32_t> channels = make_channels(items.size(), 4, 8);
  const LayeredRun good = run_layered(items, channels, 3, 3);
  ASSERT_GT(good.layer.size(), 16U);
  std::vector<uint8_t> noise(good.layer.size());
  std::mt19937 random(4);
  for (auto& b : noise) b = static_cast<uint8_t>(random());
  const struct {
    const char* name;
    std::vector<uint8_t> layer;
  } kCases[] = {
      {"two bytes", {good.layer.begin(), good.layer.begin() + 2}},
      {"first half",
       {good.layer.begin(),
        good.layer.begin() + static_cast<std::ptrdiff_t>(good.layer.size() / 2)}},
      {"noise", noise},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    WavePacket14Decoder decoder(3);
    decoder.set_layer(0, c.layer.data(), static_cast<uint32_t>(c.layer.size()));
    decoder.init(items[0].data(), channels[0]);
    Item decoded{};
    // Far more points than the layer can hold: the decoder must run dry, not run off.
    for (size_t i = 1; i < 20 * items.size(); ++i)
      decoder.decode(decoded.data(), channels[i % channels.size()]);
    EXPECT_TRUE(decoder.overrun());
  }
}

}  // namespace
}  // namespace laz::detail
