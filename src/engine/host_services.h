// The HostServices table that every hook of a package's custom library receives: plain
// functions, without an object argument, through which the library reads and narrows the
// run and uses the engine's services.
#pragma once

#include "stowkit/custom_library.h"

namespace stowkit {

// Fills all 52 slots. The functions reach the run through the process-wide engine
// (GetEngine()) and its open package, so they may be called only while both exist, as they
// do for as long as a custom library is loaded.
//
// Every slot that returns text copies it into the caller's buffer as wcsncpy does: at most
// `length` characters, the rest of the buffer zero-filled, and no terminating zero when the
// text is as long as the buffer or longer. A null text argument counts as empty text (for
// the registry tree copy, as the null subkey it refuses); a null buffer or out pointer is
// left alone. An entry index past the catalog, or a property id above 255, names nothing.
void FillHostServices(HostServices& table);

}  // namespace stowkit
