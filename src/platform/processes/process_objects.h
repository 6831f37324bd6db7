// Kernel objects that a wait can be pointed at: processes (through a pidfd) and threads.
#pragma once

#include <atomic>
#include <mutex>
#include <optional>

#include "platform/device/host_files.h"
#include "platform/processes/handles.h"
#include "platform/processes/process_table.h"

namespace coredll {

// The pseudo handles of the current thread (0x41) and process (0x42): never signalled.
bool IsPseudoHandle(HANDLE handle);

// Something a wait can be pointed at: its descriptor becomes readable once signalled.
class WaitableObject : public KernelObject {
 public:
  virtual int WaitFd() const = 0;
  bool IsSignalled() const;
};

class ProcessObject : public WaitableObject {
 public:
  ProcessObject(UniqueFd pidfd, ProcessIdentity id, bool child)
      : pidfd_(std::move(pidfd)), id_(id), child_(child) {}
  ~ProcessObject() override;

  int WaitFd() const override { return pidfd_.get(); }
  const ProcessIdentity& id() const { return id_; }
  // STILL_ACTIVE while running; then the code the process or its terminator recorded, the
  // host exit status of a child that recorded none, or EXIT_CODE_KILLED.
  DWORD ExitCode();
  // Records `code` and kills the process.
  bool Terminate(DWORD code);

 private:
  UniqueFd pidfd_;
  ProcessIdentity id_;
  bool child_;
  std::mutex mutex_;
  std::optional<DWORD> host_status_;  // of a reaped child
};

class ThreadObject : public WaitableObject {
 public:
  ThreadObject();
  int WaitFd() const override { return event_.get(); }
  void Finish(DWORD code);
  DWORD ExitCode() const;

 private:
  UniqueFd event_;
  std::atomic<bool> finished_{false};
  std::atomic<DWORD> code_{0};
};

}  // namespace coredll
