// The process services that deal in windows and messages: waits that keep serving the
// caller's messages, and closing programs through their windows before terminating them.
#include "services/process_services.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "support/child_process.h"
#include "support/device_programs.h"
#include "support/temp_device.h"

namespace stowkit {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;
using testing::BinPath;

constexpr DWORD kClosedByName = 0x80004004u;
constexpr DWORD kClosedOnRequest = 42;  // the test program's own code when it closes

long MillisecondsSince(Clock::time_point start) {
  return long(std::chrono::duration_cast<milliseconds>(Clock::now() - start).count());
}

std::atomic<int> dispatched{0};

LRESULT Counting(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_USER) ++dispatched;
  return DefWindowProcW(window, message, wparam, lparam);
}

class WaitWithMessagesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WNDCLASSW window_class = {};
    window_class.lpfnWndProc = Counting;
    window_class.lpszClassName = u"WaitCounter";
    RegisterClassW(&window_class);
    window_ = CreateWindowExW(0, u"WaitCounter", u"", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window_, nullptr);
    dispatched = 0;
  }
  void TearDown() override { DestroyWindow(window_); }

  // Posts WM_USER to the window `count` times, `every` apart, from another thread.
  std::thread Poster(int count, milliseconds every) {
    return std::thread([this, count, every] {
      for (int i = 0; i < count; ++i) {
        std::this_thread::sleep_for(every);
        PostMessageW(window_, WM_USER, 0, 0);
      }
    });
  }

  testing::TempDevice device_;
  HWND window_ = nullptr;
};

TEST_F(WaitWithMessagesTest, ANullHandleIsAPauseThatDispatchesWhatArrives) {
  std::thread poster = Poster(3, milliseconds(20));
  Clock::time_point start = Clock::now();
  EXPECT_EQ(WaitWithMessages(nullptr, 1500), 0);
  long waited = MillisecondsSince(start);
  poster.join();
  EXPECT_GE(waited, 1450);
  EXPECT_LT(waited, 3000);
  EXPECT_EQ(dispatched, 3);
}

TEST_F(WaitWithMessagesTest, MessagesComingEvery100MsKeepItWaiting) {
  std::thread poster = Poster(10, milliseconds(100));
  Clock::time_point start = Clock::now();
  EXPECT_EQ(WaitWithMessages(nullptr, 300), 0);
  long waited = MillisecondsSince(start);
  poster.join();
  EXPECT_GE(waited, 1250) << "the time-out starts again after each message";
  EXPECT_EQ(dispatched, 10);
}

TEST_F(WaitWithMessagesTest, AQuitMessageIsTakenButEndsNothing) {
  PostQuitMessage(3);
  PostMessageW(window_, WM_USER, 0, 0);
  Clock::time_point start = Clock::now();
  EXPECT_EQ(WaitWithMessages(nullptr, 200), 0);
  EXPECT_GE(MillisecondsSince(start), 190);
  EXPECT_EQ(dispatched, 1);
  MSG message;
  EXPECT_FALSE(PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) << "the quit message was taken";
}

TEST_F(WaitWithMessagesTest, ASignalledObjectEndsTheWait) {
  HANDLE thread = CreateThread(nullptr, 0, [](LPVOID) -> DWORD {
    std::this_thread::sleep_for(milliseconds(100));
    return 0;
  }, nullptr, 0, nullptr);
  EXPECT_EQ(WaitWithMessages(thread, 5000), 1);
  CloseHandle(thread);
  EXPECT_EQ(WaitWithMessages(reinterpret_cast<HANDLE>(uintptr_t(0x7777)), 100), 0) << "failure";
}

class CloseByWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    device_.Install(BinPath("windowed"), "Windows/windowed.exe");
    device_.Install(BinPath("probe"), "Windows/probe.exe");
  }

  HANDLE Start(std::u16string command_line, const char16_t* program = u"\\Windows\\windowed.exe") {
    HANDLE process = programs_.Start(std::move(command_line), program);
    return process;
  }

  bool WaitForFile(const std::string& relative) { return programs_.WaitForFile(relative); }

  static DWORD ExitCode(HANDLE process) { return testing::StartedPrograms::ExitCode(process); }

  testing::TempDevice device_;
  testing::StartedPrograms programs_{device_};
};

TEST_F(CloseByWindowTest, AClassNoWindowHasPostsNothing) {
  Start(u"window Bystander close");
  ASSERT_TRUE(WaitForFile("Temp/Bystander.ready"));
  EXPECT_EQ(CloseWindowProcess(u"NoSuchClass", WM_USER + 1, 0, 0, true), 1);
  std::this_thread::sleep_for(milliseconds(100));
  EXPECT_FALSE(std::filesystem::exists(device_.Host("Temp/Bystander.log")));
  EXPECT_NE(FindWindowW(u"ProbeWindow", u"Bystander"), nullptr);
}

TEST_F(CloseByWindowTest, AProgramThatClosesOnRequestEndsAndCountsAsClosed) {
  HANDLE process = Start(u"window Obliging close");
  ASSERT_TRUE(WaitForFile("Temp/Obliging.ready"));
  EXPECT_EQ(CloseWindowProcess(u"probewindow", WM_CLOSE, 0, 0, true), 0);
  EXPECT_EQ(WaitForSingleObject(process, 0), WAIT_OBJECT_0) << "it ended before the call returned";
  EXPECT_EQ(ExitCode(process), kClosedOnRequest);
}

TEST_F(CloseByWindowTest, AProgramThatStaysIsTerminatedWhenAskedTo) {
  HANDLE process = Start(u"window Stubborn ignore");
  ASSERT_TRUE(WaitForFile("Temp/Stubborn.ready"));
  Clock::time_point start = Clock::now();
  EXPECT_EQ(CloseWindowProcess(u"ProbeWindow", WM_CLOSE, 0, 0, true), 1);
  EXPECT_GE(MillisecondsSince(start), 9900) << "it was given its ten seconds";
  ASSERT_EQ(WaitForSingleObject(process, 5000), WAIT_OBJECT_0);
  EXPECT_EQ(ExitCode(process), 0u);
  EXPECT_EQ(FindWindowW(u"ProbeWindow", nullptr), nullptr);
}

TEST_F(CloseByWindowTest, ClosingByNameAsksAWindowedProgramAndTerminatesOneWithout) {
  HANDLE windowed = Start(u"window Polite close");
  HANDLE plain = Start(u"wait", u"\\Windows\\probe.exe");
  ASSERT_TRUE(WaitForFile("Temp/Polite.ready"));
  ASSERT_TRUE(WaitForFile("Temp/waiting.flag"));

  Clock::time_point start = Clock::now();
  EXPECT_EQ(CloseProcessesByName(u"\\Windows\\WINDOWED.EXE"), 1);
  ASSERT_EQ(WaitForSingleObject(windowed, 5000), WAIT_OBJECT_0);
  EXPECT_EQ(ExitCode(windowed), kClosedOnRequest) << "it closed itself";

  EXPECT_EQ(CloseProcessesByName(u"probe.exe"), 1);
  ASSERT_EQ(WaitForSingleObject(plain, 5000), WAIT_OBJECT_0);
  EXPECT_EQ(ExitCode(plain), kClosedByName);
  EXPECT_LT(MillisecondsSince(start), 5000) << "neither waited out the ten seconds";
}

}  // namespace
}  // namespace stowkit
