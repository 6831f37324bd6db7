// A restart of the device: every other device process ends, run/ is emptied, and the boot
// counter goes up by one. The process that asked keeps running, so it can report.
#pragma once

#include "coredll/windows.h"

namespace coredll {

BOOL RestartDevice();

}  // namespace coredll
