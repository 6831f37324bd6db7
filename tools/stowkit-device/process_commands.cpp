#include "process_commands.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <vector>

#include "coredll/device.h"
#include "coredll/windows.h"
#include "device_commands.h"
#include "removed_on_stop.h"
#include "text/command_line.h"
#include "text/format.h"
#include "text/utf.h"

namespace stowkit::device_tool {
namespace {

// Host program name and the name it has on the device.
constexpr std::pair<const char*, const char16_t*> kDevicePrograms[] = {
    {"stowkit", u"\\Windows\\stowkit.exe"},
    {"wceload", u"\\Windows\\wceload.exe"},
    {"unload", u"\\Windows\\unload.exe"},
};

bool WriteDeviceFile(const std::u16string& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  BOOL ok = WriteFile(file, bytes.data(), DWORD(bytes.size()), nullptr, nullptr);
  DWORD error = GetLastError();
  CloseHandle(file);
  if (!ok) DeleteFileW(path.c_str());
  SetLastError(error);
  return ok;
}

// The exit code a program ended for running too long gets (ERROR_TIMEOUT as an HRESULT).
constexpr UINT kTimedOutExitCode = 0x800705B4u;

// Ends `pid` and every device program it started (an old version's uninstaller, say), and
// those they started: a run that hangs may hang in any of them.
void EndWithDescendants(DWORD pid) {
  std::vector<DWORD> ending = {pid};
  std::vector<coredll::DeviceProcess> processes = coredll::ListDeviceProcesses();
  for (size_t i = 0; i < ending.size(); ++i) {
    for (const coredll::DeviceProcess& process : processes) {
      if (process.parent == ending[i] && process.pid != ending[i]) ending.push_back(process.pid);
    }
  }
  for (DWORD each : ending) {
    if (HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, each)) {
      TerminateProcess(process, kTimedOutExitCode);
      WaitForSingleObject(process, 10000);
      CloseHandle(process);
    }
  }
}

}  // namespace

std::filesystem::path ToolFolder() {
  return std::filesystem::read_symlink("/proc/self/exe").parent_path();
}

int PlacePrograms() {
  std::filesystem::path folder = ToolFolder();
  for (auto [host_name, device_path] : kDevicePrograms) {
    std::ifstream in(folder / host_name, std::ios::binary);
    if (!in) continue;  // not built yet
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!WriteDeviceFile(device_path, bytes)) {
      return Error("cannot place '" + Utf16ToUtf8(device_path) + "': " + SystemErrorText(GetLastError()));
    }
  }
  return 0;
}

bool RunAndWait(const std::string& program, const std::vector<std::string>& arguments,
                uint32_t& code, DWORD timeout_ms, bool* timed_out) {
  std::vector<std::u16string> wide;
  for (const std::string& a : arguments) wide.push_back(Utf8ToUtf16(a));
  std::u16string path = Utf8ToUtf16(program);
  // The line a device launcher gives: the program's path in quotes, then the arguments, so
  // the program finds its own path as the first token.
  std::u16string command_line = u"\"" + path + u"\"";
  if (!wide.empty()) command_line += u" " + JoinArguments(wide);
  PROCESS_INFORMATION info;
  if (!CreateProcessW(path.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, nullptr, &info)) {
    Error("cannot run '" + program + "': " + SystemErrorText(GetLastError()));
    return false;
  }
  tool::SetWaitedProgram(pid_t(info.dwProcessId));
  bool late = WaitForSingleObject(info.hProcess, timeout_ms) == WAIT_TIMEOUT;
  if (late) EndWithDescendants(info.dwProcessId);
  WaitForSingleObject(info.hProcess, INFINITE);
  tool::SetWaitedProgram(0);
  if (timed_out) *timed_out = late;
  DWORD exit_code = 0;
  GetExitCodeProcess(info.hProcess, &exit_code);
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  code = exit_code;
  return true;
}

int ExitStatus(uint32_t code) {
  if (code != 0) std::cerr << "exit code: " << code << "\n";
  return int(code % 256);
}

bool WantScreenshots(const std::string& folder) {
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  std::filesystem::path absolute = std::filesystem::absolute(folder, error);
  if (error || !std::filesystem::is_directory(absolute)) {
    Error("cannot make the screenshot folder '" + folder + "'" +
          (error ? ": " + error.message() : std::string()));
    return false;
  }
  // The device's programs inherit it: each of them draws its own windows.
  setenv("STOWKIT_SCREENSHOTS", absolute.c_str(), 1);
  return true;
}

int Run(const std::string& program, const std::vector<std::string>& arguments) {
  uint32_t code = 0;
  return RunAndWait(program, arguments, code) ? ExitStatus(code) : 1;
}

int ListProcesses() {
  std::cout << Utf16ToUtf8(Format(u"%8s %8s  %s\n", u"PID", u"PARENT", u"PROGRAM AND COMMAND LINE"));
  for (const coredll::DeviceProcess& p : coredll::ListDeviceProcesses()) {
    std::cout << Utf16ToUtf8(Format(u"%8lu %8lu  %s %s\n", p.pid, p.parent, p.program, p.command_line));
    for (size_t i = 1; i < p.modules.size(); ++i) {
      std::cout << "                    module " << Utf16ToUtf8(p.modules[i]) << "\n";
    }
  }
  return 0;
}

}  // namespace stowkit::device_tool
