// Finding, closing and waiting for real device processes through the tool-help library.
#include "services/process_services.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

#include "support/child_process.h"
#include "support/device_profile.h"
#include "support/device_programs.h"
#include "support/temp_device.h"

namespace stowkit {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;
using testing::BinPath;
using testing::LibPath;
using testing::TempDevice;

constexpr DWORD kClosedByName = 0x80004004u;

class ProcessServicesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    device_.Install(BinPath("probe"), "Windows/probe.exe");
    device_.Install(BinPath("probe"), "Windows/other.exe");
    device_.Install(LibPath("libplain.so"), "Windows/plain.dll");
  }
  void TearDown() override {
    SetSystemPowerState(nullptr, POWER_STATE_RESET, 0);  // ends whatever still runs
  }

  HANDLE Start(std::u16string command_line, const char16_t* program = u"\\Windows\\probe.exe") {
    HANDLE process = programs_.Start(std::move(command_line), program);
    return process;
  }

  bool WaitForFile(const std::string& relative) { return programs_.WaitForFile(relative); }

  static DWORD ExitCode(HANDLE process) { return testing::StartedPrograms::ExitCode(process); }

  TempDevice device_;
  testing::StartedPrograms programs_{device_};
};

TEST_F(ProcessServicesTest, WaitWithMessagesOnAProcessAndAsAPause) {
  auto before = steady_clock::now();
  EXPECT_EQ(WaitWithMessages(nullptr, 150), 0);  // nothing signals the pause
  EXPECT_GE(steady_clock::now() - before, milliseconds(150));

  HANDLE process = Start(u"wait");
  EXPECT_EQ(WaitWithMessages(process, 50), 0);
  ASSERT_TRUE(TerminateProcess(process, 9));
  EXPECT_EQ(WaitWithMessages(process, 10000), 1);
  EXPECT_EQ(WaitWithMessages(process, 0), 1);  // stays signalled
  EXPECT_EQ(WaitWithMessages(INVALID_HANDLE_VALUE, 0), 0);
}

TEST_F(ProcessServicesTest, FindModuleUserNamesTheProcessHoldingTheLibrary) {
  Start(u"wait", u"\\Windows\\other.exe");
  Start(u"hold \\Windows\\plain.dll");
  ASSERT_TRUE(WaitForFile("Temp/held.flag"));
  std::u16string user = u"stale";
  EXPECT_EQ(FindModuleUser(u"\\Program Files\\App\\PLAIN.Dll", user), 1);
  EXPECT_EQ(user, u"\\Windows\\probe.exe");
  EXPECT_EQ(FindModuleUser(u"OTHER.EXE", user), 1);  // a program is a module of its process
  EXPECT_EQ(user, u"\\Windows\\other.exe");
  user = u"stale";
  EXPECT_EQ(FindModuleUser(u"\\Windows\\unused.dll", user), 0);
  EXPECT_EQ(user, u"");
}

TEST_F(ProcessServicesTest, WithoutToolhelpNoProcessIsSeen) {
  HANDLE holder = Start(u"hold \\Windows\\plain.dll");
  ASSERT_TRUE(WaitForFile("Temp/held.flag"));
  ASSERT_TRUE(testing::SetProfileLine(device_, "toolhelp = true", "toolhelp = false"));
  std::u16string user = u"stale";
  EXPECT_EQ(FindModuleUser(u"plain.dll", user), 0);
  EXPECT_EQ(user, u"");
  EXPECT_EQ(CloseProcessesByName(u"probe.exe"), 1);
  EXPECT_EQ(WaitForProcessByName(u"probe.exe", 10000), 1);
  EXPECT_EQ(ExitCode(holder), STILL_ACTIVE);  // neither closed nor waited for
}

TEST_F(ProcessServicesTest, CloseProcessesByNameEndsEveryCopy) {
  HANDLE first = Start(u"wait");
  HANDLE second = Start(u"wait");
  HANDLE other = Start(u"wait", u"\\Windows\\other.exe");
  EXPECT_EQ(CloseProcessesByName(u"\\Elsewhere\\PROBE.exe"), 1);
  for (HANDLE process : {first, second}) {
    EXPECT_EQ(WaitForSingleObject(process, 0), WAIT_OBJECT_0);  // ended before it returned
    EXPECT_EQ(ExitCode(process), kClosedByName);
  }
  EXPECT_EQ(ExitCode(other), STILL_ACTIVE);
  EXPECT_EQ(CloseProcessesByName(u"probe.exe"), 1);  // none runs any more
  EXPECT_EQ(CloseProcessesByName(u"absent.exe"), 1);
}

TEST_F(ProcessServicesTest, WaitForProcessByNameWaitsForARunningCopy) {
  EXPECT_EQ(WaitForProcessByName(u"probe.exe", 10000), 1);  // none runs
  HANDLE process = Start(u"wait");
  Start(u"wait", u"\\Windows\\other.exe");
  auto before = steady_clock::now();
  EXPECT_EQ(WaitForProcessByName(u"\\Some\\Folder\\Probe.EXE", 200), 0);
  EXPECT_GE(steady_clock::now() - before, milliseconds(200));

  std::thread ender([process] {
    std::this_thread::sleep_for(milliseconds(200));
    TerminateProcess(process, 5);
  });
  EXPECT_EQ(WaitForProcessByName(u"\\Some\\Folder\\Probe.EXE", 10000), 1);
  ender.join();
  EXPECT_EQ(ExitCode(process), 5u);
}

}  // namespace
}  // namespace stowkit
