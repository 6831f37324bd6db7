// stowkit-device plan: what installing a package would change on the device, found by
// installing it for real on a throwaway copy of the device and comparing snapshots of the
// copy taken before and after. The device itself is not touched.
#pragma once

#include <string>
#include <vector>

namespace stowkit::device_tool {

// Installs `host_package` silently (/is, then `extra`) on a copy of the device in
// `device_folder` and prints the installer's exit code and the changes, as text or JSON.
// Exit status 0 when the install ended with 0 or 1000; 1 when it would fail (the changes
// of the failed run are still printed) or the plan could not be made.
int PlanInstall(const std::string& device_folder, const std::string& host_package,
                const std::vector<std::string>& extra, bool json);

}  // namespace stowkit::device_tool
