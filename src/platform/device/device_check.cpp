// CheckDevice: what is wrong with a device folder, found as the platform itself would meet it.
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "coredll/device.h"
#include "coredll/windows.h"
#include "platform/device/profile.h"
#include "platform/processes/process_table.h"
#include "platform/registry/registry_store.h"
#include "text/utf.h"

namespace coredll {
namespace {

namespace fs = std::filesystem;

void CheckLayout(const std::string& folder, std::vector<std::string>& findings) {
  for (const char* name : {"fs", "run"}) {
    struct stat st;
    std::string path = folder + "/" + name;
    if (lstat(path.c_str(), &st) != 0) {
      findings.push_back(std::string(name) + "/: missing");
    } else if (!S_ISDIR(st.st_mode) && !S_ISLNK(st.st_mode)) {
      findings.push_back(std::string(name) + ": not a folder");
    }
  }
  std::ifstream profile_file(folder + "/device.toml", std::ios::binary);
  std::ostringstream profile_text;
  profile_text << profile_file.rdbuf();
  DeviceProfile profile;
  std::string why;
  if (!profile_file) {
    findings.push_back("device.toml: missing or unreadable");
  } else if (!ParseProfile(profile_text.str(), profile, why)) {
    findings.push_back("device.toml: " + why);
  }
  std::ifstream boots(folder + "/boots");
  unsigned long count = 0;
  std::string rest;
  if (!boots) {
    findings.push_back("boots: missing");
  } else if (!(boots >> count) || (boots >> rest)) {
    findings.push_back("boots: not a count of restarts");
  }
  // A link anywhere would let device programs reach outside the device folder.
  std::error_code error;
  fs::recursive_directory_iterator walk(folder, fs::directory_options::none, error);
  for (; !error && walk != fs::recursive_directory_iterator(); walk.increment(error)) {
    if (!walk->is_symlink(error)) continue;
    std::string relative = walk->path().lexically_relative(folder).string();
    findings.push_back(relative + ": a link (to " + fs::read_symlink(walk->path(), error).string() +
                       ") in the device folder");
  }
}

// A process record is left behind, stale, when its process is gone without recording an exit
// code: killed, or its host process ended outside the platform. Records of processes that
// ended normally keep their exit codes for whoever waits on them until the next restart.
void CheckRunFolder(const std::string& folder, std::vector<std::string>& findings) {
  std::error_code error;
  fs::directory_iterator walk(folder + "/run/proc", error);
  for (; !error && walk != fs::directory_iterator(); walk.increment(error)) {
    std::string name = walk->path().filename().string();
    if (walk->path().extension() != ".toml") continue;
    unsigned long pid = 0;
    unsigned long long start = 0;
    char dash = 0;
    std::istringstream parts(name.substr(0, name.size() - 5));
    if (!(parts >> pid >> dash >> start) || dash != '-' || parts.peek() != EOF) {
      findings.push_back("run/proc/" + name + ": not a process record");
      continue;
    }
    ProcessIdentity id{DWORD(pid), start};
    if (IsRunning(id) || RecordedExitCode(id)) continue;
    std::optional<ProcessRecord> record = ReadProcessRecord(walk->path().string());
    if (!record) {
      findings.push_back("run/proc/" + name + ": not a process record");
      continue;
    }
    findings.push_back("run/proc/" + name + ": process " + std::to_string(pid) + " (" +
                       stowkit::Utf16ToUtf8(record->program) +
                       ") is gone without an exit code (a stale record)");
  }
}

}  // namespace

std::vector<std::string> CheckDevice(const std::string& folder) {
  std::vector<std::string> findings;
  struct stat st;
  if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    findings.push_back(folder + ": no such folder");
    return findings;
  }
  CheckLayout(folder, findings);
  CheckRunFolder(folder, findings);
  for (std::string& finding : CheckDeviceRegistry(folder)) findings.push_back(std::move(finding));
  return findings;
}

std::vector<std::string> CheckDeviceRegistry(const std::string& folder) {
  std::vector<std::string> findings;
  std::string registry = folder + "/registry.db";
  struct stat st;
  if (lstat(registry.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
    // Opened first as any device program opens it, which brings an older file up to date.
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, nullptr, 0, 0, &key) == ERROR_SUCCESS) {
      RegCloseKey(key);
    }
    RegistryStore::CheckFile(registry, findings);
  }
  return findings;
}

}  // namespace coredll
