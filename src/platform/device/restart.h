// A restart of the device: every other device process ends, run/ is emptied, and the boot
// counter goes up by one. The process that asked keeps running, so it can report. The
// error when run/ could not be emptied or the count not written.
#pragma once

#include "coredll/windows.h"

namespace coredll {

DWORD RestartDevice();

}  // namespace coredll
