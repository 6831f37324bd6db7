// Per-thread message queues: order, filters, quit, timers, and waits on handles and input.
#include <chrono>
#include <future>
#include <thread>

#include <gtest/gtest.h>

#include "coredll/windows.h"
#include "support/temp_device.h"

namespace stowkit {
namespace {

using Clock = std::chrono::steady_clock;

long MillisecondsSince(Clock::time_point start) {
  return long(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

// Records what a window procedure saw.
struct Seen {
  std::vector<UINT> messages;
  std::vector<WPARAM> wparams;
};
thread_local Seen* seen = nullptr;

LRESULT Recording(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (seen) {
    seen->messages.push_back(message);
    seen->wparams.push_back(wparam);
  }
  return message == WM_USER + 7 ? 77 : DefWindowProcW(window, message, wparam, lparam);
}

class QueueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static bool registered = false;
    if (!registered) {
      WNDCLASSW window_class = {};
      window_class.lpfnWndProc = Recording;
      window_class.lpszClassName = u"QueueTestWindow";
      ASSERT_TRUE(RegisterClassW(&window_class));
      registered = true;
    }
    seen = &seen_;
    DrainQueue();
  }
  void TearDown() override {
    for (HWND w : windows_) DestroyWindow(w);
    DrainQueue();
    seen = nullptr;
  }

  HWND NewWindow() {
    HWND w = CreateWindowExW(0, u"QueueTestWindow", u"queue test", 0, 0, 0, 10, 10, nullptr,
                             nullptr, nullptr, nullptr);
    EXPECT_NE(w, nullptr) << GetLastError();
    windows_.push_back(w);
    return w;
  }

  static void DrainQueue() {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {}
  }

  testing::TempDevice device_;
  Seen seen_;
  std::vector<HWND> windows_;
};

TEST_F(QueueTest, PostedMessagesComeInOrderAndQuitComesLast) {
  HWND window = NewWindow();
  ASSERT_TRUE(PostMessageW(window, WM_USER + 1, 10, 0));
  ASSERT_TRUE(PostMessageW(nullptr, WM_USER + 2, 20, 0));  // a thread message
  PostQuitMessage(5);
  ASSERT_TRUE(PostMessageW(window, WM_USER + 3, 30, 0));

  MSG m;
  ASSERT_TRUE(PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(m.message, WM_USER + 1u);
  ASSERT_TRUE(PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(m.message, WM_USER + 1u) << "PM_NOREMOVE leaves the message";

  std::vector<UINT> order;
  BOOL got;
  while ((got = GetMessageW(&m, nullptr, 0, 0)) > 0) order.push_back(m.message);
  EXPECT_EQ(order, (std::vector<UINT>{WM_USER + 1, WM_USER + 2, WM_USER + 3}));
  EXPECT_EQ(got, FALSE);
  EXPECT_EQ(m.message, UINT(WM_QUIT));
  EXPECT_EQ(m.wParam, 5u);
  EXPECT_FALSE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) << "the quit message is taken once";
}

TEST_F(QueueTest, FiltersTakeOnlyWhatTheyName) {
  HWND first = NewWindow(), second = NewWindow();
  PostMessageW(first, WM_USER + 1, 0, 0);
  PostMessageW(second, WM_USER + 2, 0, 0);
  PostMessageW(first, WM_USER + 3, 0, 0);
  MSG m;
  ASSERT_TRUE(PeekMessageW(&m, second, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.message, WM_USER + 2u);
  ASSERT_TRUE(PeekMessageW(&m, nullptr, WM_USER + 3, WM_USER + 9, PM_REMOVE));
  EXPECT_EQ(m.message, WM_USER + 3u);
  EXPECT_FALSE(PeekMessageW(&m, second, 0, 0, PM_REMOVE));
  ASSERT_TRUE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.message, WM_USER + 1u);
  EXPECT_EQ(GetMessageW(&m, reinterpret_cast<HWND>(uintptr_t(0x1234)), 0, 0), -1);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_WINDOW_HANDLE));
}

TEST_F(QueueTest, DispatchAndSendCallTheProcedureOfTheThreadsOwnWindows) {
  HWND window = NewWindow();
  EXPECT_EQ(SendMessageW(window, WM_USER + 7, 1, 0), 77);
  PostMessageW(window, WM_USER + 8, 2, 0);
  MSG m;
  ASSERT_TRUE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));
  EXPECT_FALSE(TranslateMessage(&m)) << "there are no key messages";
  DispatchMessageW(&m);
  EXPECT_EQ(seen_.wparams.back(), 2u);

  // Another thread may post to the window but not call it.
  std::thread([&] {
    EXPECT_EQ(SendMessageW(window, WM_USER + 7, 0, 0), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_WINDOW_OF_OTHER_THREAD));
    EXPECT_FALSE(DestroyWindow(window));
    EXPECT_TRUE(PostMessageW(window, WM_USER + 9, 3, 0));
  }).join();
  ASSERT_TRUE(PeekMessageW(&m, window, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.message, WM_USER + 9u);
}

TEST_F(QueueTest, ThreadMessagesReachTheThreadThatAsks) {
  std::promise<DWORD> ready;
  std::thread worker([&] {
    MSG m;
    PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE);  // makes the queue
    ready.set_value(GetCurrentThreadId());
    ASSERT_GT(GetMessageW(&m, nullptr, 0, 0), 0);
    EXPECT_EQ(m.message, WM_USER + 4u);
    EXPECT_EQ(m.lParam, 44);
    EXPECT_EQ(m.hwnd, nullptr);
  });
  DWORD id = ready.get_future().get();
  EXPECT_TRUE(PostThreadMessageW(id, WM_USER + 4, 0, 44));
  worker.join();
  EXPECT_FALSE(PostThreadMessageW(id, WM_USER + 4, 0, 44)) << "its queue ended with it";
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_THREAD_ID));
}

int timer_calls = 0;
void CountTimer(HWND, UINT, UINT_PTR, DWORD) { ++timer_calls; }

TEST_F(QueueTest, TimersFireWhenDueAndStopWhenKilled) {
  HWND window = NewWindow();
  Clock::time_point start = Clock::now();
  EXPECT_EQ(SetTimer(window, 9, 60, nullptr), 9u);
  MSG m;
  ASSERT_GT(GetMessageW(&m, nullptr, 0, 0), 0);
  EXPECT_EQ(m.message, UINT(WM_TIMER));
  EXPECT_EQ(m.hwnd, window);
  EXPECT_EQ(m.wParam, 9u);
  EXPECT_GE(MillisecondsSince(start), 55);
  EXPECT_FALSE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) << "the period starts again";
  EXPECT_TRUE(KillTimer(window, 9));
  EXPECT_FALSE(KillTimer(window, 9));

  UINT_PTR id = SetTimer(nullptr, 0, 10, CountTimer);  // a thread timer with a function
  ASSERT_NE(id, 0u);
  ASSERT_GT(GetMessageW(&m, nullptr, 0, 0), 0);
  DispatchMessageW(&m);
  EXPECT_EQ(timer_calls, 1);
  KillTimer(nullptr, id);
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_FALSE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(QueueTest, MsgWaitReturnsForHandlesInputOrTimeOut) {
  Clock::time_point start = Clock::now();
  HANDLE self = GetCurrentProcess();
  EXPECT_EQ(MsgWaitForMultipleObjectsEx(1, &self, 150, QS_ALLINPUT, 0), DWORD(WAIT_TIMEOUT));
  EXPECT_GE(MillisecondsSince(start), 145) << "the pseudo handle is never signalled";

  PostMessageW(nullptr, WM_USER, 0, 0);  // already waiting: nothing is lost
  EXPECT_EQ(MsgWaitForMultipleObjectsEx(1, &self, 5000, QS_ALLINPUT, 0), WAIT_OBJECT_0 + 1);
  EXPECT_EQ(MsgWaitForMultipleObjectsEx(1, &self, 0, QS_TIMER, 0), DWORD(WAIT_TIMEOUT))
      << "a posted message is not timer input";
  DrainQueue();

  DWORD me = GetCurrentThreadId();
  std::thread poster([me] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    PostThreadMessageW(me, WM_USER, 0, 0);
  });
  start = Clock::now();
  EXPECT_EQ(MsgWaitForMultipleObjectsEx(0, nullptr, 5000, QS_ALLINPUT, 0), WAIT_OBJECT_0);
  EXPECT_GE(MillisecondsSince(start), 90);
  poster.join();
  DrainQueue();

  HANDLE ended = CreateThread(nullptr, 0, [](LPVOID) -> DWORD { return 0; }, nullptr, 0, nullptr);
  HANDLE waits[2] = {self, ended};
  EXPECT_EQ(MsgWaitForMultipleObjectsEx(2, waits, 5000, QS_ALLINPUT, 0), WAIT_OBJECT_0 + 1);
  CloseHandle(ended);
}

TEST_F(QueueTest, MsgWaitRefusesBadArguments) {
  HANDLE bogus = reinterpret_cast<HANDLE>(uintptr_t(0x7777));
  EXPECT_EQ(MsgWaitForMultipleObjectsEx(1, &bogus, 0, QS_ALLINPUT, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  EXPECT_EQ(MsgWaitForMultipleObjectsEx(1, nullptr, 0, QS_ALLINPUT, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(MsgWaitForMultipleObjectsEx(0, nullptr, 0, QS_ALLINPUT, 1), WAIT_FAILED);
  EXPECT_EQ(MsgWaitForMultipleObjectsEx(MAXIMUM_WAIT_OBJECTS, &bogus, 0, QS_ALLINPUT, 0), WAIT_FAILED);
}

}  // namespace
}  // namespace stowkit
