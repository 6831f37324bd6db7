// stowkit-device products: what the installer has recorded of every product on the device.
#pragma once

#include <string>

#include "coredll/windows.h"

namespace stowkit::device_tool {

// Lists each product of the product state store with its status, version, features,
// languages, platform id and uninstaller paths, as text or as a JSON array; a value that
// is missing (or of the wrong type) shows as "-" or null. A registry that cannot be read
// fails the command with the reason; it is never taken for one without products. Returns
// the exit status.
int ListProducts(bool json);

// A key of the store that holds nothing but the setup extension's CEUpgradeMode or CERollBack
// marks records no product and is not listed.

// Deletes the record of `application` (named in any case) when its uninstaller is gone:
// either of its paths not recorded, or no file there. Asks on a terminal unless `yes`;
// without a terminal `yes` is needed. Returns the exit status.
int ForgetProduct(const std::string& application, bool yes);

// "cannot read the device registry (<device>/registry.db): " and the registry's error text.
std::string RegistryFailure(LONG result);

// After a reader of the product state store failed: true when it failed for want of the
// value (none recorded, or one of another type); false with why the device registry
// cannot be read in `error` otherwise.
bool NothingRecorded(std::string& error);

}  // namespace stowkit::device_tool
