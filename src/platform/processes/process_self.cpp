#include "platform/processes/process_self.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <mutex>
#include <optional>

#include "platform/device/device_state.h"
#include "platform/device/host_files.h"
#include "platform/files/share_locks.h"
#include "text/command_line.h"
#include "text/fold.h"
#include "text/utf.h"

namespace coredll {
namespace {

struct Self {
  std::mutex mutex;
  std::u16string command_line;
  bool device_process = false;
  ProcessRecord record;
  UniqueFd program_file;  // held open: a running program is in use
};

Self& State() {
  static Self* self = new Self;
  return *self;
}

}  // namespace

std::string HostProgramPath() {
  char buffer[4096];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  return n < 0 ? std::string() : std::string(buffer, size_t(n));
}

namespace {

std::vector<std::u16string> HostArguments() {
  std::ifstream in("/proc/self/cmdline", std::ios::binary);
  std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::u16string> arguments;
  size_t start = 0;
  for (size_t end; (end = all.find('\0', start)) != std::string::npos; start = end + 1) {
    arguments.push_back(stowkit::Utf8ToUtf16(all.substr(start, end - start)));
  }
  if (!arguments.empty()) arguments.erase(arguments.begin());  // the program itself
  return arguments;
}

// Reads and removes a variable meant for this process only, not for its children.
std::optional<std::string> TakeEnvironment(const char* name) {
  const char* value = std::getenv(name);
  if (!value) return std::nullopt;
  std::string copy = value;
  unsetenv(name);
  return copy;
}

void Register(Self& self, const std::string& host_program) {
  std::optional<ProcessIdentity> id = IdentityOf(DWORD(getpid()));
  if (!id) return;
  self.device_process = true;
  self.record.id = *id;
  self.record.parent = DWORD(getppid());
  self.record.program = PlatformPathOf(host_program);
  self.record.command_line = self.command_line;
  self.record.modules = {self.record.program};
  self.program_file = UniqueFd(open(host_program.c_str(), O_RDONLY | O_CLOEXEC));
  if (self.program_file.valid()) HoldAsModule(self.program_file.get());
  WriteProcessRecord(self.record);
}

// Runs when the platform is loaded, before the program's main: takes the command line its
// creator left, joins the device's process table, and tells the creator it is listed.
__attribute__((constructor)) void StartProcess() {
  Self& self = State();
  std::optional<std::string> given = TakeEnvironment("STOWKIT_CMDLINE");
  self.command_line = given ? stowkit::Utf8ToUtf16(*given) : stowkit::JoinArguments(HostArguments());
  std::optional<std::string> ready = TakeEnvironment("STOWKIT_READY_FD");
  std::string program = HostProgramPath();
  bool in_device = std::getenv("STOWKIT_DEVICE") && !program.empty() &&
                   PlatformPathOf(program).front() == u'\\';
  if (ready || in_device) Register(self, program);
  if (ready) {
    int fd = std::atoi(ready->c_str());
    [[maybe_unused]] ssize_t sent = write(fd, "+", 1);  // a failure reads as an early end
    close(fd);
  }
}

}  // namespace

const std::u16string& CommandLine() { return State().command_line; }

bool IsDeviceProcess() { return State().device_process; }

ProcessIdentity SelfIdentity() { return State().record.id; }

void AddSelfModule(const std::u16string& device_path) {
  Self& self = State();
  std::lock_guard lock(self.mutex);
  if (!self.device_process) return;
  self.record.modules.push_back(device_path);
  WriteProcessRecord(self.record);
}

void RemoveSelfModule(const std::u16string& device_path) {
  Self& self = State();
  std::lock_guard lock(self.mutex);
  if (!self.device_process) return;
  auto& modules = self.record.modules;
  auto it = std::find_if(modules.begin() + 1, modules.end(), [&](const std::u16string& m) {
    return stowkit::EqualsNoCase(m, device_path);
  });
  if (it != modules.end()) modules.erase(it);
  WriteProcessRecord(self.record);
}

void SetSelfWindows(std::vector<WindowRecord> windows) {
  Self& self = State();
  std::lock_guard lock(self.mutex);
  if (!self.device_process || self.record.windows == windows) return;
  self.record.windows = std::move(windows);
  WriteProcessRecord(self.record);
}

std::u16string PlatformPathOf(const std::string& host) {
  std::string root = HostMode() ? std::string() : FileSystemRoot();
  if (root.empty() || host.compare(0, root.size() + 1, root + "/") != 0) {
    return stowkit::Utf8ToUtf16(host);
  }
  std::string device = host.substr(root.size());
  std::replace(device.begin(), device.end(), '/', '\\');
  return stowkit::Utf8ToUtf16(device);
}

}  // namespace coredll
