// Fuzzes the LAS reader from arbitrary file bytes: header block, VLRs, paddings, EVLRs, the
// LASzip record, then every point (uncompressed or compressed). The bytes go to an in-memory
// file (memfd) that the reader opens by its /proc path, so nothing touches the disk.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "las/log.hpp"
#include "las/reader.hpp"

namespace {

// Points read per call and in all: enough to cross chunk boundaries of small chunks, small
// enough to keep the target fast (the decompressor target goes deeper into the point data).
constexpr size_t kBatch = 64;
constexpr size_t kMaxPoints = 200;

struct MemFile {
  int fd = -1;
  std::string path;
  MemFile() {
    fd = memfd_create("fuzz-las", 0);
    if (fd < 0) std::abort();
    path = "/proc/self/fd/" + std::to_string(fd);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static MemFile file;
  static const bool quiet = [] {
    las::log::set_max_level(las::log::Level::Off);
    return true;
  }();
  (void)quiet;
  if (ftruncate(file.fd, 0) != 0) std::abort();
  size_t done = 0;
  while (done < size) {
    const ssize_t n = pwrite(file.fd, data + done, size - done, static_cast<off_t>(done));
    if (n <= 0) std::abort();
    done += static_cast<size_t>(n);
  }
  auto reader = las::Reader::open(file.path);
  if (!reader) {
    if (reader.error().message().empty()) std::abort();
    return 0;
  }
  las::PointBuffer points(reader->header().point_format, reader->header().transforms);
  // Reads until the end or the first error; the header's count is what the reader trusts.
  for (size_t total = 0; total < kMaxPoints;) {
    points.clear();
    auto n = reader->read_points(points, kBatch);
    if (!n) {
      if (n.error().message().empty()) std::abort();
      break;
    }
    if (*n == 0) break;
    if (points.size() != *n) std::abort();
    total += *n;
    for (size_t i = 0; i < points.size(); ++i) (void)points.decode(i);
  }
  return 0;
}
