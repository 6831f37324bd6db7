// The uninstaller side of an install: the removal of the version installed before and the
// package's clean-up entries, and the uninstaller pair that a later removal runs. Both are
// best-effort parts of an install: the driver ignores their results.
#pragma once

#include "coredll/windows.h"

namespace stowkit {

class Engine;

// Runs the previous version's uninstaller (minor removal) and then the AppCleanup entries.
HRESULT RemovePreviousVersion(Engine& engine);
// Writes "<AppName> Remove.exe" and "<AppName> Remove.pkg" and records them in the product
// state.
HRESULT GenerateUninstaller(Engine& engine);

}  // namespace stowkit
