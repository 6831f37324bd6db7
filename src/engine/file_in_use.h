// What to do about a file that a running program holds, when a file step cannot write or
// delete it. The package's custom library has the first word; a library that the installer
// itself has loaded is released; otherwise the user is asked, or, in a silent run, the
// program that holds the file is closed.
#pragma once

#include <cstdint>
#include <string_view>

#include "coredll/windows.h"
#include "stowkit/custom_library.h"

namespace stowkit {

class Engine;

// One of PKG_FILE_IN_USE_RETRY, _RETRY_HANDLED, _SKIP, _ABORT; a hook's choice outside
// them is passed on unchanged and the file steps retry on it.
using FileInUseAnswer = int32_t;

// The results that mean another program holds the file: sharing violation, lock violation,
// access denied.
bool IsInUseResult(HRESULT hr);

// Decides about `path` for `operation` (PKG_FILE_OPERATION_OVERWRITE or _DELETE):
//  - the hook "PkgCustomFileInUse" answering skip or abort decides; any other answer it
//    gives becomes the manner of handling, unless the run is silent (always automatic);
//  - a library of the installer's own process is released once per reference, then retry
//    (handled), without asking;
//  - asking: a message box naming the file and the holder when known; Retry gives retry,
//    Ignore (delete only) skip, anything else abort;
//  - automatic: every running copy of the holder is closed; retry (handled) when that
//    worked, abort when it did not.
FileInUseAnswer FileInUse(Engine& engine, std::u16string_view path, uint32_t operation);

}  // namespace stowkit
