// Windows across the device: real device programs with windows, found, named and posted to
// from this process, and broadcasts that reach every top-level window.
#include <chrono>
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "coredll/windows.h"
#include "support/child_process.h"
#include "support/temp_device.h"

namespace stowkit {
namespace {

using testing::BinPath;
using testing::TempDevice;

class DeviceWindowTest : public ::testing::Test {
 protected:
  void SetUp() override { device_.Install(BinPath("windowed"), "Windows/windowed.exe"); }
  void TearDown() override {
    for (HANDLE h : started_) {
      TerminateProcess(h, 0);
      WaitForSingleObject(h, 5000);
      CloseHandle(h);
    }
    for (HWND w : own_) DestroyWindow(w);
  }

  HANDLE Start(std::u16string command_line, DWORD* pid = nullptr) {
    PROCESS_INFORMATION info = {};
    EXPECT_TRUE(CreateProcessW(u"\\Windows\\windowed.exe", command_line.data(), nullptr, nullptr,
                               FALSE, 0, nullptr, nullptr, nullptr, &info))
        << GetLastError();
    CloseHandle(info.hThread);
    started_.push_back(info.hProcess);
    if (pid) *pid = info.dwProcessId;
    return info.hProcess;
  }

  // A device program's window, once it has said it is ready.
  HWND WaitForWindow(const std::string& title) {
    for (int i = 0; i < 500 && !std::filesystem::exists(device_.Host("Temp/" + title + ".ready")); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return FindWindowW(u"ProbeWindow", Utf16(title).c_str());
  }

  // Waits until the program's message log reads `expected`.
  std::string WaitForLog(const std::string& title, const std::string& expected) {
    std::string log;
    for (int i = 0; i < 500 && (log = testing::ReadHostFile(device_.Host("Temp/" + title + ".log"))) != expected; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return log;
  }

  static std::u16string Utf16(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

  static DWORD ExitCode(HANDLE process) {
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    return code;
  }

  TempDevice device_;
  std::vector<HANDLE> started_;
  std::vector<HWND> own_;
};

TEST_F(DeviceWindowTest, AnotherProcesssWindowIsFoundNamedAndPostedTo) {
  DWORD pid = 0;
  HANDLE process = Start(u"window One close", &pid);
  HWND window = WaitForWindow("One");
  ASSERT_NE(window, nullptr);
  DWORD owner = 0;
  EXPECT_NE(GetWindowThreadProcessId(window, &owner), 0u);
  EXPECT_EQ(owner, pid);
  EXPECT_TRUE(IsWindow(window));
  WCHAR title[16];
  EXPECT_EQ(GetWindowTextW(window, title, 16), 3);
  EXPECT_EQ(std::u16string(title), u"One");
  EXPECT_EQ(GetWindow(window, GW_HWNDFIRST), window);

  ASSERT_TRUE(PostMessageW(window, WM_USER + 5, 6, -7));
  EXPECT_EQ(WaitForLog("One", "1029 6 -7\n"), "1029 6 -7\n");
  SendMessageW(window, WM_USER, 0, 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_WINDOW_OF_OTHER_THREAD)) << "only posting crosses processes";

  ASSERT_TRUE(PostMessageW(window, WM_CLOSE, 0, 0));
  ASSERT_EQ(WaitForSingleObject(process, 5000), WAIT_OBJECT_0);
  EXPECT_EQ(ExitCode(process), 42u);
  EXPECT_EQ(FindWindowW(u"ProbeWindow", u"One"), nullptr);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_FALSE(PostMessageW(window, WM_USER, 0, 0));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_WINDOW_HANDLE));
}

TEST_F(DeviceWindowTest, AProgramThatIgnoresCloseKeepsRunning) {
  HANDLE process = Start(u"window Stubborn ignore");
  HWND window = WaitForWindow("Stubborn");
  ASSERT_NE(window, nullptr);
  PostMessageW(window, WM_CLOSE, 0, 0);
  PostMessageW(window, WM_USER + 1, 0, 0);  // arrives after the close was handled
  EXPECT_EQ(WaitForLog("Stubborn", "1025 0 0\n"), "1025 0 0\n");
  EXPECT_EQ(WaitForSingleObject(process, 0), DWORD(WAIT_TIMEOUT));
  EXPECT_TRUE(IsWindow(window));
}

LRESULT Plain(HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcW(w, m, wp, lp); }

TEST_F(DeviceWindowTest, ABroadcastReachesEveryTopLevelWindowOfTheDevice) {
  Start(u"window Left close");
  Start(u"window Right close");
  ASSERT_NE(WaitForWindow("Left"), nullptr);
  ASSERT_NE(WaitForWindow("Right"), nullptr);
  WNDCLASSW window_class = {};
  window_class.lpfnWndProc = Plain;
  window_class.lpszClassName = u"BroadcastCatcher";
  RegisterClassW(&window_class);
  HWND mine = CreateWindowExW(0, u"BroadcastCatcher", u"mine", 0, 0, 0, 1, 1, nullptr, nullptr,
                              nullptr, nullptr);
  ASSERT_NE(mine, nullptr);
  own_.push_back(mine);

  ASSERT_TRUE(PostMessageW(HWND_BROADCAST, WM_USER + 2, 0, 99));
  EXPECT_EQ(WaitForLog("Left", "1026 0 99\n"), "1026 0 99\n");
  EXPECT_EQ(WaitForLog("Right", "1026 0 99\n"), "1026 0 99\n");
  MSG m;
  ASSERT_TRUE(PeekMessageW(&m, mine, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.message, WM_USER + 2u);

  // From a device program too; this test's window is not listed, so only it is passed over.
  HANDLE sender = Start(u"broadcast 1027 5");
  ASSERT_EQ(WaitForSingleObject(sender, 5000), WAIT_OBJECT_0);
  EXPECT_EQ(ExitCode(sender), 0u);
  EXPECT_EQ(WaitForLog("Left", "1026 0 99\n1027 0 5\n"), "1026 0 99\n1027 0 5\n");
  EXPECT_EQ(WaitForLog("Right", "1026 0 99\n1027 0 5\n"), "1026 0 99\n1027 0 5\n");
}

TEST_F(DeviceWindowTest, TheProgressClassExistsOnlyAfterTheCommonControlsAreInitialised) {
  HANDLE process = Start(u"progress-class");
  ASSERT_EQ(WaitForSingleObject(process, 5000), WAIT_OBJECT_0);
  EXPECT_EQ(ExitCode(process), DWORD(ERROR_CANNOT_FIND_WND_CLASS));
}

}  // namespace
}  // namespace stowkit
