// stowkit-device verify: what an install left on the device, compared with the device now.
#pragma once

#include <string>

namespace stowkit::device_tool {

// Reads the product record of `application` and the uninstall package it names, which holds
// every installed entry with its final paths, the registry texts and the macro definitions
// of the install. Checks each file and folder (there, the attributes its entry asks for;
// with `host_package`, the package it was installed from, also its size and CRC-32), each
// registry value (there, and its data unless its line keeps an older one) and each shortcut
// (there, with its target). One line per difference on standard output, or JSON.
// Returns 0 when nothing differs, 1 when something does, 2 when it cannot be verified.
int VerifyProduct(const std::string& application, const std::string& host_package, bool json);

}  // namespace stowkit::device_tool
