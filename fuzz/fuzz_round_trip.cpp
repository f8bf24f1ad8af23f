// Round trips arbitrary point records of an arbitrary format and must get them back unchanged,
// or have the writer refuse them with a message. Two roads, chosen by the input:
//  - the codec alone: LASzip compression with a fuzzer-chosen compressor and chunk size, then
//    decompression; the raw records must come back byte for byte;
//  - a whole file: the LAS writer (LAS or LAZ, raw copy or point by point), then the reader;
//    raw copies must come back byte for byte, decoded points field for field.
//
// Input layout: u8 format (mod 11), u8 extra bytes (mod 24), u8 flags, u8 chunk size choice,
// then the records (as many whole records as fit, at most kMaxPoints).
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "las/header.hpp"
#include "las/log.hpp"
#include "las/point.hpp"
#include "las/reader.hpp"
#include "las/writer.hpp"
#include "laz/compressor.hpp"
#include "laz/decompressor.hpp"
#include "laz/io.hpp"
#include "laz/vlr.hpp"
#include "memory_io.hpp"

namespace {

constexpr size_t kMaxPoints = 3000;

[[noreturn]] void fail(const char* what, const std::string& detail = {}) {
  std::fprintf(stderr, "round trip failed: %s %s\n", what, detail.c_str());
  std::abort();
}

using quarrix_fuzz::SpanInput;
using quarrix_fuzz::VectorOutput;

void codec_round_trip(uint8_t format, uint16_t extra, uint8_t flags, uint8_t chunk_choice,
                      std::span<const uint8_t> records, size_t count) {
  laz::LazVlr vlr = laz::LazVlr::for_point_format(format, extra);
  if ((flags & 0x10) != 0 && format <= 5) vlr.compressor = 1;  // point-wise, not chunked
  if (vlr.compressor != 1)
    vlr.chunk_size = chunk_choice == 0 ? laz::kDefaultChunkSize : chunk_choice;
  const uint32_t record_length = vlr.items_record_length();
  if (record_length * count != records.size()) std::abort();

  VectorOutput output;
  auto compressor = laz::Compressor::create(vlr, output);
  if (!compressor) fail("compressor:", compressor.error().message);  // our own description
  for (size_t i = 0; i < count; ++i) {
    if (auto done = compressor->compress(records.data() + i * record_length); !done) {
      fail("compress:", done.error().message);
    }
  }
  if (auto done = compressor->finish(); !done) fail("finish:", done.error().message);

  SpanInput input(output.bytes());
  auto decompressor =
      laz::Decompressor::open(vlr, input, 0, count, static_cast<uint16_t>(record_length));
  if (!decompressor) fail("decompressor:", decompressor.error().message);
  std::vector<uint8_t> back(records.size());
  if (count > 0) {
    if (auto done = decompressor->decompress(back.data(), count); !done)
      fail("decompress:", done.error().message);
  }
  for (size_t i = 0; i < back.size(); ++i) {
    if (back[i] != records[i]) fail("codec record differs at byte", std::to_string(i));
  }
}

struct TempPath {
  std::string las = "/tmp/quarrix-fuzz-rt-" + std::to_string(getpid()) + ".las";
  std::string laz = "/tmp/quarrix-fuzz-rt-" + std::to_string(getpid()) + ".laz";
  ~TempPath() {
    std::remove(las.c_str());
    std::remove(laz.c_str());
  }
};

void file_round_trip(uint8_t format, uint16_t extra, uint8_t flags,
                     std::span<const uint8_t> records, size_t count) {
  static TempPath paths;
  const bool compressed = (flags & 0x01) != 0;
  const bool raw_copy = (flags & 0x02) != 0;

  las::Header header;
  header.point_format = las::PointFormat{format, compressed, extra};
  header.version = format >= 6 || (flags & 0x04) != 0 ? las::Version{1, 4}
                   : format >= 4                      ? las::Version{1, 3}
                                                      : las::Version{1, 2};
  const double scales[4] = {0.01, 0.001, 1.0, 0.25};
  header.transforms.x = las::Transform{scales[(flags >> 5) & 3], 1000.0};
  header.transforms.y = las::Transform{scales[(flags >> 5) & 3], -2000.5};
  header.transforms.z = las::Transform{0.01, 0.0};

  las::PointBuffer input(header.point_format, header.transforms);
  input.raw_mut().assign(records.begin(), records.end());

  const std::string& path = compressed ? paths.laz : paths.las;
  {
    auto writer = las::Writer::create(path, header);
    if (!writer) {
      if (writer.error().message().empty()) std::abort();
      return;
    }
    if (raw_copy) {
      auto written = writer->write_buffer(input);
      if (!written) {
        if (written.error().message().empty()) std::abort();
        return;
      }
    } else {
      for (size_t i = 0; i < count; ++i) {
        auto written = writer->write(input.decode(i));
        if (!written) {
          if (written.error().message().empty()) std::abort();
          return;
        }
      }
    }
    // Finalising may refuse too (return numbers the version cannot count, for example).
    if (auto closed = writer->close(); !closed) {
      if (closed.error().message().empty()) std::abort();
      return;
    }
  }

  auto reader = las::Reader::open(path);
  if (!reader) fail("reading back:", reader.error().message());
  if (reader->header().number_of_points != count) fail("point count");
  auto back = reader->read_all();
  if (!back) fail("reading the points back:", back.error().message());
  if (back->size() != count) fail("points read back");
  const size_t record_length = input.record_length();
  for (size_t i = 0; i < count; ++i) {
    // A stored class 12 is read as class 1 with the overlap flag; in formats 6-10 that is what
    // gets written back, so such a record comes back equal as a point, not byte for byte.
    const uint8_t* wrote_raw = records.data() + i * record_length;
    const bool normalised = format >= 6 && wrote_raw[16] == las::kOverlapClass;
    if (raw_copy && !normalised &&
        !std::equal(wrote_raw, wrote_raw + record_length, back->record(i))) {
      fail("raw record differs:", std::to_string(i));
    }
    {
      const std::string wrote = las::point_text(input.decode(i));
      const std::string read = las::point_text(back->decode(i));
      if (wrote != read) {
        fail("point differs:", "\nwrote " + wrote + "\nread  " + read);
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool quiet = [] {
    las::log::set_max_level(las::log::Level::Off);
    return true;
  }();
  (void)quiet;
  if (size < 4) return 0;
  const auto format = static_cast<uint8_t>(data[0] % 11);
  const auto extra = static_cast<uint16_t>(data[1] % 24);
  const uint8_t flags = data[2];
  const uint8_t chunk_choice = data[3];
  const size_t record_length = las::kStandardRecordLength[format] + size_t{extra};
  const size_t count = std::min((size - 4) / record_length, kMaxPoints);
  const std::span<const uint8_t> records(data + 4, count * record_length);
  if ((flags & 0x80) != 0) {
    codec_round_trip(format, extra, flags, chunk_choice, records, count);
  } else {
    file_round_trip(format, extra, flags, records, count);
  }
  return 0;
}
