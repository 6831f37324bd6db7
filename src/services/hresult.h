// The one mapping from a platform error number to a status code: 0x80070000 | (e & 0xFFFF)
// for a positive number, the number itself otherwise.
#pragma once

#include "coredll/windows.h"

namespace stowkit {

// Codes the package and engine layers raise themselves.
inline constexpr HRESULT kInvalidData = HRESULT(0x8007000D);
inline constexpr HRESULT kOutOfMemory = HRESULT(0x8007000E);
inline constexpr HRESULT kCrcMismatch = HRESULT(0x80070017);
inline constexpr HRESULT kGenericFailure = HRESULT(0x80004005);
inline constexpr HRESULT kInvalidArgument = HRESULT(0x80070057);

constexpr HRESULT HResultFromError(DWORD error) {
  return LONG(error) <= 0 ? HRESULT(error) : HRESULT((error & 0xFFFF) | 0x80070000u);
}

// The status code of the calling thread's last-error value. A failed call that left no
// error number still fails: it reads as the generic failure.
inline HRESULT LastErrorResult() {
  DWORD error = GetLastError();
  return error == ERROR_SUCCESS ? kGenericFailure : HResultFromError(error);
}

}  // namespace stowkit
