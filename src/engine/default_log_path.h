// Where a run logs when the command line named no log file.
#pragma once

#include <cstdint>
#include <string>

#include "engine/macro_table.h"
#include "package/package.h"

namespace stowkit {

// The application name is a file name (of the log, the uninstaller, the registry working
// file) and the name of the product's registry key. A separator would make a path of it that
// reaches other folders and keys than its own: a run refuses such a name and goes on
// without one.
bool IsUsableApplicationName(std::u16string_view name);

// Installs (any mode but 3 and 4): "Stowkit_log_<application>.txt" in the folder that the
// package's "LogDst" names after expansion with `macros`, or in "\" when the package has no
// "LogDst", it does not expand, or it expands to "". Removals:
// "\Unstowkit_log_<application>.txt". `application` is the run's application name (the
// package's "AppName", or empty when the run refused it).
std::u16string DefaultLogPath(const Package& package, std::u16string_view application,
                              int32_t mode, const MacroTable& macros);

}  // namespace stowkit
