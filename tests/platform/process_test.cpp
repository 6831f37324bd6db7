// Real device processes: command lines, 32-bit exit codes, in-use program and library files,
// termination from inside and outside, the process table and restart.
#include <signal.h>

#include <chrono>
#include <string>
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "coredll/toolhelp.h"
#include "coredll/windows.h"
#include "support/child_process.h"
#include "support/device_programs.h"
#include "support/temp_device.h"

namespace stowkit {
namespace {

using testing::BinPath;
using testing::LibPath;
using testing::TempDevice;

class ProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    device_.Install(BinPath("probe"), "Windows/probe.exe");
    device_.Install(LibPath("libplain.so"), "Windows/plain.dll");
  }

  HANDLE Start(std::u16string command_line, const char16_t* program = u"\\Windows\\probe.exe") {
    HANDLE process = programs_.Start(std::move(command_line), program);
    pid_ = programs_.last_pid();
    return process;
  }

  DWORD RunToEnd(std::u16string command_line) {
    HANDLE process = Start(std::move(command_line));
    EXPECT_EQ(WaitForSingleObject(process, 10000), WAIT_OBJECT_0);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeProcess(process, &code));
    return code;
  }

  bool WaitForFile(const std::string& relative) { return programs_.WaitForFile(relative); }

  TempDevice device_;
  testing::StartedPrograms programs_{device_};
  DWORD pid_ = 0;
};

TEST_F(ProcessTest, ExitCodesAreThirtyTwoBits) {
  EXPECT_EQ(RunToEnd(u"exit 1000"), 1000u);
  EXPECT_EQ(RunToEnd(u"exit 0x80070057"), 0x80070057u);
  EXPECT_EQ(RunToEnd(u"exit 0"), 0u);
  // A device program starting another one, and passing its code on.
  EXPECT_EQ(RunToEnd(u"spawn \\Windows\\probe.exe exit 0xC0000005"), 0xC0000005u);
}

TEST_F(ProcessTest, TheExactCommandLineArrives) {
  std::u16string line = u"cmdline \\Temp\\line.txt  two  blanks \"quoted \\\" text\" ünïcödé\ttab ";
  EXPECT_EQ(RunToEnd(line), 0u);
  EXPECT_EQ(testing::ReadHostFile(device_.Host("Temp/line.txt")),
            "cmdline \\Temp\\line.txt  two  blanks \"quoted \\\" text\" ünïcödé\ttab ");
}

TEST_F(ProcessTest, StillActiveWhileRunningAndTerminateSetsTheCode) {
  HANDLE process = Start(u"wait");
  ASSERT_TRUE(WaitForFile("Temp/waiting.flag"));
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeProcess(process, &code));
  EXPECT_EQ(code, STILL_ACTIVE);
  EXPECT_EQ(WaitForSingleObject(process, 50), WAIT_TIMEOUT);
  EXPECT_TRUE(TerminateProcess(process, 0x80004004));
  EXPECT_EQ(WaitForSingleObject(process, 5000), WAIT_OBJECT_0);
  EXPECT_TRUE(GetExitCodeProcess(process, &code));
  EXPECT_EQ(code, 0x80004004u);
  EXPECT_FALSE(TerminateProcess(process, 1));  // already ended
}

// Started under nohup, an install must not end with the terminal: a signal the starter was
// started ignoring stays ignored in what it starts, and every other one is reset.
TEST_F(ProcessTest, AStartedProgramKeepsIgnoringWhatItsStarterIgnores) {
  struct sigaction ignore = {}, handle = {}, old_hup, old_usr1;
  ignore.sa_handler = SIG_IGN;
  handle.sa_handler = [](int) {};
  sigaction(SIGHUP, &ignore, &old_hup);
  sigaction(SIGUSR1, &handle, &old_usr1);
  HANDLE process = Start(u"wait");
  sigaction(SIGHUP, &old_hup, nullptr);
  sigaction(SIGUSR1, &old_usr1, nullptr);
  ASSERT_TRUE(WaitForFile("Temp/waiting.flag"));
  std::string status = testing::ReadHostFile("/proc/" + std::to_string(pid_) + "/status");
  size_t at = status.find("\nSigIgn:");
  ASSERT_NE(at, std::string::npos);
  unsigned long long ignored = std::stoull(status.substr(at + 8, 17), nullptr, 16);
  EXPECT_EQ(ignored & (1ull << (SIGHUP - 1)), 1ull << (SIGHUP - 1));
  // Of the standard signals; the C library keeps two real-time ones of its own ignored.
  EXPECT_EQ(ignored & 0x7fffffffull & ~(1ull << (SIGHUP - 1)), 0u);
  EXPECT_TRUE(TerminateProcess(process, 0));
  EXPECT_EQ(WaitForSingleObject(process, 5000), WAIT_OBJECT_0);
}

TEST_F(ProcessTest, AProcessKilledFromOutsideIsSeenAsEnded) {
  HANDLE process = Start(u"wait");
  ASSERT_TRUE(WaitForFile("Temp/waiting.flag"));
  kill(pid_t(pid_), SIGKILL);
  EXPECT_EQ(WaitForSingleObject(process, 5000), WAIT_OBJECT_0);
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeProcess(process, &code));
  EXPECT_EQ(code, DWORD(EXIT_CODE_KILLED));
  EXPECT_EQ(OpenProcess(PROCESS_ALL_ACCESS, FALSE, pid_), nullptr);
}

TEST_F(ProcessTest, RunningProgramsAndLoadedLibrariesAreInUse) {
  HANDLE process = Start(u"hold \\Windows\\PLAIN.DLL");
  ASSERT_TRUE(WaitForFile("Temp/held.flag"));
  for (const char16_t* file : {u"\\Windows\\plain.dll", u"\\Windows\\probe.exe"}) {
    EXPECT_FALSE(DeleteFileW(file));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    HANDLE writer = CreateFileW(file, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
    HANDLE reader = CreateFileW(file, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(reader, INVALID_HANDLE_VALUE);  // reading a running program is fine
    CloseHandle(reader);
  }
  EXPECT_TRUE(MoveFileW(u"\\Windows\\plain.dll", u"\\Windows\\plain.old"));  // as on the handheld
  TerminateProcess(process, 0);
  WaitForSingleObject(process, 5000);
  EXPECT_TRUE(DeleteFileW(u"\\Windows\\plain.old"));
  EXPECT_TRUE(DeleteFileW(u"\\Windows\\probe.exe"));
}

TEST_F(ProcessTest, ToolhelpListsProcessesAndTheirModules) {
  HANDLE process = Start(u"hold plain.dll");
  ASSERT_TRUE(WaitForFile("Temp/held.flag"));
  HMODULE toolhelp = LoadLibraryW(u"toolhelp.dll");
  ASSERT_NE(toolhelp, nullptr);
  auto snapshot = reinterpret_cast<PFN_CreateToolhelp32Snapshot>(GetProcAddressW(toolhelp, u"CreateToolhelp32Snapshot"));
  auto first = reinterpret_cast<PFN_Process32First>(GetProcAddressW(toolhelp, u"Process32First"));
  auto module_first = reinterpret_cast<PFN_Module32First>(GetProcAddressW(toolhelp, u"Module32First"));
  auto module_next = reinterpret_cast<PFN_Module32Next>(GetProcAddressW(toolhelp, u"Module32Next"));
  auto close = reinterpret_cast<PFN_CloseToolhelp32Snapshot>(GetProcAddressW(toolhelp, u"CloseToolhelp32Snapshot"));
  ASSERT_TRUE(snapshot && first && module_first && module_next && close);

  HANDLE processes = snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  ASSERT_TRUE(first(processes, &entry));
  EXPECT_EQ(entry.th32ProcessID, pid_);
  EXPECT_EQ(entry.th32ParentProcessID, GetCurrentProcessId());
  EXPECT_EQ(std::u16string(entry.szExeFile), u"\\Windows\\probe.exe");
  close(processes);

  HANDLE modules = snapshot(TH32CS_SNAPMODULE, pid_);
  MODULEENTRY32W module = {};
  module.dwSize = sizeof module;
  std::vector<std::u16string> names;
  for (BOOL ok = module_first(modules, &module); ok; ok = module_next(modules, &module)) {
    names.push_back(module.szModule);
  }
  EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_MORE_FILES));
  EXPECT_EQ(names, (std::vector<std::u16string>{u"probe.exe", u"plain.dll"}));
  close(modules);
  module.dwSize = 12;  // too small a record
  EXPECT_FALSE(module_first(snapshot(TH32CS_SNAPMODULE, pid_), &module));
  FreeLibrary(toolhelp);
  (void)process;
}

TEST_F(ProcessTest, OpenProcessFindsDeviceProcessesOnly) {
  HANDLE process = Start(u"wait");
  ASSERT_TRUE(WaitForFile("Temp/waiting.flag"));
  HANDLE opened = OpenProcess(PROCESS_ALL_ACCESS, FALSE, pid_);
  ASSERT_NE(opened, nullptr);
  EXPECT_TRUE(TerminateProcess(opened, 77));
  EXPECT_EQ(WaitForSingleObject(process, 5000), WAIT_OBJECT_0);
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeProcess(opened, &code));
  EXPECT_EQ(code, 77u);
  CloseHandle(opened);
  EXPECT_EQ(OpenProcess(PROCESS_ALL_ACCESS, FALSE, 1), nullptr);  // the host's init
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

TEST_F(ProcessTest, StartFailures) {
  PROCESS_INFORMATION info;
  std::u16string line = u"x";
  EXPECT_FALSE(CreateProcessW(u"\\Windows\\none.exe", line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr, &info));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
  testing::WriteHostFile(device_.Host("Windows/arm.exe"), "MZ\x90\x00 not a program for this host");
  EXPECT_FALSE(CreateProcessW(u"arm.exe", line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr, &info));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_BAD_EXE_FORMAT));
  EXPECT_FALSE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr, &info));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(RunToEnd(u"exit 5"), 5u);  // a bare name is found in \Windows
}

TEST_F(ProcessTest, RestartEndsEveryOtherProcessAndCountsABoot) {
  HANDLE process = Start(u"wait");
  ASSERT_TRUE(WaitForFile("Temp/waiting.flag"));
  EXPECT_EQ(SetSystemPowerState(nullptr, POWER_STATE_RESET, 0), DWORD(ERROR_SUCCESS));
  EXPECT_EQ(WaitForSingleObject(process, 0), WAIT_OBJECT_0);
  EXPECT_EQ(testing::ReadHostFile(device_.folder() + "/boots"), "1\n");
  EXPECT_TRUE(std::filesystem::is_empty(device_.folder() + "/run"));
  EXPECT_EQ(SetSystemPowerState(nullptr, POWER_STATE_ON, 0), DWORD(ERROR_NOT_SUPPORTED));
}

TEST(CurrentProcess, PseudoHandles) {
  EXPECT_EQ(uintptr_t(GetCurrentProcess()), 0x42u);
  EXPECT_EQ(WaitForSingleObject(GetCurrentProcess(), 20), WAIT_TIMEOUT);  // never signalled
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeProcess(GetCurrentProcess(), &code));
  EXPECT_EQ(code, STILL_ACTIVE);
  EXPECT_TRUE(CloseHandle(GetCurrentProcess()));
}

TEST(Threads, ExitCodeAndWait) {
  DWORD id = 0;
  static DWORD value = 0x80070057;
  HANDLE thread = CreateThread(nullptr, 0, [](LPVOID p) -> DWORD { return *static_cast<DWORD*>(p); },
                               &value, 0, &id);
  ASSERT_NE(thread, nullptr);
  EXPECT_NE(id, 0u);
  EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, 0x80070057u);
  CloseHandle(thread);
}

}  // namespace
}  // namespace stowkit
