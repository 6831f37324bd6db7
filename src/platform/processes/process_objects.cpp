#include "platform/processes/process_objects.h"

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include "coredll/process.h"

#ifndef P_PIDFD
#define P_PIDFD 3
#endif

namespace coredll {

bool IsPseudoHandle(HANDLE handle) {
  uintptr_t value = reinterpret_cast<uintptr_t>(handle);
  return value == 0x41 || value == 0x42;
}

bool WaitableObject::IsSignalled() const {
  struct pollfd p = {WaitFd(), POLLIN, 0};
  return poll(&p, 1, 0) == 1;
}

ProcessObject::~ProcessObject() { ExitCode(); }  // reaps an ended child

DWORD ProcessObject::ExitCode() {
  if (!IsSignalled()) return STILL_ACTIVE;
  {
    std::lock_guard lock(mutex_);
    if (child_ && !host_status_) {  // reaped as soon as it is seen to have ended
      siginfo_t info = {};
      if (waitid(idtype_t(P_PIDFD), id_t(pidfd_.get()), &info, WEXITED | WNOHANG) == 0 &&
          info.si_pid != 0) {
        host_status_ = info.si_code == CLD_EXITED ? DWORD(info.si_status) : EXIT_CODE_KILLED;
      }
    }
  }
  if (std::optional<DWORD> recorded = RecordedExitCode(id_)) return *recorded;
  std::lock_guard lock(mutex_);
  return host_status_.value_or(EXIT_CODE_KILLED);
}

bool ProcessObject::Terminate(DWORD code) {
  if (IsSignalled()) return false;
  RecordExitCode(id_, code);
  return syscall(SYS_pidfd_send_signal, pidfd_.get(), SIGKILL, nullptr, 0) == 0;
}

ThreadObject::ThreadObject() : event_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

void ThreadObject::Finish(DWORD code) {
  code_ = code;
  finished_ = true;
  uint64_t one = 1;
  [[maybe_unused]] ssize_t n = write(event_.get(), &one, sizeof one);
}

DWORD ThreadObject::ExitCode() const { return finished_ ? code_.load() : STILL_ACTIVE; }

}  // namespace coredll
