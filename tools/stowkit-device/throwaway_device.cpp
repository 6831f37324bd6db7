#include "throwaway_device.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "coredll/device.h"
#include "process_commands.h"

namespace stowkit::device_tool {
namespace {

namespace fs = std::filesystem;

constexpr char kPrefix[] = "stowkit-device-";
constexpr char kLockName[] = "owner.lock";

// Removes the throwaway devices in `temp` whose tool was killed: their lock is free.
void RemoveOrphans(const fs::path& temp) {
  std::error_code failure;
  for (const fs::directory_entry& item : fs::directory_iterator(temp, failure)) {
    std::string name = item.path().filename().string();
    if (name.rfind(kPrefix, 0) != 0 || !item.is_directory(failure)) continue;
    int lock = open((item.path() / kLockName).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (lock < 0) continue;
    if (flock(lock, LOCK_EX | LOCK_NB) == 0) fs::remove_all(item.path(), failure);
    close(lock);
  }
}

}  // namespace

ThrowawayDevice::~ThrowawayDevice() {
  if (parent_.empty()) return;
  if (!previous_.empty()) coredll::SelectDevice(previous_);
  std::error_code ignored;
  fs::remove_all(parent_, ignored);
  on_stop_.reset();
  if (lock_ >= 0) close(lock_);
}

bool ThrowawayDevice::MakeParent(std::string& error) {
  std::error_code failure;
  fs::path temp = fs::temp_directory_path(failure);
  if (!failure) RemoveOrphans(temp);
  std::string pattern = (temp / (std::string(kPrefix) + "XXXXXX")).string();
  if (failure || !mkdtemp(pattern.data())) {
    error = "cannot create a temporary folder: " + (failure ? failure.message() : std::strerror(errno));
    return false;
  }
  parent_ = pattern;
  folder_ = parent_ + "/device";
  on_stop_ = std::make_unique<tool::RemovedOnStop>(parent_);
  // Locked before it takes its name, so that no other tool sees it free.
  std::string unnamed = parent_ + "/.owner";
  lock_ = open(unnamed.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (lock_ < 0 || flock(lock_, LOCK_EX) != 0 || rename(unnamed.c_str(), (parent_ + "/" + kLockName).c_str()) != 0) {
    error = "cannot lock the temporary folder " + parent_ + ": " + std::strerror(errno);
    return false;
  }
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

bool ThrowawayDevice::Fresh(coredll::Platform platform, std::string& error) {
  if (!MakeParent(error) || !coredll::InitDevice(folder_, platform, &error)) {
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
