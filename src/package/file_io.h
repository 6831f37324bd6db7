// Whole reads, writes and seeks on platform file handles, as status codes. A read that comes
// back short (a file cut short) is a failure, never a reason to try again.
#pragma once

#include <cstdint>

#include "coredll/windows.h"

namespace stowkit {

// The code of a read that found the end of the file before the bytes it needed.
inline constexpr HRESULT kEndOfFile = HRESULT(0x80070026);

HRESULT FileSize(HANDLE file, uint64_t& size);
HRESULT SeekTo(HANDLE file, uint64_t offset);
HRESULT CurrentPosition(HANDLE file, uint32_t& position);
// Reads exactly `size` bytes.
HRESULT ReadExact(HANDLE file, void* buffer, DWORD size);
// Reads up to `size` bytes; `got` may be less only at the end of the file.
HRESULT ReadSome(HANDLE file, void* buffer, DWORD size, DWORD& got);
HRESULT WriteAll(HANDLE file, const void* buffer, DWORD size);
// The same, telling how many bytes were written before a failure.
HRESULT WriteAll(HANDLE file, const void* buffer, DWORD size, DWORD& written);

}  // namespace stowkit
