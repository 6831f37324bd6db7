#include "package/byte_source.h"

#include <algorithm>
#include <cstring>

#include "package/file_io.h"

namespace stowkit {

HRESULT ReadExact(ByteSource& source, void* buffer, DWORD size) {
  DWORD got = 0;
  HRESULT hr = source.ReadSome(buffer, size, got);
  if (SUCCEEDED(hr) && got != size) hr = kEndOfFile;
  return hr;
}

HRESULT FileSource::Size(uint64_t& size) { return FileSize(file_, size); }

HRESULT FileSource::SeekTo(uint64_t offset) { return stowkit::SeekTo(file_, offset); }

HRESULT FileSource::ReadSome(void* buffer, DWORD size, DWORD& got) {
  return stowkit::ReadSome(file_, buffer, size, got);
}

HRESULT ReadAheadSource::Size(uint64_t& size) { return FileSize(file_, size); }

HRESULT ReadAheadSource::SeekTo(uint64_t offset) {
  position_ = offset;
  return S_OK;
}

HRESULT ReadAheadSource::ReadAt(void* buffer, DWORD size, DWORD& got) {
  got = 0;
  HRESULT hr = stowkit::SeekTo(file_, position_);
  return SUCCEEDED(hr) ? stowkit::ReadSome(file_, buffer, size, got) : hr;
}

HRESULT ReadAheadSource::ReadSome(void* buffer, DWORD size, DWORD& got) {
  got = 0;
  auto* out = static_cast<uint8_t*>(buffer);
  while (got < size) {
    uint64_t window_end = window_start_ + window_size_;
    if (position_ >= window_start_ && position_ < window_end) {
      DWORD n = DWORD(std::min<uint64_t>(size - got, window_end - position_));
      std::memcpy(out + got, window_.get() + (position_ - window_start_), n);
      got += n;
      position_ += n;
      continue;
    }
    DWORD n = 0;
    if (size - got >= kDirect) {
      HRESULT hr = ReadAt(out + got, size - got, n);
      got += n;
      position_ += n;
      return hr;
    }
    if (!window_) window_ = std::make_unique<uint8_t[]>(kWindow);
    HRESULT hr = ReadAt(window_.get(), kWindow, n);
    window_size_ = SUCCEEDED(hr) ? n : 0;
    window_start_ = position_;
    if (FAILED(hr)) return hr;
    if (n == 0) return S_OK;  // the end
  }
  return S_OK;
}

HRESULT MemorySource::Size(uint64_t& size) {
  size = bytes_.size();
  return S_OK;
}

HRESULT MemorySource::SeekTo(uint64_t offset) {
  position_ = offset;
  return S_OK;
}

HRESULT MemorySource::ReadSome(void* buffer, DWORD size, DWORD& got) {
  uint64_t left = position_ < bytes_.size() ? bytes_.size() - position_ : 0;
  got = DWORD(std::min<uint64_t>(size, left));
  if (got != 0) std::memcpy(buffer, bytes_.data() + position_, got);
  position_ += got;
  return S_OK;
}

}  // namespace stowkit
