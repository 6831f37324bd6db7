// Line readers over a mapped single-byte text file (the gathered registry texts): forwards
// for an install, backwards for a removal. Each byte becomes one wide character of the same
// value; lines end at 0x0A and are trimmed of white space (0x09..0x0D, 0x20) at both ends.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "coredll/windows.h"

namespace stowkit {

class MappedFile {
 public:
  MappedFile() = default;
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;
  ~MappedFile() { Close(); }

  // 0 when mapped, 1 for an empty file (nothing mapped, no lines), else the failure code.
  HRESULT Open(std::u16string_view path);
  // Unmaps and closes; harmless when closed.
  void Close();

 protected:
  const uint8_t* view_ = nullptr;
  uint64_t size_ = 0;

 private:
  HANDLE file_ = INVALID_HANDLE_VALUE;
  HANDLE mapping_ = nullptr;
};

class MappedLineReader : public MappedFile {
 public:
  HRESULT Open(std::u16string_view path);
  // The next line; false at the end. The last line needs no final 0x0A, and a final 0x0A
  // gives no extra empty line.
  bool NextLine(std::u16string& text);

 private:
  uint64_t position_ = 0;  // the next unread byte
};

class ReverseMappedLineReader : public MappedFile {
 public:
  HRESULT Open(std::u16string_view path);
  // The line before the last one returned, from the last line of the file to the first;
  // false when the first has been returned. A file ending in 0x0A yields "" first.
  bool PreviousLine(std::u16string& text);

 private:
  uint64_t remaining_ = 0;  // the unread line ends before this byte
  bool done_ = true;
};

}  // namespace stowkit
