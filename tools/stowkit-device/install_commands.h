// Installing and removing applications from the host, as a user would on the device.
#pragma once

#include <string>
#include <vector>

namespace stowkit::device_tool {

// Pushes the host package to \Temp under its own file name and runs the installer on it
// with /i (/is when `silent`), then `extra` arguments; reports as `run` does.
int InstallPackage(const std::string& host_package, bool silent,
                   const std::vector<std::string>& extra);

// Runs the uninstaller that the product record of `application` names, with /x (/xs when
// `silent`) on its uninstall package; a clear error when none is recorded.
int RemoveApplication(const std::string& application, bool silent);

}  // namespace stowkit::device_tool
