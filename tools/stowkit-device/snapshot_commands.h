// stowkit-device snapshot / diff: the state of the device kept under a name, and what
// changed since.
#pragma once

#include <string>

namespace stowkit::device_tool {

// Takes a snapshot of the selected device (in `device_folder`) and keeps it as `name`,
// replacing one of that name.
int SnapshotDevice(const std::string& device_folder, const std::string& name);

// Prints what was added, removed and changed since snapshot `name`, as text or JSON. Exit
// status 0 whether or not anything changed.
int DiffDevice(const std::string& device_folder, const std::string& name, bool json);

}  // namespace stowkit::device_tool
