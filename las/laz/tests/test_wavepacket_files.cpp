// Wave-packet point formats against files other programs wrote: LAZ files with WAVEPACKET13
// (formats 4, 5) and WAVEPACKET14 (format 10) decode to the reference's records, and compressing
// their points again gives the reference compressor's bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "byte_streams.hpp"
#include "laz/compressor.hpp"
#include "laz/decompressor.hpp"
#include "laz/io.hpp"
#include "laz/vlr.hpp"
#include "laz_test_files.hpp"
#include "sha256.hpp"

namespace laz {
namespace {

Result<std::vector<uint8_t>> decompress_all(const test::LasFile& las, const LazVlr& vlr) {
  test::SpanInput input(las.bytes);
  auto decompressor =
      Decompressor::open(vlr, input, las.point_data_offset, las.point_count, las.record_length);
  if (!decompressor) return tl::unexpected(decompressor.error());
  std::vector<uint8_t> points(las.point_count * las.record_length);
  auto done = decompressor->decompress(points.data(), las.point_count);
  if (!done) return tl::unexpected(done.error());
  return points;
}

TEST(WavePacketFiles, DecodeToTheReferenceRecords) {
  const struct {
    const char* laz;   // its reference values are in expected/
    const char* twin;  // LAS file with the same records, or empty
  } kCases[] = {
      {"pasture/10_points_format_4.laz", "pasture/10_points_format_4.las"},
      {"pasture/10_points_format_5.laz", "pasture/10_points_format_5.las"},
      {"golden/10_points_format_4.golden.laz", "pasture/10_points_format_4.las"},
      {"golden/10_points_format_5.golden.laz", "pasture/10_points_format_5.las"},
      {"fullwave.laz", ""},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.laz);
    const auto las = test::load_las(test::testdata_dir() / c.laz);
    if (!las) GTEST_SKIP() << "test data not found: " << (test::testdata_dir() / c.laz).string();
    const auto vlr = test::parse_laszip_vlr(*las);
    ASSERT_TRUE(vlr.has_value());
    ASSERT_TRUE(vlr->validate(las->point_format(), las->record_length).has_value());
    const auto points = decompress_all(*las, *vlr);
    ASSERT_TRUE(points.has_value()) << points.error().message;
    EXPECT_EQ(test::sha256_hex(*points), test::load_expected(c.laz).sha256);
    if (*c.twin != '\0') {
      const auto twin = test::load_las(test::testdata_dir() / c.twin);
      ASSERT_TRUE(twin.has_value());
      const auto twin_points = twin->raw_points();
      EXPECT_TRUE(
          std::equal(points->begin(), points->end(), twin_points.begin(), twin_points.end()));
    }
  }
}

// Our compressed point data (chunk-table offset, chunks, chunk table) against a LAZ file the
// reference compressor wrote from the same records.
TEST(WavePacketFiles, CompressLikeTheReference) {
  const struct {
    const char* source;     // file holding the records to compress
    const char* reference;  // LAZ written by LASzip from those records
  } kCases[] = {
      {"pasture/10_points_format_4.las", "golden/10_points_format_4.golden.laz"},
      {"pasture/10_points_format_5.las", "golden/10_points_format_5.golden.laz"},
      {"fullwave.laz", "fullwave.laz"},  // LASzip 3.4, PF10: POINT14, RGBNIR14, WAVEPACKET14 v3
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.reference);
    const auto source = test::load_las(test::testdata_dir() / c.source);
    const auto reference = test::load_las(test::testdata_dir() / c.reference);
    if (!source || !reference) {
      GTEST_SKIP() << "test data not found under " << test::testdata_dir().string();
    }
    std::vector<uint8_t> records;
    if (const auto source_vlr = test::parse_laszip_vlr(*source)) {
      auto decoded = decompress_all(*source, *source_vlr);
      ASSERT_TRUE(decoded.has_value()) << decoded.error().message;
      records = std::move(*decoded);
    } else {
      const auto raw = source->raw_points();
      records.assign(raw.begin(), raw.end());
    }

    const LazVlr vlr = LazVlr::for_point_format(source->point_format(), 0);
    const auto reference_vlr = test::parse_laszip_vlr(*reference);
    ASSERT_TRUE(reference_vlr.has_value());
    EXPECT_EQ(vlr.items, reference_vlr->items);
    test::VectorOutput output;
    auto compressor = Compressor::create(vlr, output);
    ASSERT_TRUE(compressor.has_value()) << compressor.error().message;
    for (size_t at = 0; at < records.size(); at += source->record_length) {
      ASSERT_TRUE(compressor->compress(&records[at]).has_value());
    }
    ASSERT_TRUE(compressor->finish().has_value());

    const std::vector<uint8_t>& ours = output.bytes();
    const std::vector<uint8_t> theirs(reference->bytes.begin() + reference->point_data_offset,
                                      reference->bytes.end());
    ASSERT_GE(ours.size(), 8U);
    ASSERT_GE(theirs.size(), 8U);
    // The chunk-table offset is absolute in the file; ours was written at position 0.
    EXPECT_EQ(detail::load_u64(ours.data()),
              detail::load_u64(theirs.data()) - reference->point_data_offset);
    const size_t table_end = std::min(ours.size(), theirs.size());
    EXPECT_EQ(ours.size(), theirs.size());
    const auto mismatch =
        std::mismatch(ours.begin() + 8, ours.begin() + static_cast<std::ptrdiff_t>(table_end),
                      theirs.begin() + 8);
    EXPECT_EQ(mismatch.first - ours.begin(), static_cast<std::ptrdiff_t>(table_end))
        << "first differing byte of the point data";
  }
}

// Point format 9, 90 points in runs over all four scanner channels, wave packets whose offsets
// follow, repeat and jump. Built here; the expected bytes below are what the reference LASzip
// (laspy 2.7 with its laszip backend) wrote for exactly these records, from the chunk-table offset
// (made relative to the point data) through the chunk table. LASzip tells the items after POINT14
// the channel only on a point where it changes (channel 0 otherwise), which only a file with
// channel switches shows.
std::vector<uint8_t> make_channel_switch_records() {
  constexpr std::array<std::array<uint32_t, 2>, 10> kRuns = {
      {{0, 10}, {2, 7}, {0, 5}, {1, 8}, {2, 6}, {3, 9}, {0, 10}, {1, 12}, {3, 13}, {2, 10}}};
  std::vector<uint8_t> records;
  uint64_t offset = 4096;
  uint32_t i = 0;
  for (const auto& [channel, count] : kRuns) {
    for (uint32_t n = 0; n < count; ++n, ++i) {
      if (i > 0 && i % 11 == 5) {
        offset += 100000 + i;
      } else if (i > 0 && i % 7 != 3) {
        offset += 256;
      }
      std::array<uint8_t, 59> r{};
      detail::store_i32(&r[0], static_cast<int32_t>(1000 + 7 * i + (i % 5) * 3));
      detail::store_i32(&r[4], 2000 - 3 * static_cast<int32_t>(i));
      detail::store_i32(&r[8], static_cast<int32_t>(500 + (i * 37) % 101));
      detail::store_u16(&r[12], static_cast<uint16_t>((i * 977) % 4000));
      r[14] = 0x11;  // return 1 of 1
      r[15] = static_cast<uint8_t>(channel << 4);
      r[16] = 2;
      detail::store_u16(&r[20], 7);
      detail::store_u64(&r[22], std::bit_cast<uint64_t>(1000.0 + i * 0.25));
      r[30] = static_cast<uint8_t>(i % 3 == 0 ? 2 : 1);
      detail::store_u64(&r[31], offset);
      detail::store_u32(&r[39], 256);
      detail::store_u32(&r[43], 0x44000000u + i * 1000);
      detail::store_u32(&r[47], 0x3f000000u + i * 37);
      detail::store_u32(&r[51], 0xbe800000u + i * 53);
      detail::store_u32(&r[55], 0x3f700000u - i * 11);
      records.insert(records.end(), r.begin(), r.end());
    }
  }
  return records;
}

constexpr const char* kChannelSwitchLaz[] = {
    "8206000000000000e8030000d0070000f4010000000011000200000007000000000000408f40020010000000"
    "00000000010000000000440000003f000080be0000703f5a000000df0000008100000000000000000000009a"
    "0000000000000000000000000000000b0200000e0200002046b3bf84f39aacb78b7619123bb1700af5f14920"
    "4050693c2e273c893893c48958b9a1c0290f03e1105a36d37e42001d4b499c4ed25e6a2251cedeed36810331"
    "05c4441014a6026b4048a0470dc0f8ddf5c37980add03890129102a744f1e24283b389efe1761e1beda4400d"
    "2b018b404d407df8b7fd386802ccd115d06bb02a7d3ce81e095e809a2a56f0b910d65c35f0119235b8b1e0ad"
    "0ea0d48601c0b0adf043f2c416adf74b9ee363969bd033226845a070e028100f8896113d32260fec44c0aedb"
    "6c863597e2d5102075bb220950cba7ef30de9d18f072d100000032ececc3cf43a7e9dcff7340b72b2eda3418"
    "7cb8610ab0c7c835597cc2d327e2bc21cf33bc552acf61aec3c752ff239a2c68754c42a233a03e6f0452eefc"
    "9790d05a4df4dc5460ffe0d9f73330293b3eafa2d423ab39c122630504646e1e37138bf24aab57cf21b36e7a"
    "cc419ad65bea1996f4de1f74efb28ff15ee4ca13000000a4f0ff2e4efe5c1582518874e3c55493f0fb5f6a71"
    "e7f96188fafd9c7800c434be25ee501f2049b72d24d60b50fe92f3f9423865280ce3ef89ac5b3eb81604482c"
    "3bc70df92274fa93bfcf59ce1776c178aac72bca96bf318960a8c785eb93e961afc9aca5654294617acd898c"
    "29704dd9cf895fe21761ec768710ab1de9d3286280d66a943ba7da5bd81990e395fd01a8646ddc4b84c90000"
    "0042b4b60280003ab28e0400002e65467080002cd474b1000031a5de8580002e52c3a6800076e57a1b80011e"
    "b9ca800002a036bf000005b0febd80000471985ac0000374a403400002afe8b000000219ba94800001c61cd0"
    "4000042b699840000b95497dd80002d415f8c00006c66ea1c00013b87fd580003b7eca0d8000a7cf45c68000"
    "8aa0056800007b404f6b00006db3a44c80005d48e6d280005f82cf9e8000ee1314800002316d4e800006760e"
    "28f40000c05735400001cad76b800004393f6380000a28abe200001d9ef2bf00005aadd892800055fd5fb100"
    "0044025bb400004487da7a00003798010000003015c15700007ec906c000012ae6a7c00002c3ef4c40000929"
    "b64ace00009b491ac00001c8ccebc0000534e3ea80000f6746ca800054756251800c186c078001c706a90000"
    "588f0ca7800cbd7904800178aad5d2000014e634b200003ad10739800094552e800001af4e49c00004ea250f"
    "80000e53159d800030b66f838000992e62c00001cef5bdc000055e3c5940001caa1453800357437aca00002f"
    "aca5a7000076c832c000015a7ed9c00003f9784100000b92cfdf000021ba9a598000709f2100000156708000"
    "0003fd2bd400001553ade9800348b9d980009d57f780001473549d000000a430e8800001dffa3f000005774f"
    "7b40000fece03280003bd1b79e00013eba2200002da8a38d000691a8ee8001007826800001000000014051d5"
    "03b6c349fb3b7a06cb86bd24b5dfc5cf0d49ab580886ea87562a6a14dee241cc1d04bea1d41d64a3dacf1d31"
    "d97af15435360defab01da6e5d4bf2218dcb1a915e13db28edc1e3fa9a255404dfaa335377f5353fba140332"
    "1110113fcc654304ae0299f2f30d5eebd979fd92b4d0c5c612762a90ffa29e7a1480ca3121a4d2db9ae1e6da"
    "3a741a71e0e96731b16871bb9b323a8680ee79ccfdfd9c408bef183ea11c29716c8e3e8a5a747dda0dadbf23"
    "900d08de4647a91de85abf61a8a669298c40e188e7def0b445221654ae9103977b9563abab380ddf95b6a2eb"
    "ddafb7d0e0601441273bc95d02d72a77ae3127fdcf715a5561dd722fa57445329bcf1b410d808256ec715ee4"
    "da20dbeadab5109b9af49160c88ea85d4e237284c0772d176e32429d8df4aa7532e72ffeee87a879c7e6b952"
    "de32e7cb0b91251ce7327dbb2ff745684202477121676da36feca2350933148dfb47aad61d6d7144d6aa2372"
    "e271bf7067e1ce1c15fc633d668212c0e39338791682c4f5a8120e22bdf36ca416d67b908956b8d93fc0a9bc"
    "e6b6aad87713ae2ad02403d04010529193afa14f0b4e40f5b5b8d6e85b632de06d647a25b0e42648a59626e9"
    "8e48014ca6abf177d7dac3207ec193fdb3a3af3e0346fae7bfa00b2b6b52fef32d98c54c73e99cb7ce333e58"
    "cb89543a06c4e1eaca9050e7ddd7d0697a231aae1b8e82a35361c00b24bc0b0d79e9501a0000000000000100"
    "00005b9a45000000"};

std::vector<uint8_t> from_hex(std::span<const char* const> lines) {
  std::vector<uint8_t> bytes;
  for (const char* line : lines) {
    for (const char* c = line; c[0] != '\0' && c[1] != '\0'; c += 2) {
      const auto nibble = [](char h) {
        return static_cast<uint8_t>(h <= '9' ? h - '0' : h - 'a' + 10);
      };
      bytes.push_back(static_cast<uint8_t>((nibble(c[0]) << 4) | nibble(c[1])));
    }
  }
  return bytes;
}

TEST(WavePacketFiles, ScannerChannelSwitchesMatchTheReference) {
  const std::vector<uint8_t> records = make_channel_switch_records();
  const std::vector<uint8_t> reference = from_hex(kChannelSwitchLaz);
  constexpr uint16_t kRecordLength = 59;
  const uint64_t point_count = records.size() / kRecordLength;
  const LazVlr vlr = LazVlr::for_point_format(9, 0);

  test::SpanInput input(reference);
  auto decompressor = Decompressor::open(vlr, input, 0, point_count, kRecordLength);
  ASSERT_TRUE(decompressor.has_value()) << decompressor.error().message;
  std::vector<uint8_t> decoded(records.size());
  const auto decoded_ok = decompressor->decompress(decoded.data(), point_count);
  ASSERT_TRUE(decoded_ok.has_value()) << decoded_ok.error().message;
  EXPECT_TRUE(decoded == records);

  test::VectorOutput output;
  auto compressor = Compressor::create(vlr, output);
  ASSERT_TRUE(compressor.has_value()) << compressor.error().message;
  for (size_t at = 0; at < records.size(); at += kRecordLength) {
    ASSERT_TRUE(compressor->compress(&records[at]).has_value());
  }
  ASSERT_TRUE(compressor->finish().has_value());
  EXPECT_TRUE(output.bytes() == reference);
}

}  // namespace
}  // namespace laz
