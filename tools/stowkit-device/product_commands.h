// stowkit-device products: what the installer has recorded of every product on the device.
#pragma once

namespace stowkit::device_tool {

// Lists each product of the product state store with its status, version, features,
// languages, platform id and uninstaller paths, as text or as a JSON array; a value that
// is missing (or of the wrong type) shows as "-" or null. Returns the exit status.
int ListProducts(bool json);

}  // namespace stowkit::device_tool
