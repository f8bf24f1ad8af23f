// Layered (compressor 3) chunks: item codecs round-trip tiny point sets built here, the chunk
// decoder reads the layered LAZ files other programs wrote to the reference's records, the chunk
// encoder writes the reference compressor's bytes, and corrupt chunks fail cleanly.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "byte_streams.hpp"
#include "layered.hpp"
#include "laz/vlr.hpp"
#include "sha256.hpp"

namespace laz {
namespace {

using detail::LayeredChunkDecoder;
using detail::LayeredChunkEncoder;

const std::string kTestData = QUARRIX_TESTDATA_DIR;

std::optional<std::vector<uint8_t>> read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::vector<uint8_t>{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string json_field(const std::string& json, const std::string& key) {
  const std::string needle = "\"" + key + "\":";
  size_t at = json.find(needle);
  if (at == std::string::npos) return {};
  at += needle.size();
  while (at < json.size() && json[at] == ' ') ++at;
  if (json[at] == '"') {
    const size_t end = json.find('"', at + 1);
    return json.substr(at + 1, end - at - 1);
  }
  const size_t end = json.find_first_of(",\n}", at);
  return json.substr(at, end - at);
}

std::string hex(const uint8_t* p, size_t n) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string s;
  for (size_t i = 0; i < n; ++i) {
    s += kDigits[p[i] >> 4];
    s += kDigits[p[i] & 15];
  }
  return s;
}

// Just what these tests need of a LAS file: where the points are, their size and count, and the
// LASzip record.
struct LasFile {
  std::vector<uint8_t> bytes;
  uint32_t offset_to_point_data = 0;
  uint8_t point_format = 0;
  uint16_t record_length = 0;
  uint64_t point_count = 0;
  std::optional<LazVlr> laszip;
};

std::optional<LasFile> open_las(const std::string& name) {
  auto bytes = read_file(kTestData + "/" + name);
  if (!bytes || bytes->size() < 227) return std::nullopt;
  LasFile f;
  f.bytes = std::move(*bytes);
  const uint8_t* p = f.bytes.data();
  const uint16_t header_size = detail::load_u16(p + 94);
  f.offset_to_point_data = detail::load_u32(p + 96);
  const uint32_t vlr_count = detail::load_u32(p + 100);
  f.point_format = static_cast<uint8_t>(p[104] & 0x3F);
  f.record_length = detail::load_u16(p + 105);
  f.point_count = detail::load_u32(p + 107);
  if (f.point_count == 0 && p[25] >= 4) f.point_count = detail::load_u64(p + 247);
  size_t at = header_size;
  for (uint32_t i = 0; i < vlr_count && at + 54 <= f.bytes.size(); ++i) {
    const std::string user_id(reinterpret_cast<const char*>(p + at + 2), 14);
    const uint16_t record_id = detail::load_u16(p + at + 18);
    const uint16_t length = detail::load_u16(p + at + 20);
    if (user_id == "laszip encoded" && record_id == 22204) {
      auto vlr = LazVlr::parse(std::span<const uint8_t>(p + at + 54, length));
      if (vlr) f.laszip = *vlr;
    }
    at += 54u + length;
  }
  return f;
}

// Decodes every chunk in file order, walking from chunk to chunk by their own sizes.
Result<std::vector<uint8_t>> decode_all(const LasFile& f) {
  auto decoder = LayeredChunkDecoder::create(f.laszip->items);
  if (!decoder) return tl::unexpected(decoder.error());
  EXPECT_EQ(decoder->record_length(), f.record_length);
  const size_t start = f.offset_to_point_data;
  const auto table = static_cast<int64_t>(detail::load_u64(f.bytes.data() + start));
  const size_t end = table > 0 && static_cast<size_t>(table) <= f.bytes.size()
                         ? static_cast<size_t>(table)
                         : f.bytes.size();
  std::vector<uint8_t> records(static_cast<size_t>(f.point_count) * f.record_length);
  size_t at = start + 8;
  uint64_t done = 0;
  while (done < f.point_count) {
    if (at >= end) return tl::unexpected(Error{Error::Kind::Io, "ran out of chunks"});
    auto count = decoder->begin_chunk(std::span<const uint8_t>(f.bytes.data() + at, end - at));
    if (!count) return tl::unexpected(count.error());
    const uint64_t take = std::min<uint64_t>(*count, f.point_count - done);
    auto ok = decoder->decode(records.data() + done * f.record_length, static_cast<size_t>(take));
    if (!ok) return tl::unexpected(ok.error());
    done += take;
    at += decoder->chunk_size_in_bytes();
  }
  return records;
}

// Compresses records in chunks of `chunk_size` points; returns the bytes of all chunks.
std::vector<uint8_t> encode_all(std::span<const LazItem> items, const uint8_t* records,
                                size_t count, uint16_t record_length, uint32_t chunk_size) {
  auto encoder = LayeredChunkEncoder::create(items);
  EXPECT_TRUE(encoder.has_value());
  std::vector<uint8_t> out;
  for (size_t i = 0; i < count; ++i) {
    encoder->encode(records + i * record_length);
    if (encoder->point_count() == chunk_size) encoder->finish_chunk(out);
  }
  encoder->finish_chunk(out);
  return out;
}

TEST(LayeredFiles, DecodeToTheReferenceRecords) {
  const struct {
    const char* laz;
    const char* json;
  } kCases[] = {
      {"1_4_w_evlr.laz", "1_4_w_evlr.laz.json"},
      {"pasture/10_points_format_6.laz", "pasture__10_points_format_6.laz.json"},
      {"pasture/10_points_format_7.laz", "pasture__10_points_format_7.laz.json"},
      {"pasture/10_points_format_8.laz", "pasture__10_points_format_8.laz.json"},
      {"simple.copc.laz", "simple.copc.laz.json"},
      {"example.copc.laz", "example.copc.laz.json"},
      {"append-bug.laz", "append-bug.laz.json"},
      {"fullwave.laz", "fullwave.laz.json"},
      {"golden/autzen-bmx-2010.golden.laz", "golden__autzen-bmx-2010.golden.laz.json"},
      {"golden/test1_4.golden.laz", "golden__test1_4.golden.laz.json"},
      {"golden/5points_14.golden.laz", "golden__5points_14.golden.laz.json"},
      {"golden/10_points_format_6.golden.laz", "golden__10_points_format_6.golden.laz.json"},
      {"golden/10_points_format_7.golden.laz", "golden__10_points_format_7.golden.laz.json"},
      {"golden/10_points_format_8.golden.laz", "golden__10_points_format_8.golden.laz.json"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.laz);
    const auto f = open_las(c.laz);
    const auto json_bytes = read_file(kTestData + "/expected/" + c.json);
    if (!f || !json_bytes) GTEST_SKIP() << "test data not found: " << kTestData << "/" << c.laz;
    const std::string json(json_bytes->begin(), json_bytes->end());
    ASSERT_TRUE(f->laszip.has_value());
    ASSERT_EQ(f->laszip->compressor, 3);
    ASSERT_EQ(std::to_string(f->point_count), json_field(json, "point_count"));

    const auto records = decode_all(*f);
    ASSERT_TRUE(records.has_value()) << records.error().message;
    EXPECT_EQ(test::sha256_hex(*records), json_field(json, "sha256"));
    EXPECT_EQ(hex(records->data(), f->record_length), json_field(json, "first_record_hex"));
    EXPECT_EQ(hex(records->data() + records->size() - f->record_length, f->record_length),
              json_field(json, "last_record_hex"));
  }
}

TEST(LayeredFiles, CompressLikeTheReference) {
  const struct {
    const char* las;
    const char* golden;
  } kCases[] = {
      {"test1_4.las", "golden/test1_4.golden.laz"},
      {"5points_14.las", "golden/5points_14.golden.laz"},
      {"autzen-bmx-2010.las", "golden/autzen-bmx-2010.golden.laz"},
      {"pasture/10_points_format_6.las", "golden/10_points_format_6.golden.laz"},
      {"pasture/10_points_format_7.las", "golden/10_points_format_7.golden.laz"},
      {"pasture/10_points_format_8.las", "golden/10_points_format_8.golden.laz"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.golden);
    const auto source = open_las(c.las);
    const auto golden = open_las(c.golden);
    if (!source || !golden) GTEST_SKIP() << "test data not found under " << kTestData;
    ASSERT_TRUE(golden->laszip.has_value());
    ASSERT_EQ(source->record_length, golden->record_length);

    const uint8_t* records = source->bytes.data() + source->offset_to_point_data;
    const std::vector<uint8_t> chunks =
        encode_all(golden->laszip->items, records, static_cast<size_t>(source->point_count),
                   source->record_length, golden->laszip->chunk_size);

    // The reference's chunks lie between the 8-byte chunk-table offset and the chunk table.
    const size_t start = golden->offset_to_point_data + 8;
    const auto table =
        static_cast<size_t>(detail::load_u64(golden->bytes.data() + golden->offset_to_point_data));
    ASSERT_LE(table, golden->bytes.size());
    ASSERT_EQ(chunks.size(), table - start);
    EXPECT_TRUE(std::equal(chunks.begin(), chunks.end(),
                           golden->bytes.begin() + static_cast<ptrdiff_t>(start)));
  }
}

// ---------------------------------------------------------------------------------------------------
// Point sets built here

std::vector<LazItem> items_for(uint8_t format, uint16_t extra, uint16_t version) {
  std::vector<LazItem> items = {{10, 30, version}};
  if (format == 7) items.push_back({11, 6, version});
  if (format == 8) items.push_back({12, 8, version});
  if (extra != 0) items.push_back({14, extra, version});
  return items;
}

// Records with every hard case the codecs have (the reference chunks below were compressed from
// its output: keep it as it is): channel switches, return combinations, GPS-time
// jumps and repeats, large coordinate jumps, colour and NIR changes, and constant runs.
std::vector<uint8_t> make_records(size_t count, uint16_t record_length, uint32_t seed) {
  std::mt19937 engine(seed);
  const auto rng = [&engine] { return static_cast<uint32_t>(engine()); };
  std::vector<uint8_t> out(count * record_length);
  // Coordinates wrap around like the stored 32-bit integers they are.
  uint32_t x = 1000;
  uint32_t y = static_cast<uint32_t>(-2000);
  uint32_t z = 300;
  double t = 1000.0;
  uint8_t channel = 0;
  for (size_t i = 0; i < count; ++i) {
    uint8_t* r = out.data() + i * record_length;
    const uint32_t dice = rng() % 100;
    if (dice < 5) x += rng();  // big jump
    x += rng() % 200 - 100;
    y += rng() % 50 - 25;
    z += rng() % 20 - 10;
    if (dice < 60) t += 0.00001 * (1 + static_cast<int>(rng() % 3));
    if (dice == 7) t += 1.0e6;                                 // a new time sequence
    if (dice == 8) t = 1000.0 + static_cast<int>(rng() % 10);  // back to an older one
    if (dice % 17 == 0) channel = static_cast<uint8_t>(rng() % 4);
    detail::store_u32(r + 0, x);
    detail::store_u32(r + 4, y);
    detail::store_u32(r + 8, z);
    detail::store_u16(r + 12, static_cast<uint16_t>(dice < 50 ? 100 : rng()));
    const uint8_t n = static_cast<uint8_t>(rng() % 16);
    const uint8_t rn = static_cast<uint8_t>(
        dice < 70 ? std::min<uint8_t>(n, static_cast<uint8_t>(1 + rng() % 3)) : rng() % 16);
    r[14] = static_cast<uint8_t>(rn | (n << 4));
    r[15] =
        static_cast<uint8_t>((dice < 90 ? 0 : rng() % 16) | (channel << 4) | ((rng() % 4) << 6));
    r[16] = static_cast<uint8_t>(dice < 80 ? 2 : rng());
    r[17] = static_cast<uint8_t>(dice < 95 ? 0 : rng());
    detail::store_u16(r + 18, static_cast<uint16_t>(dice < 50 ? 0 : rng()));
    detail::store_u16(r + 20, static_cast<uint16_t>(dice < 97 ? 7 : rng()));
    detail::store_u64(r + 22, std::bit_cast<uint64_t>(t));
    for (size_t b = 30; b < record_length; ++b) {
      r[b] = static_cast<uint8_t>(dice < 30 ? r[b - (i > 0 ? record_length : 0)] : rng());
    }
  }
  return out;
}

TEST(LayeredRoundTrip, GeneratedPointsDecodeToWhatWasEncoded) {
  const struct {
    uint8_t format;
    uint16_t extra;
    uint16_t version;
    size_t count;
    uint32_t chunk_size;
  } kCases[] = {
      {6, 0, 3, 1, 50000},    {6, 0, 3, 3000, 1000}, {7, 0, 3, 2500, 50000}, {8, 0, 3, 2500, 777},
      {8, 5, 3, 2000, 50000}, {6, 3, 4, 2000, 600},  {7, 0, 4, 1500, 50000}, {8, 2, 4, 1999, 1000},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message() << "format " << int{c.format} << " extra " << c.extra << " v"
                                    << c.version << " count " << c.count);
    const auto items = items_for(c.format, c.extra, c.version);
    const uint16_t length = static_cast<uint16_t>((c.format == 6   ? 30
                                                   : c.format == 7 ? 36
                                                                   : 38) +
                                                  c.extra);
    const auto records = make_records(c.count, length, static_cast<uint32_t>(c.count));
    const auto chunks = encode_all(items, records.data(), c.count, length, c.chunk_size);

    auto decoder = LayeredChunkDecoder::create(items);
    ASSERT_TRUE(decoder.has_value());
    std::vector<uint8_t> decoded(records.size());
    size_t at = 0;
    size_t done = 0;
    while (done < c.count) {
      auto n = decoder->begin_chunk(std::span<const uint8_t>(chunks).subspan(at));
      ASSERT_TRUE(n.has_value()) << n.error().message;
      ASSERT_TRUE(decoder->decode(decoded.data() + done * length, *n).has_value());
      done += *n;
      at += decoder->chunk_size_in_bytes();
    }
    EXPECT_EQ(at, chunks.size());
    EXPECT_EQ(decoded, records);
  }
}

// The chunk the reference compressor (LASzip 3.5 through its Python binding, default settings)
// made of make_records(300, 36, 7) as point format 7, and of make_records(300, 41, 8) as point
// format 8 with three extra bytes: channel switches among all four channels, every return
// combination, GPS-time jumps and sequences.
constexpr const char* kReferenceFormat7[] = {
    "e00300002cf8ffff28010000640033c0020000000700c45a7c0a00408f400000000000002c010000ea040000",
    "350100002f010000e4000000ab010000e30100002f0100003e000000b8020000750500001f364f15657a38dd",
    "a0b586175e504c877a68c3e5fea38947a07616c016f481d674d791e231b63999800e58efe3c489852fceb348",
    "6a6ac7142f6b50289ab39785466c6052c3d1589422b2f47afbb44c05889a2dcd81da0bf5f6a44474d62f4d48",
    "7a1cd4d31b254e17fe311bdf2f742e327631cb43ffb8992bc05f37cb8c6f99448bda785ec0634079dfc3e971",
    "223c512595974511565e1da022fc5718cd00225ac0b8043a495a0680c47b7c0356f0c8fa00141319c924c125",
    "2dc5d4c05f3d9ee2616d5587e9472e27db092841bfe7cdf627a65a9821edce05009a777528d71909d5fd0d2f",
    "a63f756c75aab0e467eefd3c98666cea1630ca5b2c5d53d8896e62d62645f0b9ba4cab59e6a9ed8b610148b4",
    "bf38b25337a4f979da973781eca76caf6b625208772dabb1f4dc4913adbfcebed20bdcf62a5af611106f4e64",
    "dd0521c51e5b0efa093de0299fa0807b020570b09b57b9a93a6e6abd52a430c4d494acc792b04da49f8ebe6d",
    "66763bde0bb0b6143a5680075f05eebed2e7aee2f02cbe0166d60b3be4a21c80d805185eb20cc6323a0d1147",
    "153044fec3d82cbab68f528bc177ef17dd29ad725522d2118db300fc1b4c809d3a393c3d7020039962d2b763",
    "f741fbf7a7341996ec934788f0ac30c8979a52e134b77bfb1d7f2769525d458bb403f9630d05ef633e25b12b",
    "b887cbd579a1a274cfdf5e2386274e155039343e286052de775343b87167d701d65e59bdcc47f7924a079e56",
    "483251dabe58b2d02c7029c3e28769331c7cad53606a5fd736b8c4639c2b7dca33c2d86b499e3b71975a9934",
    "fa874acb49db968111bf233acf05dab87120f3d442d802f1aff7534fd765f93cfbf53261ca7f04f7950f090e",
    "41761c27b09f4bd6317ee600df2b685203703e866badf9193b432576cda48294374261500f6e9e74a3513e73",
    "8043e2262590ba494eafd19fd50c8240c696758a58dfb3ff6a50b562e2eea6cb5ba4afe58a35e53a792b669b",
    "5478604c04648f5a3058ea641bc61ab4467d4f5b1c06d904585349cd42769233a25b58d2a22af5f77cb5742e",
    "7b84588533e33e2c0303e2e2131252d6c56d9a63aba487c6b7484bfa6dc12eed857a86702047af143bb4b6d8",
    "65037fe86d09d272c8a932f7cf4601f82a6b365198d193e1954fde4f15b93b45f62701cc4973bf51758b2863",
    "1e20f8df9b14115a72a8c271c39ec25ce6f5f7c035d3747685fb5a14a6e8118df27931791f94a6e4f2028ab7",
    "c8649006a6013326b9597a1d3129a5bde7118eb0a0bc7009e6459e9f3a2744dbe2a66bd4a1c5159a26bb75c2",
    "8bbd6a23e0c891bd36c5eb2520265ad5ce5b6c17823987a77d5391e04f0ee294d0904dff4fd2c9ab0d9a249f",
    "cf9645422035f72b164c8f88e208746b91a2425f06515f53b5634222278293b3eebaeb7ad1995d2d5f947a6a",
    "751c0aa31e5dc82268b5437db4292c435ec22d68920a7b8c279860da63f38cdc9b9dbae20e3f46d32c95bf5a",
    "c5354033ce13587ad8e1511f31abe4943318149b22f47a74effc4ab7ffe19f29acdc0c325cc2c9c1e42da841",
    "95aa9b071b16844514170730a6db71a118948f98a0cf37aa6017310c1168cd22a0c9e112cb1c0b640246ace4",
    "e30adc0496d086d9a4d28f9fbb3c7a592d705c44743d06f696bd94ac0096584accd404662e4aaeb6a214f08c",
    "6d525eb34fa22c638be83c0295b4fc2e45e991368ed1ab5f63661747824fc3377fc9ffcc95c5bc078101431e",
    "466f3797b95eb43c30f0a8cf49b2165e000004242dd9630c08eb2a72a19170761415b45ae2d9d339becde035",
    "c34c94a707d4143674ba560a5d8ae1e7e99e7f834721f5b6338dc3553413efc787209420ffc178f4bac4e37a",
    "9167f3a4e712e838a68490a0f05f23f64dea34e98ce5bbe3f63b2cf0c69ce98d13f0246505ccb907f43b86cd",
    "9515cd666df0cf32a72be8172c9a817fa8654f111a25ee650c9249ed80e0b6461449ce73f308d2703d931a2f",
    "38d4be3490dbec50ce453dbb0c6a5019de86c15d5d52d12309d22c9ea8c0a3bef61a5e56ab521ed204faaebe",
    "1aa2d550941e16d4e1e62707503297497ded1f5810ef047b7df8186dfc956f5ee06d6aa59a3dd800e00c11ae",
    "b270b91af1707392b88b0b50da5b3c2b930c05185d150de44ca21f8af160790274e44c87495bc4cf2f1c7027",
    "ae9f8cb0217d82e428f068b4c88369b3000000da0195010101011400f845009f01010101010101b300a80101",
    "01010101de009281017d00c30101010101010100ff0102010101d4d497170101011d00f30101010101010101",
    "0177d1c598810150a5d92e8101010101011e00f330016858a195010101f83b856381010101010101a600ae81",
    "df00927800c581010101bf2026f13e8199e3b4be80e981010101010101013200e8810101c200a08101010101",
    "01010f00fa0101010101015d00d30101010151db8c93a70101010101016801a580aa010980f7b400e781c300",
    "b800f5012100f108012880eb8101010101011145f8df2700ae01c4009fc2afe02a6200908101fd00837400c7",
    "81011e00f2810101010101010101015fc4d19fba94a43701ef008a0101010101010101d5009701010801a580",
    "ad010101ce009b3188a8bb000000800bee7d0bc0feb39fc0ffeeff080fa4eeb03ee80ffc5bd47c0c0ebe03fe",
    "c1f7c0820bdcfbfc1b3e6bf03befdf3bffff000c2e7cffc77e1bbf44ef0f3cf7b04001df7c0ffb7ffc1ebbfa",
    "d5e83fbf7eefbffc081fbee7b0bef40e7cffdb39e7f63d899dc70bde800c0e7e0c1c3d53dec1f7f03d03aebd",
    "f8107eefe042f7b069f2907ef7df01ffeffa082f3d013f8cf40e7b04103cf3aec003cf3fefef9ef92e48ffa0",
    "40040f3df00efe000dff4b4f11fc0e810bd1fb9bce8003d9bcb800c2ebbf7c0c0f26eeffe2db433bffffbfec",
    "2ff9f81f1700af7f0bef3eebfffbf420033f17000000eecd785a0bd51828ec92c68ad29d35d5e6b1f843d314",
    "68034eeef1c94be05f269071f80fdb8757f53c1fcbd712a3adbd080012d30456aa464a1f377dcef4c4d05137",
    "883628378bc6f31c4e2edb54c3ae7c030ba5547be28c00f2cfea85932c3984cc770f25f23287c18da6670da1",
    "ae3cafd63c2f06a9ed394593b6b36fec81d492a586bab71325dd701b93af1888dd04bf4b51b6584c38fcb23c",
    "1d313b2a5c4027847c1377d14cc1e04ce5fac503c593b8034affd34cacc89737064d98fcff31d0af46edbd46",
    "a5472a95dee05924ceb499d00e5217911042fb3ede91972294ac4b06e631b04d5a1e4cf624fc069e49d49661",
    "baece305f0b5429d87f7de6c72df170e8cbd1e3e5eef2ac4b8ab6d62eeeca689da7ee6f2092f7c13b3b6cc05",
    "e321ec0b4bd94565982ba358cc4b7fc04dd5ec2cd747b0d6e14bde2b41f524f774c4499cfd003c934b51ca00",
    "69f155dffa0e14dd60a9ce184a536cb7ecf6f5544d4005267be86c6275ec3d8b5126fbe5655cd1f481416054",
    "55464ef221f5c53dab93130f40427d8b4046015d79366772184bc3fb1a958ab8f10eba0b882f893d326a963c",
    "f54b617a3667000000e7efba0b86f69736cc72c9df2e5926c94374368af82077e7ec99a9c5c821b838904b27",
    "fca46960b94ccb01b4fd5eee1cb331d40041202788ff7ab27ec7f7b752118ed107e9a87ac05caddc9db444fe",
    "1deee50a4cae70e0a86b99b74a95f025bc052012c798365a773e5c5479dd4da78ad867b3857e120577842765",
    "48de3a75fcb466fb429a7bf73ea7544b14db0bff926450327968442d64fa0b87b35022f8181cbcc0b4fb7a38",
    "9818b13012485a38241f891f46f9522962a29f727ae449401d1e4d06c56bda924af5151f85757b0810a1f672",
    "aff524de76bebb2c2dc941f1654450c1655a066f66c8764afd66b793e95d1ab35e3bec83a77938d6caa7036c",
    "47ce088a8e5bde5bd78d737d0e3ffe52a6ca70c56f79863912322817894f687ccb5f07753bbb079aeba02676",
    "9d2d9b9e5e535059e6c06b5ffefe4831664cdfd1dda42a1288e1b2968492782e4b7ecac85172cdb52b12b103",
    "9d879f50cbe0e0537ab83915382208901423d2761c136103ded89580323ff785b93d4d7f73ddffb63fdb1484",
    "8bda5defd2cd571c3adba790f8616b96ad31198ddd810da68f8253a0ecfd5709cad78e0c26f3742cfc2c5448",
    "de6d308aa5249d3d1045fb1f34ce175689153d04a9fd76ae2b67413f960a140d7ed0a67e79d289575c2f4dcf",
    "f56a5a15cf0000000000000000000000000000000000000000000000f9ff8300000000000000000000000000",
    "0000000000000000007fffc000000058ffd38000000000000000000000000000000000000000000000000000",
    "0000000000000000004cffd9800000000000c8f09b8780000000000000000000000000000000000000000000",
    "0083ffbe000046ffdc80000000000000000000f1ff8700000000000000000000000000000000000000000000",
    "eaff8a80000000000000000000000000000000000000000000000000000000000000000000000000c1ff9f00",
    "0000000000000000000000000000000000002dffe9000000000000a7ffac0000000000000000000000000000",
    "000000000bfffa000075ffc50000000000000000000000000ffff8000000000000000000000000007bb8c224",
    "000000cb8f655afb5409d378cc3bb83d741e12da77f6ec2119f6f79724d771a5d153873c9af7aff9e880084e",
    "fbcebd7bec9dd0756859bf3392ea8f9688bb0000004a779bdee400013c2bb2655e3e6ed781313c0f785cf934",
    "20e4e502e372c95b87f2e1ffd635df27cce214013d419033474f82102fba002115b31529d31e22fc19ef141f",
    "bf1dd9ee6bbd3cdf60d5d0633e00ee33c1d995b364e03384300000469ac388ff834bf7b513254ae770149c23",
    "0523cbe258b834648f8123f93e03aad1cffcedad00a8a464b2de1e6cfeb25de10b1d156e39936cd4506e8144",
    "3d544917aeddcbb83568b3bc4f16c736e29363e127b378cd691332cdd6d6e9c9786757283f841b122bf3a0be",
    "f2149fa0bee3c8beefe94e2e9ca3084f9f95c6d57cdc666f0c6ce830f36c47b012cc431fe1c952faa12c8afa",
    "f5b85c2dda609729b37ca2456308419640b59d39ebdadf7ea955661c103e1a5f3814441fa98f2e89bb47f5d2",
    "25d1979965a5e71c2202539040e994970fd9ebe278ed06685fece32a25bb3918c39cd85a8800000e4407b797",
    "baab9ea89c43d4fe8824428919bf0294c2a1423829b21e7c8e473391079cfd9ff9e8796c018264883d08c4e7",
    "0fff88cc335e425e0ed79a34e7d3cac29a5e54bc207d2a5980f45631b6aefd5702275447139d71330e4d37b8",
    "665799c4cbe336aa52e81b974b3a8fec935e553f4422847f82ddfaeb77a8416c4a3ede86018f55eab02c9ed9",
    "eec9ba495b86b4d1065d7a2de7ba68fda95fbf7dda90ad7486cb4b56625cf5590dc912137968e4f6081a81c3",
    "cd5ad034ed3376bd800ad0e1208514cfe0885e519e4062a27ec29a8fab36010000032b114318e65c546f7b7a",
    "65d60a7923924f3e43aa239f19e47660d0838878af2d55214da83d6c5dad1313ebf1b824da8eb0c261e2e0df",
    "50754630a2e7369b79da4822707efc883da9080e9691fadeeea8c8e0ea773a3de0da4b09882a1a8b4289665a",
    "4a1fdf5ab5c6222376c08233ac5c219596215788362edd6413246360e54c842ffbd766ee4b37e215d62aef70",
    "b08cdbf44a9655b7b052000000ff4f4e3a15957903f8c9e6da4e4fa4081ff5ceba25b845bfa9ffbd902b72ff",
    "30aa0f20670dffa2d4e2451e47ff6e8b3a5acffbf9e823ef50dadffd0e3d70d2e9dffd458a29e0c07ff8db65",
    "5641133f89f0c581fbe1c081fd45c1d03b722a07fa3889afc8ea1fe718fc256cbddff2bc3b705718bfe1d49d",
    "65595040fe3a409ea609f9ffb9c43f416d67fd637b8b6d870c0ffbe4384763b67fd97e5fd17f513fc0220334",
    "49b140ff20eb2c318c91fd35206cdb218ff9a2ea1e555897f7704c6c40f5f81fe9fe26e9a9e6bf88887993ae",
    "b97f1c1f7ed6159cfe52399aae72e1fd73b70da0fe1e04081fcb4cab2e1cd8e040fe3435226567590207fc86",
    "66b303974ff62aef1a7421502040fe35bae557b0a303f9447abac8433c0ff2324ccc8fe05fe3cb53d66f4d3f",
    "efb9c9f4308bffcf43a7ac29e7ff6186f5127365feb170c514bccbf87680056b226ffd38e1588184cff73360",
    "f849b858624b1c0a4c3658b1a9a0ba16b0cf515ce62498c4783208497921f5976ebb66a11a514205def2ff8c",
    "024c26995a0c0a348477dd1ecbbd441aae6a6ad8e93bf1ba08f04da2272fedb8db0e3ffe234a6052bf1316ae",
    "8e24b19925ec38d196049c72acd1fcda5fef91cc5383bac3ba43c0b8a8b6e04346715fedc67435791a76c7bb",
    "92fad5194732a100b3f0313476d2df8c0e2180578522d61ecb7363d1a96b3ab5de2765a69812c808316be25c",
    "511e427560d73755fe181c000736713d052c33370271dd2bbdba795452e1df203346773a39e8b51082b8fcbe",
    "22a9ded43b193c6044d4660b5da377f236132e666b279deac996478315714dacaf5d4076e42753268601058b",
    "605c73dde238f69786b915cba15742abddd01eb300e9dda1468fa7351f6d146a2217670930175b38a6160f23",
    "06d13f2db418a61ba379daa2aabf2b5e2b708e0c26734c46e57a6e3038bef3862cda4bea4a4b7726eb9be56b",
    "9fe4c5eb8e10e21728aba01ab1a8e82e2fee37bab336612413603fdd66ccb72e48f6ea1fe2371e235942cba2",
    "e1cfdcc18248fb6c4e26315ac6d69a943818afb1297c0e0c2a7742e2ee4a8e4d5fdb09ce93500ae0bd852b18",
    "7a6e35cc565d75f0cbbd5d0503b9bc457cae7b8bab3b64b6393830bfa9f2166427a04ead575f790a9e27b90c",
    "a78a6462887f5faac2fb3671fbeebfa26c088e6bb899319e658868e2bc7780eb12b868bb555aaafa3efbdcd7",
    "b60f24d96f96cd2333e4311aa820dd540f382bfe7787ec47e2eb5cb6972f72c3f09db7e9068c38508d386f00",
    "15ab88b49a6d9b6599d0e431ea8264b71dae2dda6f627bb58ff31aa8293341ab9b1d76a920c9386d52c04ad2",
    "a0e47eb9c42a28a4f08fa139b1f4ca68fda8e7b667d4370472f560900ab6bf490d265b64dae2ba00e653d0e6",
    "494ef5ee0f41baa38dc87a754a9f09b0588c6d490453861975f7b069a2ea446b3b94033ed9f22043d6d643fd",
    "3826ee1d90f31a791b6818327b4bd9c9374a0f6ff8b5cc0df073763b85f77839bfdea71985edbc1e9c46812f",
    "d57a40e0a687053a4ab93c9e496c4f620ad9f779efa3e1a56ba5ec60a83e6bd7277cf785deae323661a36536",
    "4c636bab0372708bd165ff131e61095da8fb1e207195e394de414ce3f7385b6397df0998cf016f1f340b3745",
    "566fbcd1ab83b58e969eb23476aed4c170b17ef50db40715216db4198b26e109a4989edccd3c9af4860d4d6c",
    "aeaf6ea02ca78f5e3a955bd766b85580d60722205a627d71f9f2021b9871473f98afcd822aa04d254812f26f",
    "8cb0797123b60f30e6d9b74cfa25620ec47cb6c897125698e7f6eb383510b0f60f60b361baca970d059ac218",
    "e3f8819cb63176168d20afe7ea157a74945a1ffb0fcfa8869997e1d77e8303ff5b87c617d555b4235ea67c0d",
    "5e1479419aca57e2672efd508c3d05ab9ad044efe892b8ca222196aa3e26b5dd558472a7f2a4bac4854a6200",
    "0000"};
constexpr const char* kReferenceFormat8Extra3[] = {
    "1804000036f8ffff2b0100006400a2c0020000000700c45a7c0a00408f4000000000000000000000002c0100",
    "00ca0400003e0100002f010000e4000000c1010000dd0100002f01000023000000c302000050050000c50100",
    "001501000013010000150100003c245704b2845b3d8bdf16c1eee33cfc01e0f51e161e54575ea604a52d7d3c",
    "8192c7254ee4ced68db37f9f2b4de82ae54d0349b394a5608322ae2711446b3f94bc32d189af82bbd943df5b",
    "504fcc5a4d85b3aaf9222d3ccb48952081be5ba0d7526c1ca9a43437aafb30314f4baae95dd6e5cfcc0b095e",
    "b207469198bdd4bf179f7c40dce3ef31b441dc5886e7ec20648ff804e4cf9005ffb6a98c695fa8d2610a2c9c",
    "637952340760e14bd6cceff01de00ef8c852443e2d1d1334c4d29a633d73ac0cc586f42bfb97383b54c4f338",
    "20a33539da1001d9f875486f059c00e836837d63957e24c6ce005ac605e3834387beace163108db43ad32747",
    "1d56992b07de457c65effea81e20677f81d912fa435093b7d6038a7ebc9c9d5a0fbe7ea3b630608576b13ef2",
    "31d501b9b1b8978a09f77f86896ab8f96aaaadeb5c77533a77ab9f6c5f4b3b81bf68ebe58e03d39fde273d3f",
    "9e81c1b20998ceb9d1b8fe1f9e170f033e671f42578ac8e1a6e14f7d6651447a9690ce7790ea7e0f980eacd3",
    "747987738ac2b6d41177e151e8cc88ff7ae3a23bcc1a1549438f631dafefb881a25ea2ca9bc095dddb5e5736",
    "6c6e19ca4bef3b850f26e0fa6a1e6ad3f883d16dbc76e79dabe29aea663d42321465d6b0f4541654de7540c0",
    "1f10d0bb5501a6558d0b1aff087afe860768c2500a3342479c6ee67118bc807963cd827a9de5fa0d9188486e",
    "7de9bb52f7af898200499d3efabb6f71f43580cbbdceebe1e7f867a051b9bf59a39fc8c9496d1ca91e7ab308",
    "28d60c245fb2413ac5e190e409001ab0c19da0791f6e265bb4c332bdf2438b9ebfc5d0bef4b48d80e2a4a5d8",
    "50e990cf32b88faa8522d13c5e4dfdf06e97b43525c3ed2ab7fe70845385b788ac30156ea697c3241f340098",
    "781babf370e162ff6dbfda93de9fc5ed746bf3aba63d28c1389aeaac538264b2f46dda9cb2f0864282b770f0",
    "3802263b07e02561cb27c98e538e17b1015519afb26bd08d426eb5878214e843c7bc73da01c341699e134e05",
    "b1e74ba27012decd94a6248d92726e1d04980454da42264ebb42beb3b62598649a2081718343c939ac6d9948",
    "404a1e7318e52412a855a84318048e3d68209ea9582868b20414c83db36cb83fc666ee1f654871f97201ad1a",
    "b3fd44ada1ad66b6c50169887497d355e5c81bae79f9ee4a10198ff5ae5ce9eccffc54170749bc56567a61b6",
    "dfa44c82b76357538d8375ccc3a1db63e796e459c16200f9c3491c318b8634e73bbbec274a6e4a2314c650d6",
    "1457c0ee57798c1dd5ec8c6a723f996d551fc6b86909d2df39ee803db47a21bb1bcf3b9bdebc78c8e3a2dbd1",
    "5ecb1b8de8b17c07aa14764792a3834dbb6d10fb58be60b6b358e8fa3912d6024ad9e3cb2512230bd28c3197",
    "c5aa15bb873e4d1305512c8ba04e1ceacf01fd91b28ed4f403b3fb431d4e79ed4120705ea8146fced010b872",
    "a8d36b1955a6a79c2c16df1e9c33f686d51445fe66a671b93f20861fc8bf5a8a3cf9015b24fc6973f2fc8615",
    "e8d74375ef36f84cc02b5163f7468d3fe6516a4f7d7519d9b54771d812dabd37055e5951f01dd244157c5a58",
    "fe98a88d231037be15379089a818b2d3edfca28252de5e899905dd743a28dd4975bb5470dc9b37d8601dc86c",
    "d20b899395fe67fe96379a82995e8b181ee9cbf8dcc2340c0b8906df111e20b12956791802da0528bd6a9493",
    "95f93f1f00000008297400f0c26527f770064a1683f8186392a98f17664492708c60e317bf7b7f8822517354",
    "25a32533e1c09c9f4147bcbeb376364067f968a849801519a89bac2d6e1f32510325b8bb274fd91459d51986",
    "d57a3341ea2c991956069b94e482b46de7470a1eb21adfb46e95c29bf2fbd5356daf6132cb64c8f00b5cdbd9",
    "b821fbeb0dc2c8ca143357b8b439630060014d4382c8ed427fb22ec1f15b4c262307469add225f6062550cc6",
    "f69265a9735628b64f2a061dde115ed7271f40295ba1eb52655a831002c18563d68152a2325e2e8364e61285",
    "f33dba0e578710c75f955d36433e80ac667b5d825925d9d2dbe332d1e36b6d373b523bc48970e704549d2093",
    "7b29f635373093b6e9d6bf281c782c0333a6366e58009734955822c4acfacda955ae76c8d4c3027e44c097d3",
    "e7a758c53b365194ae6358caecee000000023b013e60d4110101c6009e81010101018a00bcbb00e401010101",
    "01010101010101012b00ec7e00c2f900c5010101f30088010101010101010101010101010101010101010101",
    "014200e08101010101010181017600a6810101010101cb009c018ba0bbb1010101fc00838101010101010101",
    "01010101010101010101010101010101a922acf800fd8335bfe71600b72900ad01012000f1810101018a00bc",
    "81010101010101010101015d00d301aca8ba2cf981010101012884ed3f01010101013c00e46000918101016a",
    "00cc81010101010101014900dd0101ce010095cdf73a00a481010101013200e8e100d101010101e100de00da",
    "8101b7010c00ce01016200d081011c00f43e00a281017a00c48101010101010101018c00bb810101d500f300",
    "d3010189b8bca500ff00000083038bba7830bd5bb1bcfc0ffaefe042f7b03ffbe03cec0ffaf7fc7e5e7e6aeb",
    "d239f41e7c042f7b07ffbbec1f7dfff0bbf3debd03ff34f50e7d0b9f3fe800000c0efdf40002fbbebef820af",
    "ec000efa1f02fbbefbf3ff82ffc0bcf00fbcef9f42f7b0e1e86fe3f3cffff7bf40fc0ffcc3d5baffff070ace",
    "fbefdffc040f8107af3ff9a99cd0be8207defcdc04fcefe0c1efef3bfbbf81ffd0bee7e0c2eba001e7e17df5",
    "afc407ccff07ef0103bfbdfbbfc1ffcfbdeb1041f77e838f9780dbbf5ae89fc3db8401f3bffffc1ebbfc303a",
    "e7f07dfc2e7cffc2fc6417fcf3c83cefc0000000e7db0561b3cc275f6504c1074e7e68c53bd05e2b53116d54",
    "0faa2da7e8393723c4803ec12354d1926189246572dbd8fc352de8d22aa1a27cb4703de5cb842290a535b5cb",
    "e167ab6216dbf0c6ba932e6ba63ab54bdb194f6710c5eb9da22123e4edc6010cd8724c0f1baed2153450064f",
    "419fc5340510575e14a1b831d96975562d17f6f7688c6c57f77ab004d2e6532fa2c1f3b5c70a08cff7cdbdb9",
    "319e61e28238fe00000a729ab1559810e3a7daa3c8988732c53b814e11e47fa57cdf66fae522e4e844387a28",
    "8ef4bb3d64802cfa26612143cf45b2096fb1cd88ddc7ed7499cb88509483f6890f9fc5e57cc9ab5f83822856",
    "4d713ca5fe159cadd62650be712cdfefa1c35e42c189bfac34fdfb2f6a4457f757e39a35c64c9915b62d911d",
    "e8d4fddb0211ad5edad6db3c172e6e87e686ec7861d09a72344b1f41b178a3e51a5c43c75789781e2f3fa350",
    "7c6d50586688bf8c04fc044221d3cd7fcf1b077a232b693b2ab0389fcc77c0df91573360b419662cf3f4cf62",
    "5ff8b9a688c0a3d20dbe20fbb07d5a75b5b72a25bfe453ea705f238f67555c739f7408535a7cd808f07f30f4",
    "3f1ec2ccb91aa882a980176d26ba853aa68ea0d2d7c924aaa9bf000000deb88ec3733b119e718f9debb127c7",
    "c0c811e23177294537ed09f06d262948732f5b131f149b661325e522c216c0b095632385a6600d2abe4824a5",
    "a052b2a9916970c6f14a29345248718646396e6458309780c4c94fcf61fd70b8e5c90002354e863ddade0c07",
    "3f85a0dab4a8638d924c9aa86fc64253f27b5410f573e898a358cd1746de81c3c0b7205446f1a829764b60c4",
    "3117dddcc78c5e2c00cd29142f82de2e4dabb5288bdd3aa67066142749b85e0f6be6144be0a9910d3d2c1193",
    "9bfa132b6996e07a02539b39be00ff0da7f2d13f2240b25f8f43bdf2da2172dcaae641930fe953f99922e77f",
    "278420507a124bc9680e7a13dc39fbf80afbcc18d4d1d0d8c6e09139eb210744cfffae2c86b8a04518009d3f",
    "ff5adf23f21d74a435ce68ad4c2afd8ab1364aa643464e8ac17720adf22a4f9d2c7d7b6003545acd9c6f8d9e",
    "92838212fe5e8e844e5ca15010159c0fccd22dad3b3b3947b5503bfc4223e6ace24a4c85311cf0b82f69a923",
    "552bcb3007f2bf2615a3dbc745f9dd000a1ea412f72757c5bc561f9bf5d9afe161868e8d2f7e3c845af0734a",
    "bfed5ef7ea898041b2662f8d1ceb02b12bc6851f0fe7b42ebc61bccad3520276f172457253d2da9206e9c00e",
    "959e439d80f98f257f14d72e0077dd9336f14a00000000000000000000000035ffe500000000000000000000",
    "0000000000000000000000000048ffdb83fffe00000000000000000000000000000000000000000000000000",
    "00000000000090ffb780000000000000000000000000000000000000000000003affe2800000000000000000",
    "0000000000000000000000000000000000000000000000000000000000000000000000000000003bffe20000",
    "000000000000000000000000000000000000000090ffb78000000000000000ceff9880000000000000000000",
    "000000000000000000000000000000f3ff860000000000000000000000000000000000000000000000000000",
    "000085ffbd0000ceff988000000000000000000000000000000000c5ff9d0000000000000000000000000000",
    "0000006effc88000000000000001000000d4b3f3b144d64bbf6fb2ef5b8550644701451294a555c91a5e286b",
    "d8dc2cc24f0000002c7349b290e2bca428acbcbb97f78ef1089d85baa9d56594ca252ec52574bd4f3fb41b5f",
    "7758862959698b6366cbce5e2e3366f9388e46ff7d9260eb4bba1ac8d21d86f1d4d65fab4c60973f860dc693",
    "0f99e212c43be182927dadf6627e557968169c96fdea152fbbfe4fb873d84bdb83e64983478fc49a4eff30c0",
    "7357c4e83095651092b73da85eb3ad26d9c7f6e063eb188234116cde7494a35e2f7e5009a91d076006f6388c",
    "9821466b8b2e1aced9fbfbd4cfe395ff0bd22d0e9f3d2e6ecea4cdddd0ec2fac8c8ce88ab2720407c0e9fcfb",
    "bf01608241f4d8e476486e39f03c4a84d9bc17b0168c16762017fcd9c7f80c8e0bf83aaefb72c157906a2b2b",
    "09305c026e755ed320144aa06d7200b3080753e933f50500000364b9752a51aceeb6bcbf5fa98ee519b805ee",
    "215278f876f4b4849d1817145b23ce80fad7316cd5a140d5ad976afd587179395cdb442f8492e7a856db6db8",
    "3ba57ee8a689bfea3e27be94695ff9782537a7e0238b8261e923aabdd7df8b3170af9422278cce7c55ba9951",
    "00218dd46ee3d3c2f01062f34f78aa46004e9f04ab209a1915645270c5771100e16e8b6d1a6acbc98886ebce",
    "c2419c1ee1d9623d9ea8975d82930133c4856889e46008dfbb1496d220a92004de7dcb1c3f3ba4366c4b11c9",
    "ca3acb05209d524264e0300b5c0dc6414af0d09decf1cf1371e5326ea6f75fa33495ba11b28d5527fa123820",
    "88f4c100f3383ffd7c468501b4b804b89fb8547e8c7ee0c0fa5ccd8703e2e6e6d71ed234eca7a350645e1e8d",
    "41908f2c1e08195e8ecd3c5ded420d1627579823df6dc37426d0edfab0c36d6c3feb98f3b62c7c7bcf8aeb2f",
    "8f34b5f42e974af31a2b6337f9a7fa4b2b5e5ecea29fc6092af8578ce9ebbceddef8000003785ae759d8f99e",
    "566717f10bb25bcf368e2efd479db22fbb114838e71eb95d9b8ba0bc53bcaeba326cdb86c710bf4e369d9b84",
    "d960ef1e41000001000000fed79b3a2a6071fff636f27e70b7fd6176e59c42c7f10a3d64cd2dbff0b5078c96",
    "c21fd5627d6ee261bfb8f0bbf32c8fff98251a960c92fe217fce6c5911fd606eac4ffdc7f82ffc2063fe8408",
    "103f9663775a74357f6090e8a17558fe9e07f433f2b3f4d23faf3a0e040fec1d24cd6623dfe2914c255f19bf",
    "cffad431023e40ff1eadf597b8a1fd2cb35faf5f0604081fd716a4dd00253fa922549a37cf7fd041cd1642c3",
    "ff134632d5658d03fe7e9dedbef1c7f3e41d59468b0fe3a87ba677c91f5c890ee89ebff5edcc5943d54081fc",
    "68caa1d76757fbf3d3c4e2ab17f34b95d9608afffb9dc6dfc40cb03f9a825c81a1f6ff1a3191d64ba181febf",
    "bcfc5a5a43fe9b2a198d0bbc0ff8661ed79f5ef03f9e3855f4cdb0408103fcb7345eed743c0ffa59df7c2990",
    "5fca0b7e2cf9df7ffbacafea33b4c081fd3a66c2cbcb73ff48b41c1ed1640ff49eef6783349edb7e5a0f139a",
    "4004f53f4b9291ff038f2f386b34f5d6f82ac9ed6e7dffb6540bda47456e0c3569f757aec94c84cf15812cc1",
    "5bfa26cc33ac34338082785bbacf3ae843ad59b240b10dbdb5e50164a8df6cdf1d9acc5c00d8df1e1e8b59aa",
    "e13dd6a4bb3f6c2aeca139f0e8ca58b881bbabff2b9d53255bc14d22b12d9e6a43b6769792e00cad77123411",
    "2c3e5b8f95389be5d674c7bcd355aee4b6700fabfe5444962f284412829ece54e7b5e23747acbd5fbe6944aa",
    "c83175a016d3d1fce88e1af74bcc11a8a3d8a1333920a804c86e99c932132c64062302a4af52640d5e951fd0",
    "963a3f02d3fcd8bf00296aea06573e2d93ee739cb394d4ae4eded202999b5e7328f29b24eeb3290c3052b0ef",
    "33c2c2e2b1267ac9c7a4c798510026b30e8ee6b23f25eed97b2edb831583ebf424d096577b5092b815e15566",
    "6717a1f216574c1c27dc9e3bcaa460481f0295bc920818aae8a8ddc84a13132bdec4b8e4b66039ed9ad8eba0",
    "13993f11b0179c81d938a42e80ebf9739b932e572a7d398040f7eaa46ce2a74f4f8f0cc409df51f9e567bc12",
    "31c4b8980708fca3e329d2779f6cd4f383b6534328eefd4388d7a2dc33c514bf13effce720e4897fed58f7ec",
    "48a8024c02a2eeb8e0132b1eeae8f9ee16d2b141576120d08609712e5150afa6cfe636ab3ecd8898ebd3e1cb",
    "b953f4b098313c00d1ce377a2164b13c36cc0c62dcf78d1026403c6a6329aad0b72d31d4ea25d3b8a16553d8",
    "d5e731a7f7072047c3d310e069443b641b0bee262ddd5b4670f5719a7a5ab1d5850d9e98e456641ad7a18835",
    "2985f0e2d3eb545ec856d959611e7b9ba491926459e8d26789b0a240db5b9f7e9d6755065c15b0fe63dfd789",
    "6525613d3699fe377ba5ac0c6e85ef3c2b25a2187eb8c9dd527b54979dba6324e530c87849f5296e46ac6962",
    "158618fe231c1cf8bee1fc235c2b13f89cc63d8a67d647bd20640133879c54f0eb53ca9d3ed60e1ef9e9819a",
    "a5471cde0c2cb65ed647014d9d5b7c75df2f1b7c111a44587695794f85fc09bec3e951026b600e34ee4b1024",
    "d352429f87e4b8bd39ad253b7d8a9b7756e0bd8e7eb170f0ae78c45c59aa651926c0b5c76ce76b76157274f4",
    "dd95e4ab7f5d82e61d06f68421cd0b3fe5fb941989388d8cc681d5a06751efa2d8f7e2232d9f6f8c3176f8e7",
    "c86ccb4c9cc44506815fb7a30769b462d930c2cfd96fd1ecb604916197adb3cd9836d37b51ebb87969bb79f6",
    "c97314935f37436fbc975ea8000b6a07eb679533dd0a99eaf8fcc48c5dbbb26d1476a3c2f1fe31729692a516",
    "1b4d047685bb760a002d033b7fb4372fed048f0f23dfc608ebc8f8602aadcb83f5435920fd63b3eb8c871e26",
    "b7b3f0e4414526c1f24b08093d7e4533fd06147855342f71ff9633867afdae141f4526498e8c5f17609fd441",
    "531effba000000d88e91bb3c354b4c67e689f9df993ab812053d0cb2228f039313f811fd472ee22ecb00a878",
    "95b44910f256fae40f1caf83129213d976d80662c35bb5b73c839bf550295ba08bf882ec323ed3972a648fad",
    "3961decee84f75f0013a0ce677506a592b0b36fbb14effdf8ea9379deb4cd8a085b3ba6875e931ba270d5b7b",
    "7f63d594c9a21866752bd26c3036f6d82caac0fc8bff66a8f19d3ee4684e8e844ed2a2c85b938af59b746652",
    "bf7b7a8716051125f7a267de6d4359ad23d93eb002ebdea5f1ebfb71378efaa78d6003a5a29f385110432fae",
    "a92c4d6214b4adba67942a7fa0c1993fd99189884ea0826a3f7d17af73d2f782b0082d9a8493c40b16dc97c7",
    "a57fec4c31e2f720a2df25940fe0cc0f15f23ec9549f2ebf812102e4c798454027539394cf844408dd33992a",
    "cd23ef37486e675a3e84d73e36290501cbc671e573c19b3b3c6096cca9c1b344388b0ca61b40d169a65edcd1",
    "58f7d1d747339ca26056682aabfa86bf97a73b762952952384daa66c70623f76e08ea3ee391aba06a9d2c55e",
    "4e3c20e5d6bdb91777d1dc8a1eab317d2dbf8c826edf2d5ff702f3c190888e576739e06db2519a753486eb70",
    "f660414e3d24b82ca68ea6c2f6e21111a8000000123f2dd460bef4752b2861c766009b7aab4f83798eadfaa9",
    "5f09cffb00d990e996553b0596a85b0a60147fcc57f4f759deffbaa9e980037fec806200cd2e4ce89aeebd89",
    "0e1afd733eff967a9383a7e9cdcb4eeaf0cb0a0bcec545ec55b995f5cb69b5c596d557a7e208201f49040000",
    "0000af52a856c357de929a0577dc6d88983e2a4e1bc987c070ac600fed05568e417599bac0ed0d967f5dc6d8",
    "3d51ee3dea9cc45e7fe291ad127a6726bcbe941ac0d33fe6687988888b0cfd0458910a49a017d1eacf278fb6",
    "5685651d1ac661534e5a5fad8230582d388a9d277396458312b661f879e875c98aedc451baaffd864a631b30",
    "382baa6026a66e4d593f3eb06c052a6fad1db9349638ed0d6789abec74610000000e5d3b532aa2e808b2fa9d",
    "040b00876edb23709345bb5622f21d98b100630f0ada629d32404275521c7527e19ad24f69cd55f89aa58052",
    "ffce006800728fc8b7f25a2fd371cb751ac1ffe3d61155505a0a134d48191c21f80be4b5ad9984a612d964a1",
    "b955461924a557eb3710d580000000a0e5af8d33eee6ad3bd27552574d9f9232adeda4ac6162221b3e4fcc55",
    "3f3c8640355e62dbb70b8c5037d62cd5863a1afe3e30a8fe7c55cad72573d36b41515ab4b257f002e99306cb",
    "666910b760f8eca06d506b139a1593c50f5924f85d5232a895aed19a79a7f8f4bb1515ebeb67ab2d09abbe30",
    "18ad991c45c6ab4437b9eda4aaeacebaf8e26ee9d1dc73c2f4066c8b76deaedb25039d85f4cd4fe3b5000000",
    "66a9c012545e21050902407b6480fec5df8ad089afea980a8d99fd33009f5b851c1638e04dc3d0a5f15c779b",
    "36fb55baf9371096607fbf7ff6001e00cb66bdcc6b5e1691d057b214200087409e6002a8e92c1517c4f40f89",
    "c41ed0ef23038dc46fb29db6035e4660b89dde5a0ae1800000001f1af0728edcf8ec395ac16ad8e88ce357ef",
    "f2d0057a56153688ef041d37573ea255b42e2ae78a73e5d56d8e4b9190fc5dd2b5f8626d2d679f093bab28d0",
    "79450a6bcb8ac38fd3fdef578bf0c616f9e01177a2837d709afec7a2af3388fa1acc0db0d92e3ac212a15cf4",
    "968890dab8babd7f8f5a979a86565556435dd1ff0d9db4bb03755a6d9ef0697e0e80d56a22f619350324fe72",
    "e904808a23bd3438927f000000"};

std::vector<uint8_t> from_hex(std::span<const char* const> lines) {
  std::vector<uint8_t> bytes;
  const auto nibble = [](char c) {
    return static_cast<uint8_t>(c <= '9' ? c - '0' : c - 'a' + 10);
  };
  for (const char* line : lines) {
    for (const char* c = line; c[0] != '\0' && c[1] != '\0'; c += 2) {
      bytes.push_back(static_cast<uint8_t>((nibble(c[0]) << 4) | nibble(c[1])));
    }
  }
  return bytes;
}

TEST(LayeredReference, ChannelSwitchingPointsMatchTheReferenceBothWays) {
  const struct {
    const char* name;
    uint8_t format;
    uint16_t extra;
    uint32_t seed;
    std::span<const char* const> reference;
  } kCases[] = {
      {"format 7", 7, 0, 7, kReferenceFormat7},
      {"format 8, 3 extra bytes", 8, 3, 8, kReferenceFormat8Extra3},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const auto items = items_for(c.format, c.extra, 3);
    const auto length = static_cast<uint16_t>((c.format == 7 ? 36 : 38) + c.extra);
    const auto records = make_records(300, length, c.seed);
    const auto reference = from_hex(c.reference);

    EXPECT_EQ(encode_all(items, records.data(), 300, length, 50000), reference);

    auto decoder = LayeredChunkDecoder::create(items);
    ASSERT_TRUE(decoder.has_value());
    auto count = decoder->begin_chunk(reference);
    ASSERT_TRUE(count.has_value());
    ASSERT_EQ(*count, 300u);
    std::vector<uint8_t> decoded(records.size());
    ASSERT_TRUE(decoder->decode(decoded.data(), 300).has_value());
    EXPECT_EQ(decoded, records);
    EXPECT_EQ(decoder->chunk_size_in_bytes(), reference.size());
  }
}

TEST(LayeredReference, GpsTimeRatioJustBelowOneHalfRoundsToZero) {
  // Time differences 131941397 then 65970698 (as 64-bit patterns): their float ratio is just
  // below 0.5, which the reference rounds to multiplier 0 (LASzip adds 0.5 in double).
  const uint64_t t0 = 0x40a7e82200000000u;
  const uint64_t times[] = {t0, t0 + 131941397u, t0 + 131941397u + 65970698u,
                            t0 + 131941397u + 65970698u + 10u, t0 + 2u * 131941397u};
  std::vector<uint8_t> records(5 * 30, 0);
  for (uint32_t i = 0; i < 5; ++i) {
    uint8_t* r = records.data() + i * 30;
    detail::store_u32(r + 0, i);
    detail::store_u32(r + 4, i);
    detail::store_u32(r + 8, i);
    r[14] = 0x11;
    detail::store_u64(r + 22, times[i]);
  }
  // The reference compressor's chunk for these five points.
  constexpr const char* kReference[] = {
      "000000000000000000000000000011000000000000000000000022e8a740050000000d000000070000000000",
      "00000000000000000000000000000000000000000000140000002007cfd12c759bb9b5e100000003ef2f1100",
      "00002b68dcf5d413b83f0870f92e9d23a19e0d000000"};
  const auto items = items_for(6, 0, 3);
  const auto reference = from_hex(kReference);
  EXPECT_EQ(encode_all(items, records.data(), 5, 30, 50000), reference);

  auto decoder = LayeredChunkDecoder::create(items);
  ASSERT_TRUE(decoder.has_value());
  ASSERT_TRUE(decoder->begin_chunk(reference).has_value());
  std::vector<uint8_t> decoded(records.size());
  ASSERT_TRUE(decoder->decode(decoded.data(), 5).has_value());
  EXPECT_EQ(decoded, records);
}

// Times that differ only in their sign bit (0.0 and -0.0) or are NaN: LASzip compares times as
// doubles, so it never codes a flip between 0.0 and -0.0 and decodes the previous time instead.
// Found by the round-trip fuzz target; each must come back bit for bit.
TEST(LayeredRoundTrip, GpsTimesComeBackBitForBit) {
  const uint64_t kZero = 0;
  const uint64_t kMinusZero = uint64_t{1} << 63;
  const uint64_t kNaN = 0x7FF8000000000001u;
  const struct {
    const char* name;
    std::vector<uint64_t> times;
  } kCases[] = {
      {"sign flips", {kZero, kMinusZero, kZero, kZero, kMinusZero, kMinusZero, kZero}},
      {"sign flips from the first point", {kMinusZero, kZero, kMinusZero}},
      {"NaN runs", {kNaN, kNaN, kZero, kNaN, kNaN, kMinusZero, kNaN}},
  };
  const auto items = items_for(6, 0, 3);
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const size_t n = c.times.size();
    std::vector<uint8_t> records(n * 30, 0);
    for (size_t i = 0; i < n; ++i) {
      uint8_t* r = records.data() + i * 30;
      detail::store_u32(r, static_cast<uint32_t>(i));
      r[14] = 0x11;
      detail::store_u64(r + 22, c.times[i]);
    }
    const auto chunk = encode_all(items, records.data(), n, 30, 50000);
    auto decoder = LayeredChunkDecoder::create(items);
    ASSERT_TRUE(decoder.has_value());
    ASSERT_TRUE(decoder->begin_chunk(chunk).has_value());
    std::vector<uint8_t> decoded(records.size());
    ASSERT_TRUE(decoder->decode(decoded.data(), n).has_value());
    EXPECT_EQ(decoded, records);
  }
}

TEST(LayeredRoundTrip, ConstantFieldsDropTheirLayers) {
  // Ten identical points but for X: only the channel_returns_XY and Z layers have bytes.
  const auto items = items_for(6, 0, 3);
  std::vector<uint8_t> records(10 * 30, 0);
  for (size_t i = 0; i < 10; ++i)
    detail::store_u32(records.data() + i * 30, static_cast<uint32_t>(i * 10));
  const auto chunk = encode_all(items, records.data(), 10, 30, 50000);
  ASSERT_GE(chunk.size(), 30u + 4u + 9u * 4u);
  EXPECT_EQ(detail::load_u32(chunk.data() + 30), 10u);
  EXPECT_NE(detail::load_u32(chunk.data() + 34), 0u);
  EXPECT_NE(detail::load_u32(chunk.data() + 38), 0u);
  for (size_t layer = 2; layer < 9; ++layer)
    EXPECT_EQ(detail::load_u32(chunk.data() + 34 + 4 * layer), 0u);
}

// ---------------------------------------------------------------------------------------------------
// Refused descriptions and corrupt chunks

TEST(LayeredItems, RefusesWhatItCannotHonour) {
  const struct {
    const char* name;
    std::vector<LazItem> items;
  } kCases[] = {
      {"empty", {}},
      {"no POINT14 first", {{11, 6, 3}, {10, 30, 3}}},
      {"version 2", {{10, 30, 2}}},
      {"version 5", {{10, 30, 3}, {11, 6, 5}}},
      {"point-wise item", {{10, 30, 3}, {8, 6, 2}}},
      {"wrong POINT14 size", {{10, 20, 3}}},
      {"wrong RGB14 size", {{10, 30, 3}, {11, 8, 3}}},
      {"two colours", {{10, 30, 3}, {11, 6, 3}, {12, 8, 3}}},
      {"empty BYTE14", {{10, 30, 3}, {14, 0, 3}}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    auto decoder = LayeredChunkDecoder::create(c.items);
    ASSERT_FALSE(decoder.has_value());
    EXPECT_EQ(decoder.error().kind, Error::Kind::Laszip);
    EXPECT_FALSE(LayeredChunkEncoder::create(c.items).has_value());
  }
}

TEST(LayeredCorrupt, BadChunksFailCleanly) {
  const auto items = items_for(8, 3, 3);
  const uint16_t length = 41;
  const auto records = make_records(500, length, 99);
  const auto good = encode_all(items, records.data(), 500, length, 50000);
  const size_t sizes_at = length + 4u;

  const struct {
    const char* name;
    size_t keep;      // bytes of the chunk kept
    size_t patch_at;  // where to overwrite 4 bytes (0: nowhere)
    uint32_t patch_value;
  } kCases[] = {
      {"empty", 0, 0, 0},
      {"raw record only", length, 0, 0},
      {"no layer sizes", sizes_at + 8, 0, 0},
      {"truncated layers", good.size() / 2, 0, 0},
      {"last byte missing", good.size() - 1, 0, 0},
      {"zero point count", good.size(), length, 0},
      {"layer size beyond the chunk", good.size(), sizes_at, 0xFFFFFFF0u},
      {"point count larger than the data", good.size(), length, 4000000000u},
      {"empty XY layer", good.size(), sizes_at, 0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> chunk(good.begin(), good.begin() + static_cast<ptrdiff_t>(c.keep));
    if (c.patch_at != 0) detail::store_u32(chunk.data() + c.patch_at, c.patch_value);
    auto decoder = LayeredChunkDecoder::create(items);
    ASSERT_TRUE(decoder.has_value());
    auto count = decoder->begin_chunk(chunk);
    if (!count) {
      EXPECT_EQ(count.error().kind, Error::Kind::Io);
      continue;
    }
    // Decoding what the chunk claims, in slices, must end in an error, not in a crash or hang.
    bool failed = false;
    std::vector<uint8_t> out(static_cast<size_t>(1000) * length);
    while (decoder->remaining() != 0 && !failed) {
      const size_t n = std::min<size_t>(decoder->remaining(), 1000);
      failed = !decoder->decode(out.data(), n).has_value();
    }
    EXPECT_TRUE(failed);
  }
}

TEST(LayeredCorrupt, FlippedBytesNeverCrashOrHang) {
  // Whatever the bytes say, decoding ends: with an error, or with points (garbage is allowed).
  const auto items = items_for(8, 2, 3);
  const uint16_t length = 40;
  const auto records = make_records(400, length, 5);
  const auto good = encode_all(items, records.data(), 400, length, 50000);
  std::mt19937 engine(1234);
  std::vector<uint8_t> out(static_cast<size_t>(400) * length);
  for (int trial = 0; trial < 300; ++trial) {
    SCOPED_TRACE(trial);
    std::vector<uint8_t> chunk = good;
    const int flips = 1 + trial % 8;
    for (int f = 0; f < flips; ++f) {
      // Aim at the count, the sizes and the first layer bytes as often as at the rest.
      const size_t at =
          trial % 2 == 0 ? engine() % std::min<size_t>(chunk.size(), 160) : engine() % chunk.size();
      chunk[at] = static_cast<uint8_t>(engine());
    }
    auto decoder = LayeredChunkDecoder::create(items);
    ASSERT_TRUE(decoder.has_value());
    auto count = decoder->begin_chunk(chunk);
    if (!count) continue;
    // Never more than the records we have room for; a larger count is what the caller bounds.
    size_t budget = 400;
    while (decoder->remaining() != 0 && budget != 0) {
      const size_t n = std::min<size_t>({decoder->remaining(), budget, 100});
      if (!decoder->decode(out.data(), n)) break;
      budget -= n;
    }
  }
}

}  // namespace
}  // namespace laz
