// Device programs that a test starts: each ended and closed when the test is over.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "coredll/windows.h"
#include "support/temp_device.h"

namespace stowkit::testing {

class StartedPrograms {
 public:
  explicit StartedPrograms(const TempDevice& device) : device_(device) {}
  StartedPrograms(const StartedPrograms&) = delete;
  StartedPrograms& operator=(const StartedPrograms&) = delete;
  ~StartedPrograms() {
    for (HANDLE h : handles_) {
      TerminateProcess(h, 0);
      WaitForSingleObject(h, 5000);
      CloseHandle(h);
    }
  }

  // Starts `program` with `command_line`; the process handle stays owned here.
  HANDLE Start(std::u16string command_line, const char16_t* program) {
    PROCESS_INFORMATION info = {};
    EXPECT_TRUE(CreateProcessW(program, command_line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, nullptr, &info))
        << GetLastError();
    CloseHandle(info.hThread);
    handles_.push_back(info.hProcess);
    last_pid_ = info.dwProcessId;
    return info.hProcess;
  }

  DWORD last_pid() const { return last_pid_; }

  // Waits up to 5 s for a program to create a file under fs/.
  bool WaitForFile(const std::string& relative) const {
    for (int i = 0; i < 500; ++i) {
      if (std::filesystem::exists(device_.Host(relative))) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

  static DWORD ExitCode(HANDLE process) {
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeProcess(process, &code));
    return code;
  }

 private:
  const TempDevice& device_;
  std::vector<HANDLE> handles_;
  DWORD last_pid_ = 0;
};

}  // namespace stowkit::testing
