// Speed of the LASzip codec: the entropy coder alone, and whole-file compression and
// decompression (points per second on one core).
#include <cstdint>
#include <random>
#include <vector>

#include <benchmark/benchmark.h>

#include "arithmetic_decoder.hpp"
#include "arithmetic_encoder.hpp"
#include "byte_streams.hpp"
#include "integer_compressor.hpp"

namespace {

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
