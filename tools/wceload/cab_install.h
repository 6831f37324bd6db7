// One run of the CAB installer stand-in: the setup library called around the file copy, the
// application recorded for its removal, the CAB deleted as the options say.
#pragma once

#include "wceload_options.h"

namespace stowkit::cab {

// Returns one of the StandInExit codes. The CAB is deleted (unless the options keep it)
// once it has been opened as a CAB, whatever the installation's outcome.
int InstallCab(const WceloadOptions& options);

}  // namespace stowkit::cab
