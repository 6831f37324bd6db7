// Runs a program of the build with arguments, reading its output line by line and killing
// it at will: for tests that need a second process on the same device.
#pragma once

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

extern char** environ;

namespace stowkit::testing {

class ChildProcess {
 public:
  explicit ChildProcess(const std::vector<std::string>& argv) {
    int fds[2];
    if (pipe(fds) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    if (posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    out_ = fdopen(fds[0], "r");
  }
  ~ChildProcess() {
    Kill();
    if (out_) fclose(out_);
  }

  // The next line the child printed, without its newline; "" at the end.
  std::string ReadLine() {
    std::string line;
    int c;
    while (out_ && (c = fgetc(out_)) != EOF && c != '\n') line += char(c);
    return line;
  }

  // Sends `signal` and waits for the child to end: its wait status.
  int Stop(int signal) {
    int status = -1;
    if (pid_ <= 0) return status;
    kill(pid_, signal);
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return status;
  }

  // Kills the child (as a crash would) and waits for it.
  void Kill() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  FILE* out_ = nullptr;
};

// A program of the build: beside the test programs, unless STOWKIT_BIN says otherwise.
inline std::string BinPath(const std::string& program) {
  const char* bin = std::getenv("STOWKIT_BIN");
  if (bin) return std::string(bin) + "/" + program;
  char self[4096];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  std::string folder = n > 0 ? std::string(self, size_t(n)) : std::string("build/bin/x");
  return folder.substr(0, folder.rfind('/')) + "/" + program;
}

}  // namespace stowkit::testing

namespace stowkit::testing {

inline std::string LibPath(const std::string& library) {
  return BinPath("../lib/" + library);
}

}  // namespace stowkit::testing
