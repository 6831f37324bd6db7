// The uninstaller side of an install: the removal of the version installed before and the
// package's clean-up entries, and the uninstaller pair that a later removal runs. The first
// is a best-effort part of an install (the driver ignores its result); an install whose
// uninstaller could not be written fails, as nothing could take it off again.
#pragma once

#include "coredll/windows.h"

namespace stowkit {

class Engine;

// Runs the previous version's uninstaller (minor removal) and then the AppCleanup entries.
HRESULT RemovePreviousVersion(Engine& engine);
// Writes "<AppName> Remove.exe" and "<AppName> Remove.pkg" and records them in the product
// state: both whole, or neither (and no record) with the failure reported.
HRESULT GenerateUninstaller(Engine& engine);

}  // namespace stowkit
