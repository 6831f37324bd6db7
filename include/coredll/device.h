// Controls of the simulated handheld that have no counterpart on a real device: which device
// folder a process works on, laying out a new device, host mode for the host tools, and
// the faults that tests ask for. Host tools and tests use these; device code never does.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "coredll/wintypes.h"

namespace coredll {

enum class Platform { kPocketPC, kSmartphone };

// The device folder of this process: $STOWKIT_DEVICE, else the default device under the
// user's data folder ($XDG_DATA_HOME/stowkit/device, else ~/.local/share/stowkit/device).
COREDLL_API std::string DeviceFolder();

// True when `folder` holds a device (its profile and file system).
COREDLL_API bool IsDevice(const std::string& folder);

// Makes `folder` the device of this process and of every device process it starts
// (sets STOWKIT_DEVICE). Call before any other platform call.
COREDLL_API void SelectDevice(const std::string& folder);

// Lays out a device in `folder`: the profile of `platform` and the standard folders. An
// existing device keeps its files and profile; asking for the other platform is an error.
// Returns false with a one-line reason in `error`.
COREDLL_API bool InitDevice(const std::string& folder, Platform platform, std::string* error);

// Copies the device in `from` into the new folder `to` for a throwaway run: its files with
// their attributes and times, its profile, boot count and registry (one consistent state
// even while device programs write to it). The copy starts with no running programs and no
// scripted answers, as after a restart. False with a one-line reason in `error`; a copy
// that failed half-way is removed.
COREDLL_API bool CopyDevice(const std::string& from, const std::string& to, std::string* error);

// What is wrong with the device in `folder`, this process's selected device: one line each,
// naming what is wrong and where in the folder. Its layout (fs/ and run/ folders, a
// device.toml that parses, a count in boots, no link anywhere in it), its registry (as
// RegistryStore::CheckFile finds it, after opening it as any device program would, which
// brings an older file up to date) and records in run/ of processes that are gone without an
// exit code. Empty for a sound device.
COREDLL_API std::vector<std::string> CheckDevice(const std::string& folder);
// The registry part of CheckDevice alone.
COREDLL_API std::vector<std::string> CheckDeviceRegistry(const std::string& folder);

// In host mode a path is a host path taken as the user wrote it ("/tmp/app.pkg"), for the
// host tools that run the package code on host files.
COREDLL_API void SetHostMode(bool on);

// Replaces this process's fault rules (initially $STOWKIT_FAULTS). Rules are separated by
// ';', each "OP[@PATTERN][#N]=RESULT":
//   OP       open, read, write, seek, size (GetFileSize), delete, mkdir, load, describe (a
//            new file made, about to get its attributes and creation time; only "kill")
//   PATTERN  a device path, '*' and '?' allowed, compared case-insensitively (default: any)
//   #N       only the N-th matching call fails (default: every one); "#N+" the N-th and
//            every later one, as a disk that stays full
//   RESULT   an error number, "short" for a read that returns half of what was asked, or
//            "kill": the process is killed (SIGKILL) at that call, as by a pulled battery
// Returns false with the reason in `error` when a rule does not parse; the old rules stay.
// A device program that finds $STOWKIT_FAULT_TALLY naming a host file appends to it, as it
// exits, how many calls of each operation it made: "open=12 read=40 write=9 seek=0 size=1
// delete=2 mkdir=1 load=3 describe=4 switches=1,4,7", the last the numbers of the writes that
// went to another file than the write before, so a tool can aim a rule at any one of them.
COREDLL_API bool SetFaults(std::string_view rules, std::string* error);

struct DeviceProcess {
  DWORD pid = 0;
  DWORD parent = 0;
  std::u16string program;       // device path
  std::u16string command_line;
  std::vector<std::u16string> modules;  // the program first, then loaded libraries
};

// The device's running processes in pid order, whatever the profile says of tool-help.
COREDLL_API std::vector<DeviceProcess> ListDeviceProcesses();

// Scripted answers for the message boxes of device programs that run without a terminal,
// taken in order by whichever program asks next. QueueAnswers appends `words` (yes, no, ok,
// cancel, retry, abort, ignore; any case); when one is unknown nothing is queued. Both
// return false with a one-line reason in `error`.
COREDLL_API bool QueueAnswers(const std::vector<std::string>& words, std::string* error);
COREDLL_API bool ClearAnswers(std::string* error);

}  // namespace coredll
