// POSIX implementation of the buffered input and output files.
#include "file_io.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace las::io {
namespace {

// open() would stop at the first NUL and open some other file: refuse such a name instead.
constexpr const char* kNulInPath = "file name contained an unexpected NUL byte";

}  // namespace

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

FileDescriptor::~FileDescriptor() {
  if (fd_ >= 0) ::close(fd_);
}

// ---------------------------------------------------------------- input

InputFile::InputFile(FileDescriptor fd, uint64_t size)
    : fd_(std::move(fd)), size_(size), buffer_(std::make_unique<uint8_t[]>(kBufferSize)) {}

Result<InputFile> InputFile::open(const std::string& path) {
  if (path.find('\0') != std::string::npos) return tl::unexpected(Error::text(kNulInPath));
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return fail_os(errno);
  FileDescriptor owner(fd);
  struct stat st {};
  if (::fstat(fd, &st) != 0) return fail_os(errno);
  return InputFile(std::move(owner), static_cast<uint64_t>(st.st_size));
}

Result<size_t> InputFile::raw_read(uint8_t* dst, size_t n) {
  for (;;) {
    const ssize_t got = ::read(fd_.get(), dst, n);
    if (got >= 0) return static_cast<size_t>(got);
    if (errno != EINTR) return fail_os(errno);
  }
}

Result<size_t> InputFile::read_up_to(uint8_t* dst, size_t n) {
  if (n == 0) return size_t{0};
  size_t done = 0;
  while (done < n) {
    if (buffer_pos_ < buffer_end_) {
      const size_t take = std::min(n - done, buffer_end_ - buffer_pos_);
      std::memcpy(dst + done, buffer_.get() + buffer_pos_, take);
      buffer_pos_ += take;
      done += take;
      continue;
    }
    // Large requests skip the buffer, as copying them through it would gain nothing.
    if (n - done >= kBufferSize) {
      buffer_pos_ = buffer_end_ = 0;
      auto got = raw_read(dst + done, n - done);
      if (!got) return tl::unexpected(std::move(got.error()));
      if (*got == 0) break;
      done += *got;
      continue;
    }
    auto got = raw_read(buffer_.get(), kBufferSize);
    if (!got) return tl::unexpected(std::move(got.error()));
    if (*got == 0) break;
    buffer_pos_ = 0;
    buffer_end_ = *got;
  }
  position_ += done;
  return done;
}

Result<void> InputFile::read_exact(uint8_t* dst, size_t n) {
  auto got = read_up_to(dst, n);
  if (!got) return tl::unexpected(std::move(got.error()));
  if (*got < n) return fail(kShortRead);
  return {};
}

Result<void> InputFile::seek(uint64_t position) {
  // Stay inside the buffer when the target is already there.
  const uint64_t buffer_start = position_ - buffer_pos_;
  if (position >= buffer_start && position <= buffer_start + buffer_end_) {
    buffer_pos_ = static_cast<size_t>(position - buffer_start);
    position_ = position;
    return {};
  }
  if (::lseek(fd_.get(), static_cast<off_t>(position), SEEK_SET) < 0) return fail_os(errno);
  buffer_pos_ = buffer_end_ = 0;
  position_ = position;
  return {};
}

Result<void> InputFile::read_at(uint64_t offset, uint8_t* dst, size_t n) const {
  size_t done = 0;
  while (done < n) {
    const ssize_t got = ::pread(fd_.get(), dst + done, n - done, static_cast<off_t>(offset + done));
    if (got < 0) {
      if (errno == EINTR) continue;
      return fail_os(errno);
    }
    if (got == 0) return fail(kShortRead);
    done += static_cast<size_t>(got);
  }
  return {};
}

// ---------------------------------------------------------------- output

OutputFile::OutputFile(FileDescriptor fd)
    : fd_(std::move(fd)), buffer_(std::make_unique<uint8_t[]>(kBufferSize)) {}

Result<OutputFile> OutputFile::create(const std::string& path) {
  if (path.find('\0') != std::string::npos) return tl::unexpected(Error::text(kNulInPath));
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return fail_os(errno);
  return OutputFile(FileDescriptor(fd));
}

Result<void> OutputFile::raw_write(const uint8_t* data, size_t n) {
  while (n > 0) {
    const ssize_t put = ::write(fd_.get(), data, n);
    if (put < 0) {
      if (errno == EINTR) continue;
      return fail_os(errno);
    }
    if (put == 0) return fail("failed to write whole buffer");
    data += put;
    n -= static_cast<size_t>(put);
  }
  return {};
}

Result<void> OutputFile::flush() {
  if (buffer_len_ == 0) return {};
  const size_t len = std::exchange(buffer_len_, 0);
  return raw_write(buffer_.get(), len);
}

Result<void> OutputFile::write(const uint8_t* data, size_t n) {
  if (n == 0) return {};
  if (buffer_len_ + n > kBufferSize) {
    if (auto flushed = flush(); !flushed) return flushed;
  }
  if (n >= kBufferSize) {
    if (auto put = raw_write(data, n); !put) return put;
  } else {
    std::memcpy(buffer_.get() + buffer_len_, data, n);
    buffer_len_ += n;
  }
  position_ += n;
  return {};
}

Result<void> OutputFile::seek(uint64_t position) {
  if (auto flushed = flush(); !flushed) return flushed;
  if (::lseek(fd_.get(), static_cast<off_t>(position), SEEK_SET) < 0) return fail_os(errno);
  position_ = position;
  return {};
}

Result<void> OutputFile::write_at(uint64_t offset, std::span<const uint8_t> bytes) {
  if (auto flushed = flush(); !flushed) return flushed;
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t put = ::pwrite(fd_.get(), bytes.data() + done, bytes.size() - done,
                                 static_cast<off_t>(offset + done));
    if (put < 0) {
      if (errno == EINTR) continue;
      return fail_os(errno);
    }
    if (put == 0) return fail("failed to write whole buffer");
    done += static_cast<size_t>(put);
  }
  return {};
}

}  // namespace las::io
