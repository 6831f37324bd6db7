// Processes, threads and waits.
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <future>
#include <thread>
#include <vector>

#include "platform/device/device_state.h"
#include "platform/device/errors.h"
#include "platform/device/faults.h"
#include "platform/files/paths.h"
#include "platform/processes/process_objects.h"
#include "platform/processes/process_self.h"
#include "text/utf.h"

extern char** environ;

namespace coredll {
namespace {

const HANDLE kCurrentThread = reinterpret_cast<HANDLE>(uintptr_t(0x41));
const HANDLE kCurrentProcess = reinterpret_cast<HANDLE>(uintptr_t(0x42));
constexpr int kReadyFd = 3;
constexpr int kReadyTimeoutMs = 10000;

// The program file a name stands for: the path itself, or a bare name in \Windows, then \.
// False when there is none (ERROR_FILE_NOT_FOUND).
bool FindProgram(LPCWSTR application, ResolvedPath& path) {
  std::u16string name(application);
  bool bare = name.find_first_of(u"\\/") == std::u16string::npos;
  std::u16string candidates[2] = {bare ? u"\\Windows\\" + name : name, bare ? u"\\" + name : u""};
  for (const std::u16string& candidate : candidates) {
    if (!candidate.empty() && ResolvePath(candidate.c_str(), path) && path.exists &&
        S_ISREG(path.st.st_mode)) {
      return true;
    }
  }
  return false;
}

// The folder holding this platform library, so a device program finds it wherever it was
// built or installed.
std::string PlatformLibraryFolder() {
  Dl_info info;
  if (!dladdr(reinterpret_cast<void*>(&PlatformLibraryFolder), &info) || !info.dli_fname) return "";
  std::string path = info.dli_fname;
  return path.substr(0, path.rfind('/'));
}

std::vector<std::string> ChildEnvironment(const std::u16string& command_line) {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    std::string entry = *e;
    for (const char* name : {"STOWKIT_DEVICE=", "STOWKIT_CMDLINE=", "STOWKIT_READY_FD=", "LD_LIBRARY_PATH="}) {
      if (entry.rfind(name, 0) == 0) entry.clear();
    }
    if (!entry.empty()) env.push_back(entry);
  }
  const char* library_path = std::getenv("LD_LIBRARY_PATH");
  env.push_back("LD_LIBRARY_PATH=" + PlatformLibraryFolder() +
                (library_path && *library_path ? ":" + std::string(library_path) : ""));
  env.push_back("STOWKIT_DEVICE=" + DeviceFolder());
  env.push_back("STOWKIT_CMDLINE=" + stowkit::Utf16ToUtf8(command_line));
  env.push_back("STOWKIT_READY_FD=" + std::to_string(kReadyFd));
  return env;
}

// The signals a device program starts with the default action for: all but those this
// process ignores (as under nohup), which stay ignored as they would through exec. Named at
// once, each costs the child one call; left to the spawn, two (it asks first). The ignored
// ones come from one read of /proc/self/status, where the kernel lists them.
sigset_t SignalsToDefault() {
  sigset_t set;
  sigfillset(&set);
  char text[4096];
  int fd = open("/proc/self/status", O_RDONLY | O_CLOEXEC);
  ssize_t got = fd < 0 ? -1 : read(fd, text, sizeof text - 1);
  if (fd >= 0) close(fd);
  const char* line = got > 0 ? (text[got] = '\0', std::strstr(text, "\nSigIgn:")) : nullptr;
  if (!line) {
    // Unknown: ask for each as the spawn would.
    sigemptyset(&set);
    return set;
  }
  unsigned long long ignored = std::strtoull(line + 8, nullptr, 16);
  for (int sig = 1; sig <= 64; ++sig) {
    if (ignored & (1ull << (sig - 1))) sigdelset(&set, sig);
  }
  return set;
}

DWORD SpawnError(int err) {
  switch (err) {
    case ENOEXEC:
    case ELIBBAD: return ERROR_BAD_EXE_FORMAT;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    default: return ErrorFromErrno(err);
  }
}

// Starts the host program and waits until it has listed itself (or ended early); the error
// when it could not start.
DWORD Spawn(const ResolvedPath& program, const std::u16string& command_line, pid_t& pid) {
  struct stat st;
  // The handheld has no execute bit: any device file is a program if the platform runs it.
  if (stat(program.host.c_str(), &st) == 0 && !(st.st_mode & S_IXUSR)) {
    chmod(program.host.c_str(), st.st_mode | S_IXUSR | S_IXGRP | S_IXOTH);
  }
  int ready[2];
  if (pipe2(ready, O_CLOEXEC) != 0) return ErrorFromErrno(errno);
  UniqueFd ready_read(ready[0]), ready_write(ready[1]);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, ready_write.get(), kReadyFd);
  std::vector<std::string> env = ChildEnvironment(command_line);
  std::vector<char*> envp, argv = {const_cast<char*>(program.host.c_str()), nullptr};
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults = SignalsToDefault();
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
  std::fflush(nullptr);
  int err = posix_spawn(&pid, program.host.c_str(), &actions, &attributes, argv.data(),
                        envp.data());
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (err != 0) return SpawnError(err);
  ready_write = UniqueFd();
  struct pollfd p = {ready_read.get(), POLLIN, 0};
  poll(&p, 1, kReadyTimeoutMs);
  return ERROR_SUCCESS;
}

std::shared_ptr<ProcessObject> OpenProcessObject(pid_t pid, bool child) {
  UniqueFd pidfd(int(syscall(SYS_pidfd_open, pid, 0)));
  std::optional<ProcessIdentity> id = IdentityOf(DWORD(pid));
  if (!pidfd.valid() || !id) return nullptr;
  return std::make_shared<ProcessObject>(std::move(pidfd), *id, child);
}

}  // namespace
}  // namespace coredll

using namespace coredll;

BOOL CreateProcessW(LPCWSTR application, LPWSTR command_line, LPSECURITY_ATTRIBUTES,
                    LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID, LPCWSTR, LPSTARTUPINFOW,
                    LPPROCESS_INFORMATION information) {
  if (!application || !*application) return Fail(ERROR_INVALID_PARAMETER);
  ResolvedPath program;
  if (!FindProgram(application, program)) return Fail(ERROR_FILE_NOT_FOUND);
  pid_t pid = 0;
  if (DWORD error = Spawn(program, command_line ? command_line : u"", pid)) return Fail(error);
  auto process = OpenProcessObject(pid, true);
  if (!process) return Fail(ERROR_GEN_FAILURE);
  if (information) {
    information->hProcess = AddHandle(process);
    information->hThread = AddHandle(process);  // the first thread ends with its process
    information->dwProcessId = DWORD(pid);
    information->dwThreadId = DWORD(pid);
  }
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

HANDLE OpenProcess(DWORD, BOOL, DWORD process_id) {
  if (process_id == GetCurrentProcessId()) return kCurrentProcess;
  std::optional<ProcessRecord> record = FindLiveProcess(process_id);
  auto process = record ? OpenProcessObject(pid_t(process_id), false) : nullptr;
  if (!process || !(process->id() == record->id)) return Fail(ERROR_INVALID_PARAMETER), nullptr;
  return AddHandle(std::move(process));
}

DWORD GetCurrentProcessId(void) { return DWORD(getpid()); }

DWORD GetCurrentThreadId(void) { return DWORD(gettid()); }

HANDLE GetCurrentProcess(void) { return kCurrentProcess; }

HANDLE GetCurrentThread(void) { return kCurrentThread; }

DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds) {
  int timeout = milliseconds == INFINITE ? -1 : int(std::min<DWORD>(milliseconds, INT32_MAX));
  if (object == kCurrentProcess || object == kCurrentThread) {
    if (timeout < 0) pause();  // waits for ever, as the handheld does
    Sleep(milliseconds);
    return WAIT_TIMEOUT;
  }
  auto waitable = GetHandle<WaitableObject>(object);
  if (!waitable) return Fail(waitable.error), WAIT_FAILED;
  struct pollfd p = {waitable->WaitFd(), POLLIN, 0};
  int n;
  while ((n = poll(&p, 1, timeout)) < 0 && errno == EINTR) {}
  if (n < 0) return FailErrno(), WAIT_FAILED;
  return n == 0 ? WAIT_TIMEOUT : WAIT_OBJECT_0;
}

BOOL GetExitCodeProcess(HANDLE process, LPDWORD exit_code) {
  if (!exit_code) return Fail(ERROR_INVALID_PARAMETER);
  if (process == kCurrentProcess) {
    *exit_code = STILL_ACTIVE;
    return TRUE;
  }
  auto object = GetHandle<ProcessObject>(process);
  if (!object) return Fail(object.error);
  *exit_code = object->ExitCode();
  return TRUE;
}

BOOL TerminateProcess(HANDLE process, UINT exit_code) {
  if (process == kCurrentProcess) ExitProcess(exit_code);
  auto object = GetHandle<ProcessObject>(process);
  if (!object) return Fail(object.error);
  return object->Terminate(exit_code) ? TRUE : Fail(ERROR_ACCESS_DENIED);
}

void ExitProcess(UINT exit_code) {
  WriteFaultTally();
  if (IsDeviceProcess()) RecordExitCode(SelfIdentity(), exit_code);
  std::fflush(nullptr);
  _exit(int(exit_code & 0xFF));
}

void Sleep(DWORD milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

HANDLE CreateThread(LPSECURITY_ATTRIBUTES, size_t, LPTHREAD_START_ROUTINE start, LPVOID parameter,
                    DWORD, LPDWORD thread_id) {
  if (!start) return Fail(ERROR_INVALID_PARAMETER), nullptr;
  auto thread = std::make_shared<ThreadObject>();
  if (thread->WaitFd() < 0) return FailErrno(), nullptr;
  std::promise<DWORD> started;
  std::future<DWORD> id = started.get_future();
  std::thread([thread, start, parameter, started = std::move(started)]() mutable {
    started.set_value(DWORD(gettid()));
    thread->Finish(start(parameter));
  }).detach();
  DWORD tid = id.get();
  if (thread_id) *thread_id = tid;
  return AddHandle(std::move(thread));
}

BOOL GetExitCodeThread(HANDLE thread, LPDWORD exit_code) {
  auto object = GetHandle<ThreadObject>(thread);
  if (!object) return Fail(object.error);
  if (!exit_code) return Fail(ERROR_INVALID_PARAMETER);
  *exit_code = object->ExitCode();
  return TRUE;
}

LPWSTR GetCommandLineW(void) { return const_cast<LPWSTR>(CommandLine().c_str()); }
