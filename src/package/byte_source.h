// Where the reader, extraction and the writer's blob copies find a package's bytes: an open
// platform file, or bytes in memory (for tests and the fuzzer, which need no file per input).
// A source has a position, as a file does: a seek, then reads from there on.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "coredll/windows.h"

namespace stowkit {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual HRESULT Size(uint64_t& size) = 0;
  // A position past the end is allowed; reads from there find the end at once.
  virtual HRESULT SeekTo(uint64_t offset) = 0;
  // Up to `size` bytes from the position, which moves past them; `got` is less only at the end.
  virtual HRESULT ReadSome(void* buffer, DWORD size, DWORD& got) = 0;
  // The platform file behind the bytes, or INVALID_HANDLE_VALUE when they are in memory.
  virtual HANDLE File() const = 0;
};

// Reads exactly `size` bytes; a source that ends first fails with kEndOfFile.
HRESULT ReadExact(ByteSource& source, void* buffer, DWORD size);

// An open file, neither owned nor closed; its position is the handle's own, shared with
// everything else that reads through the handle. Every call fails as the platform fails.
class FileSource final : public ByteSource {
 public:
  explicit FileSource(HANDLE file) : file_(file) {}
  HRESULT Size(uint64_t& size) override;
  HRESULT SeekTo(uint64_t offset) override;
  HRESULT ReadSome(void* buffer, DWORD size, DWORD& got) override;
  HANDLE File() const override { return file_; }

 private:
  HANDLE file_;
};

// An open file that nobody can change while it is open (it was opened without write
// sharing), for reading blobs: a read smaller than the window is served from a window read
// ahead, so that the blobs of many small files, which lie one after the other, cost one
// read of the file together; the pieces of a large blob (64 KiB and more) are read straight
// into the caller's buffer. Its position is its own; each read starts from a seek.
class ReadAheadSource final : public ByteSource {
 public:
  explicit ReadAheadSource(HANDLE file) : file_(file) {}
  HRESULT Size(uint64_t& size) override;
  HRESULT SeekTo(uint64_t offset) override;
  HRESULT ReadSome(void* buffer, DWORD size, DWORD& got) override;
  HANDLE File() const override { return file_; }

 private:
  static constexpr DWORD kWindow = 256 * 1024;
  static constexpr DWORD kDirect = 64 * 1024;
  // Reads `size` bytes at `position_` straight into `buffer`, fewer only at the end.
  HRESULT ReadAt(void* buffer, DWORD size, DWORD& got);

  HANDLE file_;
  uint64_t position_ = 0;
  uint64_t window_start_ = 0;
  DWORD window_size_ = 0;
  std::unique_ptr<uint8_t[]> window_;
};

// A copy of the bytes it was given; no call fails.
class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(std::span<const uint8_t> bytes) : bytes_(bytes.begin(), bytes.end()) {}
  HRESULT Size(uint64_t& size) override;
  HRESULT SeekTo(uint64_t offset) override;
  HRESULT ReadSome(void* buffer, DWORD size, DWORD& got) override;
  HANDLE File() const override { return INVALID_HANDLE_VALUE; }

 private:
  std::vector<uint8_t> bytes_;
  uint64_t position_ = 0;
};

}  // namespace stowkit
