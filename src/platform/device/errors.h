// Last-error is set only at the API edge; the inside reports failures as platform error
// numbers, and errno becomes one in exactly one place.
#pragma once

#include "coredll/windows.h"

namespace coredll {

// The platform error number for a host errno value.
DWORD ErrorFromErrno(int err);

// Sets the thread's last-error value and returns FALSE, for `return Fail(code);`.
BOOL Fail(DWORD code);

// TRUE for ERROR_SUCCESS, else Fail(error): `return ResultOf(Helper(...));`.
BOOL ResultOf(DWORD error);

// Fail(ErrorFromErrno(errno)).
BOOL FailErrno();

}  // namespace coredll
