#include "removed_on_stop.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <iterator>

namespace stowkit::tool {
namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// A fixed table, as the handler may not allocate: a path is written before it is marked
// used, and read only while it is.
struct Slot {
  std::atomic<bool> used{false};
  char path[PATH_MAX];
};
Slot slots[4];

std::atomic<pid_t> waited{0};
pid_t main_thread = 0;

pid_t ThisThread() { return pid_t(syscall(SYS_gettid)); }

bool IsDotName(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// Removes `name` in the folder `parent` (AT_FDCWD: a path), and everything a folder of that
// name holds; a link is removed, never followed. Only calls a signal handler may make.
void RemoveTree(int parent, const char* name) {
  if (unlinkat(parent, name, 0) == 0 || errno == ENOENT) return;
  int folder = openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (folder < 0) return;
  // Entries go as they are read; a folder that a pass left not empty (its listing moved
  // under the removals) is read again from the start.
  for (int pass = 0; pass < 4; ++pass) {
    alignas(struct dirent64) char buffer[2048];
    long got;
    while ((got = syscall(SYS_getdents64, folder, buffer, sizeof buffer)) > 0) {
      for (long at = 0; at < got;) {
        const auto* entry = reinterpret_cast<const struct dirent64*>(buffer + at);
        at += entry->d_reclen;
        if (!IsDotName(entry->d_name)) RemoveTree(folder, entry->d_name);
      }
    }
    if (unlinkat(parent, name, AT_REMOVEDIR) == 0 || errno != ENOTEMPTY) break;
    lseek(folder, 0, SEEK_SET);
  }
  close(folder);
}

void Stop(int signal) {
  int saved_errno = errno;
  // Another thread passes the signal on, so that the main thread stands still while its
  // files go.
  if (ThisThread() != main_thread && syscall(SYS_tgkill, getpid(), main_thread, signal) == 0) {
    errno = saved_errno;
    return;
  }
  bool any = false;
  for (const Slot& slot : slots) any = any || slot.used.load();
  pid_t program = waited.load();
  if (any && program > 0) {
    kill(program, SIGKILL);
    waitpid(program, nullptr, 0);
  }
  for (const Slot& slot : slots) {
    if (slot.used.load()) RemoveTree(AT_FDCWD, slot.path);
  }
  // Ends by the signal itself: it stays pending until the handler's mask lets it through.
  struct sigaction standard = {};
  standard.sa_handler = SIG_DFL;
  sigaction(signal, &standard, nullptr);
  raise(signal);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, signal);
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
  _exit(128 + signal);
}

void PutHandlers() {
  static bool put = false;
  if (put) return;
  put = true;
  main_thread = ThisThread();
  struct sigaction action = {};
  action.sa_handler = Stop;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  for (int signal : kStopSignals) sigaddset(&action.sa_mask, signal);
  for (int signal : kStopSignals) {
    struct sigaction started;
    if (sigaction(signal, nullptr, &started) == 0 && started.sa_handler == SIG_IGN) continue;
    sigaction(signal, &action, nullptr);
  }
}

}  // namespace

RemovedOnStop::RemovedOnStop(const std::string& path) {
  if (path.empty() || path.size() >= PATH_MAX) return;
  PutHandlers();
  for (int i = 0; i < int(std::size(slots)); ++i) {
    if (slots[i].used.load()) continue;
    std::memcpy(slots[i].path, path.c_str(), path.size() + 1);
    slots[i].used.store(true);
    slot_ = i;
    return;
  }
}

RemovedOnStop::~RemovedOnStop() {
  if (slot_ >= 0) slots[slot_].used.store(false);
}

void SetWaitedProgram(pid_t pid) { waited.store(pid); }

}  // namespace stowkit::tool
