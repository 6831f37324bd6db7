// Per-thread message queues: posted messages in order, the quit request, and timers that
// become WM_TIMER when due. A queue is made on a thread's first use and forgotten when the
// thread ends; other threads (and the receiver of messages from other processes) reach it
// by thread id. A waiter learns of news through WakeFd, an eventfd written on every post.
//
// Lock order: a queue's lock is never held while the window table's lock is taken.
#pragma once

#include <chrono>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

#include "coredll/winuser.h"
#include "platform/device/host_files.h"

namespace coredll {

class MessageQueue {
 public:
  explicit MessageQueue(DWORD thread);

  DWORD thread() const { return thread_; }
  // Readable after a post since the last ClearWake.
  int WakeFd() const { return wake_.get(); }
  void ClearWake();

  void Post(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  void PostQuit(int exit_code);

  // Returns the timer's id: `id` for a window timer, a new one for a thread timer.
  UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT milliseconds, TIMERPROC function);
  bool KillTimer(HWND window, UINT_PTR id);
  void KillWindowTimers(std::span<const HWND> windows);

  // The next message for one of `windows` (any window or none when empty) within
  // min..max (0..0: all): posted messages first, then WM_QUIT, then a due timer.
  std::optional<MSG> Take(std::span<const HWND> windows, UINT min, UINT max, bool remove);
  // True when a message of the kinds in `wake_mask` (QS_ bits) can be taken now.
  bool HasInput(DWORD wake_mask);
  // Milliseconds until the first timer is due (0 if one is due); -1 without timers.
  int MillisecondsToNextTimer();
  // Blocks until a post since the last ClearWake, or until a timer is due.
  void WaitForNews();

 private:
  using Clock = std::chrono::steady_clock;
  struct Timer {
    HWND window;
    UINT_PTR id;
    std::chrono::milliseconds period;
    TIMERPROC function;
    Clock::time_point due;
  };

  std::optional<MSG> TakePosted(std::span<const HWND> windows, UINT min, UINT max, bool remove);
  std::optional<MSG> TakeTimer(std::span<const HWND> windows, UINT min, UINT max, bool remove);
  void Wake();

  const DWORD thread_;
  UniqueFd wake_;
  std::mutex mutex_;
  std::deque<MSG> posted_;
  std::optional<int> quit_code_;
  std::vector<Timer> timers_;
  UINT_PTR next_thread_timer_ = 1;
};

// The calling thread's queue, made on first use.
MessageQueue& CurrentQueue();
// The queue of a thread of this process, or null when it has none (or has ended).
std::shared_ptr<MessageQueue> QueueOfThread(DWORD thread);

inline constexpr int kWaitTimedOut = -1;
inline constexpr int kWaitFailed = -2;  // errno tells why

// Waits until one of `fds` is readable (its index), the calling thread's queue holds input
// of `wake_mask` (fds.size()), or `milliseconds` pass (kWaitTimedOut; INFINITE waits for
// ever). A descriptor of -1 is never readable. Descriptors are checked before the queue.
int WaitForInput(std::span<const int> fds, DWORD wake_mask, DWORD milliseconds);

}  // namespace coredll
