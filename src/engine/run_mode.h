// The run modes, numbered as the command line, the log and the exit codes number them.
#pragma once

#include <cstdint>

namespace stowkit {

enum RunMode : int32_t {
  kModeFullInstall = 1,
  kModePatchInstall = 2,  // a full install of a package with the "Patch" flag
  kModeFullRemove = 3,
  kModeMinorRemove = 4,   // also the removal of the previous version by a new one
};

}  // namespace stowkit
