// Faults on purpose, so tests can produce every error path (see coredll/device.h for the
// rule syntax). Rules come from $STOWKIT_FAULTS, so device processes started by a test
// inherit them, or from coredll::SetFaults in the process itself.
#pragma once

#include <string_view>

#include "coredll/windows.h"

namespace coredll {

enum class FaultOp { kOpen, kRead, kWrite, kSeek, kSize, kDelete, kMkdir, kLoad, kDescribe };

struct Fault {
  DWORD error = ERROR_SUCCESS;  // the error to fail with, when not a short read
  bool short_read = false;
  explicit operator bool() const { return error != ERROR_SUCCESS || short_read; }
};

// Counts the call and returns the fault that applies to it, if any; a "kill" rule that
// applies ends the process here.
Fault CheckFault(FaultOp op, std::u16string_view device_path);

// With $STOWKIT_FAULT_TALLY naming a host file when the rules were first loaded: appends one
// line of this process's counts of each operation ("open=12 read=40 ... describe=3"), then
// the writes that went to another file than the one before ("switches=1,4,9"), so a tool can
// choose which call of a later run to fail. Called as a device program exits.
void WriteFaultTally();

}  // namespace coredll
