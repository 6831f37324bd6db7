#include "package/file_io.h"

#include "services/hresult.h"

namespace stowkit {

HRESULT FileSize(HANDLE file, uint64_t& size) {
  DWORD high = 0;
  DWORD low = GetFileSize(file, &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != ERROR_SUCCESS) return LastErrorResult();
  size = (uint64_t(high) << 32) | low;
  return S_OK;
}

HRESULT SeekTo(HANDLE file, uint64_t offset) {
  LONG high = LONG(offset >> 32);
  DWORD low = SetFilePointer(file, LONG(uint32_t(offset)), &high, FILE_BEGIN);
  if (low == INVALID_SET_FILE_POINTER && GetLastError() != ERROR_SUCCESS) return LastErrorResult();
  return S_OK;
}

HRESULT CurrentPosition(HANDLE file, uint32_t& position) {
  DWORD at = SetFilePointer(file, 0, nullptr, FILE_CURRENT);
  if (at == INVALID_SET_FILE_POINTER && GetLastError() != ERROR_SUCCESS) return LastErrorResult();
  position = at;
  return S_OK;
}

HRESULT ReadSome(HANDLE file, void* buffer, DWORD size, DWORD& got) {
  got = 0;
  return ReadFile(file, buffer, size, &got, nullptr) ? S_OK : LastErrorResult();
}

HRESULT ReadExact(HANDLE file, void* buffer, DWORD size) {
  DWORD got = 0;
  HRESULT hr = ReadSome(file, buffer, size, got);
  if (SUCCEEDED(hr) && got != size) hr = kEndOfFile;
  return hr;
}

HRESULT WriteAll(HANDLE file, const void* buffer, DWORD size) {
  DWORD written = 0;
  return WriteAll(file, buffer, size, written);
}

HRESULT WriteAll(HANDLE file, const void* buffer, DWORD size, DWORD& written) {
  written = 0;
  if (!WriteFile(file, buffer, size, &written, nullptr)) return LastErrorResult();
  return written == size ? S_OK : HResultFromError(ERROR_DISK_FULL);
}

}  // namespace stowkit
