// stowkit-device log: a log the installer wrote on the device, as text for the terminal.
#pragma once

#include <string>

namespace stowkit::device_tool {

// `which` is a device path (it begins with '\'), an application name (its install log
// "\Stowkit_log_<name>.txt", or with `removal` its removal log "\Unstowkit_log_<name>.txt"),
// or empty: the log in "\" written last. The log's UTF-16LE text goes to standard output as
// UTF-8 with bare line feeds. Returns the exit status.
int ShowLog(const std::string& which, bool removal);

}  // namespace stowkit::device_tool
