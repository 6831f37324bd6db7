// Which device folder this process works on, its profile, and whether it runs in host mode.
// Resolved once on first use; SelectDevice and SetHostMode reset it.
#pragma once

#include <string>

#include "platform/device/profile.h"

namespace coredll {

// The host folder of the device's file system ("<device>/fs"), or "" when this process has
// no usable device (calls on device paths then fail with ERROR_PATH_NOT_FOUND).
std::string FileSystemRoot();

// The host folder "<device>/run", or "" without a device.
std::string RunFolder();

// The host folder of the device itself, or "" without a device.
std::string DeviceRoot();

// Changes whenever SelectDevice or SetHostMode may have moved this process to another
// device, so that what is kept open on a device (its registry) is opened afresh.
unsigned DeviceGeneration();

// The profile of this process's device; the Pocket PC defaults in host mode or without one.
const DeviceProfile& Profile();

bool HostMode();

}  // namespace coredll
