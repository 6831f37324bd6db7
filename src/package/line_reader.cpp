#include "package/line_reader.h"

#include "package/file_io.h"
#include "services/hresult.h"
#include "text/trim.h"

namespace stowkit {
namespace {

void AssignTrimmed(const uint8_t* bytes, size_t length, std::u16string& text) {
  size_t first = 0, last = length;
  while (first < last && IsBlank(bytes[first])) ++first;
  while (last > first && IsBlank(bytes[last - 1])) --last;
  text.assign(bytes + first, bytes + last);  // one wide character per byte
}

}  // namespace

HRESULT MappedFile::Open(std::u16string_view path) {
  Close();
  std::u16string name(path);
  file_ = CreateFileForMappingW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file_ == INVALID_HANDLE_VALUE) return LastErrorResult();
  uint64_t size = 0;
  HRESULT hr = FileSize(file_, size);
  if (SUCCEEDED(hr) && size == 0) return S_FALSE;
  if (SUCCEEDED(hr)) {
    mapping_ = CreateFileMappingW(file_, nullptr, PAGE_READONLY, 0, 0, nullptr);
    void* view = mapping_ ? MapViewOfFile(mapping_, FILE_MAP_READ, 0, 0, 0) : nullptr;
    view_ = static_cast<const uint8_t*>(view);
    if (!view_) hr = LastErrorResult();
  }
  if (FAILED(hr)) {
    Close();
    return hr;
  }
  size_ = size;
  return S_OK;
}

void MappedFile::Close() {
  if (view_) UnmapViewOfFile(view_);
  if (mapping_) CloseHandle(mapping_);
  if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
  view_ = nullptr;
  mapping_ = nullptr;
  file_ = INVALID_HANDLE_VALUE;
  size_ = 0;
}

HRESULT MappedLineReader::Open(std::u16string_view path) {
  position_ = 0;
  return MappedFile::Open(path);
}

bool MappedLineReader::NextLine(std::u16string& text) {
  text.clear();
  if (position_ >= size_) return false;
  uint64_t end = position_;
  while (end < size_ && view_[end] != 0x0A) ++end;
  AssignTrimmed(view_ + position_, size_t(end - position_), text);
  position_ = end + 1;
  return true;
}

HRESULT ReverseMappedLineReader::Open(std::u16string_view path) {
  HRESULT hr = MappedFile::Open(path);
  remaining_ = size_;
  done_ = size_ == 0;
  return hr;
}

bool ReverseMappedLineReader::PreviousLine(std::u16string& text) {
  text.clear();
  if (done_) return false;
  uint64_t start = remaining_;
  while (start > 0 && view_[start - 1] != 0x0A) --start;
  AssignTrimmed(view_ + start, size_t(remaining_ - start), text);
  // Next time: the line before the 0x0A that precedes this one. After the file's first line
  // nothing is left.
  if (start == 0) {
    done_ = true;
  } else {
    remaining_ = start - 1;
  }
  return true;
}

}  // namespace stowkit
