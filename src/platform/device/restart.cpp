#include "platform/device/restart.h"

#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <vector>

#include "platform/device/device_state.h"
#include "platform/device/errors.h"
#include "platform/device/host_files.h"
#include "platform/processes/process_table.h"

namespace coredll {
namespace {

constexpr int kEndTimeoutMs = 5000;

// Kills every other device process and waits until they are gone.
void EndOtherProcesses() {
  std::vector<UniqueFd> ending;
  for (const ProcessRecord& record : LiveProcesses()) {
    if (record.id.pid == DWORD(getpid())) continue;
    UniqueFd pidfd(int(syscall(SYS_pidfd_open, pid_t(record.id.pid), 0)));
    // Checked again through the pidfd, so a pid taken over meanwhile is left alone.
    if (!pidfd.valid() || !IsRunning(record.id)) continue;
    syscall(SYS_pidfd_send_signal, pidfd.get(), SIGKILL, nullptr, 0);
    ending.push_back(std::move(pidfd));
  }
  for (UniqueFd& pidfd : ending) {
    struct pollfd p = {pidfd.get(), POLLIN, 0};
    poll(&p, 1, kEndTimeoutMs);
  }
}

bool CountBoot(const std::string& device) {
  std::ifstream in(device + "/boots");
  unsigned long boots = 0;
  in >> boots;
  return WriteHostFile(device + "/boots", std::to_string(boots + 1) + "\n");
}

}  // namespace

DWORD RestartDevice() {
  std::string run = RunFolder();
  if (run.empty()) return ERROR_PATH_NOT_FOUND;
  EndOtherProcesses();
  std::error_code error;
  std::filesystem::remove_all(run, error);
  if (error || !MakeHostFolders(run, DeviceRoot().size())) return ERROR_GEN_FAILURE;
  return CountBoot(std::filesystem::path(run).parent_path()) ? ERROR_SUCCESS : ErrorFromErrno(errno);
}

}  // namespace coredll
