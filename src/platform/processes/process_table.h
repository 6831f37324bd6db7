// The device's process table, kept in run/proc: one record per device process (its id,
// parent, program, command line, modules and top-level windows) and, once it has ended, its
// exit code.
//
// A host pid can be reused, so a process is known by its pid together with its start time;
// a record whose pid now belongs to another process is a dead one. Each process writes only
// its own record; exit codes are files created once, so the first code recorded wins (a
// TerminateProcess against the process's own ExitProcess).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "coredll/windows.h"

namespace coredll {

struct ProcessIdentity {
  DWORD pid = 0;
  uint64_t start_time = 0;  // clock ticks after boot, from /proc
  bool operator==(const ProcessIdentity&) const = default;
};

struct WindowRecord {
  DWORD hwnd = 0;
  DWORD thread = 0;
  std::u16string class_name;
  std::u16string title;
  bool operator==(const WindowRecord&) const = default;
};

struct ProcessRecord {
  ProcessIdentity id;
  DWORD parent = 0;
  std::u16string program;       // device path
  std::u16string command_line;
  std::vector<std::u16string> modules;  // the program first, then loaded libraries
  std::vector<WindowRecord> windows;    // top-level, in the order they were made
};

// The identity of the host process `pid` (also when it has ended and awaits reaping), or
// nullopt when there is none.
std::optional<ProcessIdentity> IdentityOf(DWORD pid);
// True while that very process runs: not ended, and its pid not taken over.
bool IsRunning(const ProcessIdentity& id);

// The record in the file at `path`, or nullopt when it holds none.
std::optional<ProcessRecord> ReadProcessRecord(const std::string& path);

// Writes the record atomically; false without a device.
bool WriteProcessRecord(const ProcessRecord& record);
// The records of every process still running, in pid order.
std::vector<ProcessRecord> LiveProcesses();
std::optional<ProcessRecord> FindLiveProcess(DWORD pid);

// Records an exit code unless one is recorded already; true when this one was recorded.
bool RecordExitCode(const ProcessIdentity& id, DWORD code);
std::optional<DWORD> RecordedExitCode(const ProcessIdentity& id);

}  // namespace coredll
