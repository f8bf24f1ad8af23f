// Speed of the LASzip codec on one core: the entropy coder alone, and whole-file compression
// and decompression of real point-wise files (points per second; the layered formats are in
// bench_layered.cpp). Real files come from the shared test
// data; without it the benchmarks fall back to generated survey-like points.
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "arithmetic_decoder.hpp"
#include "arithmetic_encoder.hpp"
#include "byte_streams.hpp"
#include "integer_compressor.hpp"
#include "laz/compressor.hpp"
#include "laz/decompressor.hpp"
#include "laz/vlr.hpp"
#include "laz_test_files.hpp"
#include "point_generator.hpp"

namespace {

using laz::test::LasFile;

// Raw records, their description, and their compressed form.
struct Subject {
  laz::LazVlr vlr;
  uint16_t record_length = 0;
  size_t points = 0;
  std::vector<uint8_t> raw;
  std::vector<uint8_t> compressed;  // point data only: chunk table offset, chunks, table
};

std::vector<uint8_t> compress(const laz::LazVlr& vlr, const std::vector<uint8_t>& raw, size_t rl) {
  laz::test::VectorOutput out;
  auto c = laz::Compressor::create(vlr, out);
  if (!c) return {};
  for (size_t i = 0; i < raw.size() / rl; ++i) {
    if (!c->compress(raw.data() + i * rl)) return {};
  }
  if (!c->finish()) return {};
  return std::move(out.bytes());
}

// A real file decoded once, or generated points of the format when the file is absent.
Subject load_subject(const char* file, uint8_t format, size_t generated_points) {
  Subject s;
  const auto f =
      file != nullptr ? laz::test::load_las(laz::test::testdata_dir() / file) : std::nullopt;
  if (f && f->compressed() && f->laszip_vlr) {
    auto vlr = laz::LazVlr::parse(*f->laszip_vlr);
    laz::test::SpanInput input(f->bytes);
    if (vlr) {
      auto d = laz::Decompressor::open(*vlr, input, f->point_data_offset, f->point_count,
                                       f->record_length);
      s.raw.resize(static_cast<size_t>(f->point_count) * f->record_length);
      if (d && d->decompress(s.raw.data(), static_cast<size_t>(f->point_count))) {
        s.record_length = f->record_length;
        s.points = static_cast<size_t>(f->point_count);
        s.vlr = laz::LazVlr::for_point_format(
            format,
            static_cast<uint16_t>(s.record_length - laz::test::kStandardRecordLength[format]));
        s.compressed = compress(s.vlr, s.raw, s.record_length);
        return s;
      }
    }
  }
  s.record_length = laz::test::kStandardRecordLength[format];
  s.points = generated_points;
  s.raw = laz::test::generate_points({format, 0, generated_points, 11, true});
  s.vlr = laz::LazVlr::for_point_format(format, 0);
  s.compressed = compress(s.vlr, s.raw, s.record_length);
  return s;
}

void run_decompress(benchmark::State& state, const Subject& s) {
  std::vector<uint8_t> out(s.raw.size());
  for (auto _ : state) {
    laz::test::SpanInput input(s.compressed);
    auto d = laz::Decompressor::open(s.vlr, input, 0, s.points, s.record_length);
    if (!d || !d->decompress(out.data(), s.points)) {
      state.SkipWithError("decompression failed");
      return;
    }
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  if (out != s.raw) state.SkipWithError("decoded points differ");
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * s.points));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.raw.size()));
}

void run_compress(benchmark::State& state, const Subject& s) {
  for (auto _ : state) {
    laz::test::VectorOutput out;
    out.bytes().reserve(s.compressed.size());
    auto c = laz::Compressor::create(s.vlr, out);
    if (!c) {
      state.SkipWithError("compressor set-up failed");
      return;
    }
    for (size_t i = 0; i < s.points; ++i) {
      if (!c->compress(s.raw.data() + i * s.record_length)) {
        state.SkipWithError("compression failed");
        return;
      }
    }
    if (!c->finish()) state.SkipWithError("compression failed");
    benchmark::DoNotOptimize(out.bytes().data());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * s.points));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.raw.size()));
}

const Subject& format1() {
  static const Subject s = load_subject("Megaplot.laz", 1, 500000);
  return s;
}
const Subject& format3() {
  static const Subject s = load_subject("autzen_trim.laz", 3, 500000);
  return s;
}

void BM_Decompress_Format1(benchmark::State& state) { run_decompress(state, format1()); }
void BM_Decompress_Format3(benchmark::State& state) { run_decompress(state, format3()); }
void BM_Compress_Format1(benchmark::State& state) { run_compress(state, format1()); }
void BM_Compress_Format3(benchmark::State& state) { run_compress(state, format3()); }
BENCHMARK(BM_Decompress_Format1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Decompress_Format3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Compress_Format1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Compress_Format3)->Unit(benchmark::kMillisecond);

std::vector<int32_t> random_walk(size_t n) {
  std::mt19937 rng(42);
  std::vector<int32_t> v(n);
  int32_t x = 0;
  for (auto& e : v) {
    x += static_cast<int32_t>(rng() % 2001) - 1000;
    e = x;
  }
  return v;
}

void BM_IntegerCompressor_Decompress(benchmark::State& state) {
  const auto values = random_walk(100000);
  std::vector<uint8_t> bytes;
  {
    laz::detail::VectorSink sink{&bytes};
    laz::detail::ArithmeticEncoder<laz::detail::VectorSink> enc(sink);
    laz::detail::IntegerCompressor ic(32, 1);
    int32_t prev = 0;
    for (int32_t v : values) {
      ic.compress(enc, prev, v);
      prev = v;
    }
    enc.done();
  }
  for (auto _ : state) {
    laz::detail::MemorySource src{bytes.data(), bytes.data() + bytes.size()};
    laz::detail::ArithmeticDecoder<laz::detail::MemorySource> dec(src);
    dec.init();
    laz::detail::IntegerCompressor ic(32, 1);
    int32_t prev = 0;
    for (size_t i = 0; i < values.size(); ++i) prev = ic.decompress(dec, prev);
    benchmark::DoNotOptimize(prev);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * values.size()));
}
BENCHMARK(BM_IntegerCompressor_Decompress);

}  // namespace

BENCHMARK_MAIN();
