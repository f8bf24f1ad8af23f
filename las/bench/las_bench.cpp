// Speed of reading and writing uncompressed LAS point records: whole-tile reads decoded into
// point records, and writes of kept records (copied) and of decoded points (encoded).
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

#include "las/reader.hpp"
#include "las/writer.hpp"

namespace {

constexpr size_t kPoints = 2'000'000;

std::string temp_path(const std::string& name) {
  return (std::filesystem::temp_directory_path() /
          ("las_bench_" + std::to_string(::getpid()) + "_" + name))
      .string();
}

las::Header bench_header(uint8_t format) {
  las::Header header;
  header.version = las::Version{1, 2};
  header.point_format.id = format;
  header.transforms = las::Transforms{{0.01, 500000.0}, {0.01, 4900000.0}, {0.01, 0.0}};
  return header;
}

// Random points on the header's grid, as a PointBuffer of raw records.
las::PointBuffer make_points(uint8_t format) {
  const las::Header header = bench_header(format);
  las::PointBuffer points(header.point_format, header.transforms);
  std::mt19937 rng(42);
  las::RecordBytes& raw = points.raw_mut();
  raw.resize(kPoints * points.record_length());
  for (auto& b : raw) b = static_cast<uint8_t>(rng());
  // Keep return numbers within what a LAS 1.2 header can count (1 to 5).
  for (size_t i = 0; i < kPoints; ++i) {
    uint8_t& flags = raw[i * points.record_length() + 14];
    flags = static_cast<uint8_t>((flags & 0xC0) | (1 + i % 5) | (5 << 3));
  }
  return points;
}

// A tile file written once per format and kept for the process.
const std::string& tile_file(uint8_t format) {
  static std::string paths[11];
  std::string& path = paths[format];
  if (path.empty()) {
    path = temp_path("tile_" + std::to_string(format) + ".las");
    auto writer = las::Writer::create(path, bench_header(format));
    if (!writer || !writer->write_buffer(make_points(format)) || !writer->close()) std::abort();
  }
  return path;
}

void read_decoded(benchmark::State& state, uint8_t format) {
  const std::string& path = tile_file(format);
  for (auto _ : state) {
    auto reader = las::Reader::open(path);
    auto points = reader->read_all();
    for (size_t i = 0; i < points->size(); ++i) {
      las::Point p = points->decode(i);
      benchmark::DoNotOptimize(p);
    }
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kPoints));
}

void read_xyz(benchmark::State& state, uint8_t format) {
  const std::string& path = tile_file(format);
  for (auto _ : state) {
    auto reader = las::Reader::open(path);
    auto points = reader->read_all();
    double sum = 0;
    for (size_t i = 0; i < points->size(); ++i) {
      const las::Xyz p = points->xyz(i);
      sum += p.x + p.y + p.z;
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kPoints));
}

void write_records(benchmark::State& state, uint8_t format) {
  const las::PointBuffer points = make_points(format);
  const std::string path = temp_path("out_" + std::to_string(format) + ".las");
  for (auto _ : state) {
    auto writer = las::Writer::create(path, bench_header(format));
    if (!writer->write_buffer(points)) std::abort();
    if (!writer->close()) std::abort();
  }
  std::filesystem::remove(path);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kPoints));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * points.raw().size()));
}

// Points from a tile on another grid: every point is decoded, re-quantised and encoded.
void write_points(benchmark::State& state, uint8_t format) {
  las::PointBuffer points = make_points(format);
  las::Header header = bench_header(format);
  header.transforms.x.scale = 0.001;
  const std::string path = temp_path("outp_" + std::to_string(format) + ".las");
  for (auto _ : state) {
    auto writer = las::Writer::create(path, header);
    for (size_t i = 0; i < points.size(); ++i) {
      las::Point p = points.decode(i);
      p.x = 500000.0 + static_cast<double>(i % 100000) * 0.01;
      if (!writer->write(p)) std::abort();
    }
    if (!writer->close()) std::abort();
  }
  std::filesystem::remove(path);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kPoints));
}

void BM_Read_Format1(benchmark::State& state) { read_decoded(state, 1); }
void BM_Read_Format3(benchmark::State& state) { read_decoded(state, 3); }
void BM_ReadXyz_Format1(benchmark::State& state) { read_xyz(state, 1); }
void BM_ReadXyz_Format3(benchmark::State& state) { read_xyz(state, 3); }
void BM_Write_Format1(benchmark::State& state) { write_records(state, 1); }
void BM_Write_Format3(benchmark::State& state) { write_records(state, 3); }
void BM_WritePoints_Format1(benchmark::State& state) { write_points(state, 1); }
void BM_WritePoints_Format3(benchmark::State& state) { write_points(state, 3); }

BENCHMARK(BM_Read_Format1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Read_Format3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadXyz_Format1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadXyz_Format3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Write_Format1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Write_Format3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WritePoints_Format1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WritePoints_Format3)->Unit(benchmark::kMillisecond);

// Removes the tile files when the program ends.
struct Cleanup {
  ~Cleanup() {
    for (uint8_t format : {1, 3})
      std::filesystem::remove(temp_path("tile_" + std::to_string(format) + ".las"));
  }
} cleanup;

}  // namespace
