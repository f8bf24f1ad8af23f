// Buffered file access for the reader and the writer: an 8192-byte read buffer in front of a
// read-only file, and an 8192-byte write buffer in front of a created file, both reporting
// failures as las::Error values ("... (os error N)", "failed to fill whole buffer").
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "las/error.hpp"

namespace las::io {

inline constexpr size_t kBufferSize = 8192;
inline constexpr const char* kShortRead = "failed to fill whole buffer";

// Owns one file descriptor; closes it on destruction.
class FileDescriptor {
 public:
  FileDescriptor() = default;
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  FileDescriptor& operator=(FileDescriptor&& other) noexcept;
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor();
  [[nodiscard]] int get() const { return fd_; }

 private:
  int fd_ = -1;
};

class InputFile {
 public:
  // Opens read-only; the size is taken once, at opening.
  [[nodiscard]] static Result<InputFile> open(const std::string& path);

  // Exactly n bytes or an error; the end of the file gives "failed to fill whole buffer".
  [[nodiscard]] Result<void> read_exact(uint8_t* dst, size_t n);
  // Up to n bytes, fewer only at the end of the file.
  [[nodiscard]] Result<size_t> read_up_to(uint8_t* dst, size_t n);
  [[nodiscard]] Result<void> seek(uint64_t position);
  [[nodiscard]] uint64_t position() const { return position_; }
  [[nodiscard]] uint64_t size() const { return size_; }
  // Positioned read that bypasses and keeps the buffer (for the codec's chunk reads).
  [[nodiscard]] Result<void> read_at(uint64_t offset, uint8_t* dst, size_t n) const;

 private:
  InputFile(FileDescriptor fd, uint64_t size);
  [[nodiscard]] Result<size_t> raw_read(uint8_t* dst, size_t n);

  FileDescriptor fd_;
  uint64_t size_ = 0;
  uint64_t position_ = 0;  // logical position of the next byte handed out
  std::unique_ptr<uint8_t[]> buffer_;
  size_t buffer_pos_ = 0;
  size_t buffer_end_ = 0;
};

class OutputFile {
 public:
  // Creates or truncates the file (mode 0666 before the umask).
  [[nodiscard]] static Result<OutputFile> create(const std::string& path);

  // Buffered; writes of at least a buffer's size go straight to the file after a flush.
  [[nodiscard]] Result<void> write(const uint8_t* data, size_t n);
  [[nodiscard]] Result<void> write(std::span<const uint8_t> bytes) {
    return write(bytes.data(), bytes.size());
  }
  [[nodiscard]] Result<void> flush();
  // Flushes, then moves the file position.
  [[nodiscard]] Result<void> seek(uint64_t position);
  [[nodiscard]] uint64_t position() const { return position_; }
  // Flushes, then writes at an absolute offset without moving the position.
  [[nodiscard]] Result<void> write_at(uint64_t offset, std::span<const uint8_t> bytes);

 private:
  explicit OutputFile(FileDescriptor fd);
  [[nodiscard]] Result<void> raw_write(const uint8_t* data, size_t n);

  FileDescriptor fd_;
  uint64_t position_ = 0;
  std::unique_ptr<uint8_t[]> buffer_;
  size_t buffer_len_ = 0;
};

}  // namespace las::io
