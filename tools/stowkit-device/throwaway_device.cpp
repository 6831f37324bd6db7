#include "throwaway_device.h"

#include <stdlib.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "coredll/device.h"
#include "process_commands.h"

namespace stowkit::device_tool {

ThrowawayDevice::~ThrowawayDevice() {
  if (parent_.empty()) return;
  if (!previous_.empty()) coredll::SelectDevice(previous_);
  std::error_code ignored;
  std::filesystem::remove_all(parent_, ignored);
}

bool ThrowawayDevice::MakeParent(std::string& error) {
  std::error_code failure;
  std::string pattern = (std::filesystem::temp_directory_path(failure) / "stowkit-device-XXXXXX").string();
  if (failure || !mkdtemp(pattern.data())) {
    error = "cannot create a temporary folder: " + (failure ? failure.message() : std::strerror(errno));
    return false;
  }
  parent_ = pattern;
  folder_ = parent_ + "/device";
  return true;
}

void ThrowawayDevice::Select() {
  previous_ = coredll::DeviceFolder();
  coredll::SelectDevice(folder_);
}

bool ThrowawayDevice::CopyOf(const std::string& device, std::string& error) {
  if (!MakeParent(error) || !coredll::CopyDevice(device, folder_, &error)) return false;
  Select();
  return true;
}

bool ThrowawayDevice::Fresh(std::string& error) {
  if (!MakeParent(error) || !coredll::InitDevice(folder_, coredll::Platform::kPocketPC, &error)) {
    return false;
  }
  Select();
  if (PlacePrograms() != 0) {
    error = "cannot place the device programs on a fresh device";
    return false;
  }
  return true;
}

}  // namespace stowkit::device_tool
