// stowkit-device reg export / reg import: the device registry as registry text
// (regedit_text.h). Each returns the exit status; a failure is one line on standard error.
#pragma once

#include <string>

namespace stowkit::device_tool {

// Writes the whole registry, or the key `key` ("HKEY_LOCAL_MACHINE\SOFTWARE\App", short root
// names allowed) and everything below it, to standard output. Keys come in the registry's
// order, each followed by its values and then its subkeys; in a whole export a root shows
// only when it holds values of its own.
int ExportRegistry(const std::string& key);

// Applies a registry file. The whole file is read and checked first: a bad line is reported
// with its number and nothing of the file is applied. The changes are flushed to disk at
// the end.
int ImportRegistry(const std::string& host_file);

}  // namespace stowkit::device_tool
