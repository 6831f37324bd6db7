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
