#include "platform/device/device_state.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>
#include <vector>

#include "platform/device/errors.h"
#include "platform/device/host_files.h"
#include "text/utf.h"

namespace coredll {
namespace {

constexpr char kProfileName[] = "device.toml";

struct DeviceState {
  std::mutex mutex;
  bool resolved = false;
  bool host_mode = false;
  unsigned generation = 0;
  std::string folder;  // "" when no usable device
  DeviceProfile profile = DefaultProfile(Platform::kPocketPC);
};

DeviceState& State() {
  static DeviceState* state = new DeviceState;
  return *state;
}

std::string DefaultDeviceFolder() {
  const char* data = std::getenv("XDG_DATA_HOME");
  if (data && *data) return std::string(data) + "/stowkit/device";
  const char* home = std::getenv("HOME");
  return std::string(home && *home ? home : ".") + "/.local/share/stowkit/device";
}

bool ReadProfile(const std::string& folder, DeviceProfile& profile, std::string& error) {
  std::ifstream in(folder + "/" + kProfileName, std::ios::binary);
  if (!in) {
    error = "cannot read " + folder + "/" + kProfileName;
    return false;
  }
  std::ostringstream text;
  text << in.rdbuf();
  return ParseProfile(text.str(), profile, error);
}

// The default device is made on first use; a folder named by STOWKIT_DEVICE must be a device.
void Resolve(DeviceState& s) {
  s.resolved = true;
  std::string folder = DeviceFolder();
  std::string error;
  bool is_device = IsDevice(folder);
  if (!is_device && !std::getenv("STOWKIT_DEVICE")) {
    InitDevice(folder, Platform::kPocketPC, &error);
    is_device = IsDevice(folder);
  }
  if (is_device && ReadProfile(folder, s.profile, error)) s.folder = folder;
}

DeviceState& Resolved() {
  DeviceState& s = State();
  std::lock_guard lock(s.mutex);
  if (!s.resolved && !s.host_mode) Resolve(s);
  return s;
}

bool MakeFolders(const std::string& fs, const DeviceProfile& profile, std::string& error) {
  std::vector<std::u16string> folders = {u"\\Windows", u"\\Windows\\AppMgr", u"\\Temp"};
  for (const auto& [id, path] : profile.special_folders) folders.push_back(path);
  folders.push_back(profile.temp_path);
  for (const std::u16string& device_path : folders) {
    std::string host = fs + stowkit::Utf16ToUtf8(device_path);
    std::replace(host.begin() + fs.size(), host.end(), '\\', '/');
    if (!MakeHostFolders(host, fs.size() - 3)) {
      error = "cannot create " + host + ": " + std::strerror(errno);
      return false;
    }
  }
  return true;
}

}  // namespace

std::string FileSystemRoot() {
  DeviceState& s = Resolved();
  return s.folder.empty() ? std::string() : s.folder + "/fs";
}

std::string RunFolder() {
  DeviceState& s = Resolved();
  return s.folder.empty() ? std::string() : s.folder + "/run";
}

std::string DeviceRoot() { return Resolved().folder; }

unsigned DeviceGeneration() {
  DeviceState& s = State();
  std::lock_guard lock(s.mutex);
  return s.generation;
}

const DeviceProfile& Profile() { return Resolved().profile; }

bool HostMode() { return State().host_mode; }

std::string DeviceFolder() {
  const char* chosen = std::getenv("STOWKIT_DEVICE");
  std::string folder = chosen && *chosen ? std::string(chosen) : DefaultDeviceFolder();
  // Absolute, because module paths (absolute host paths) are turned into device paths by
  // taking this folder off their front, and programs started later may run elsewhere.
  std::error_code error;
  std::filesystem::path absolute = std::filesystem::absolute(folder, error);
  if (error) return folder;
  std::string normal = absolute.lexically_normal().string();
  while (normal.size() > 1 && normal.back() == '/') normal.pop_back();
  return normal;
}

// A link in the device's own layout would let the device's programs write outside it.
bool HasLinkInLayout(const std::string& folder) {
  for (const char* name : {"fs", "run", "snapshots", "boots", kProfileName, "registry.db",
                           "registry.db-wal", "registry.db-shm"}) {
    struct stat st;
    if (lstat((folder + "/" + name).c_str(), &st) == 0 && S_ISLNK(st.st_mode)) return true;
  }
  return false;
}

bool IsDevice(const std::string& folder) {
  struct stat st;
  return stat((folder + "/" + kProfileName).c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
         stat((folder + "/fs").c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
         !HasLinkInLayout(folder);
}

void SelectDevice(const std::string& folder) {
  setenv("STOWKIT_DEVICE", folder.c_str(), 1);
  DeviceState& s = State();
  std::lock_guard lock(s.mutex);
  s.resolved = false;
  ++s.generation;
  s.folder.clear();
  s.profile = DefaultProfile(Platform::kPocketPC);
}

bool InitDevice(const std::string& folder, Platform platform, std::string* error) {
  std::string why;
  DeviceProfile profile = DefaultProfile(platform);
  if (IsDevice(folder)) {
    DeviceProfile existing;
    if (!ReadProfile(folder, existing, why)) {
      *error = folder + ": bad device profile: " + why;
      return false;
    }
    if (existing.platform_type != profile.platform_type) {
      *error = folder + " is already a " + existing.platform_type + " device";
      return false;
    }
    profile = existing;
  } else if (!MakeHostFolders(folder + "/fs", folder.size()) ||
             !WriteHostFile(folder + "/" + kProfileName, ProfileToToml(profile))) {
    *error = "cannot create device " + folder + ": " + std::strerror(errno);
    return false;
  }
  if (!MakeFolders(folder + "/fs", profile, why) ||
      !MakeHostFolders(folder + "/run", folder.size())) {
    *error = why.empty() ? "cannot create " + folder + "/run" : why;
    return false;
  }
  if (access((folder + "/boots").c_str(), F_OK) != 0 && !WriteHostFile(folder + "/boots", "0\n")) {
    *error = "cannot create " + folder + "/boots: " + std::strerror(errno);
    return false;
  }
  return true;
}

void SetHostMode(bool on) {
  DeviceState& s = State();
  std::lock_guard lock(s.mutex);
  s.host_mode = on;
  ++s.generation;
}

}  // namespace coredll
