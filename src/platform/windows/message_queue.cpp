#include "platform/windows/message_queue.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>

#include "coredll/fileapi.h"
#include "coredll/process.h"

namespace coredll {
namespace {

using std::chrono::milliseconds;

bool InRange(UINT message, UINT min, UINT max) {
  return (min == 0 && max == 0) || (message >= min && message <= max);
}

bool ForWindows(HWND window, std::span<const HWND> windows) {
  return windows.empty() || std::find(windows.begin(), windows.end(), window) != windows.end();
}

MSG Message(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  return MSG{window, message, wparam, lparam, GetTickCount(), {0, 0}};
}

struct QueueRegistry {
  std::mutex mutex;
  std::map<DWORD, std::shared_ptr<MessageQueue>> queues;
};

QueueRegistry& Registry() {
  static QueueRegistry* registry = new QueueRegistry;  // outlives every thread's clean-up
  return *registry;
}

// Unlists the thread's queue when the thread ends; posts to it then find no thread.
struct ThreadQueue {
  std::shared_ptr<MessageQueue> queue;
  ~ThreadQueue() {
    if (!queue) return;
    QueueRegistry& r = Registry();
    std::lock_guard lock(r.mutex);
    r.queues.erase(queue->thread());
  }
};

}  // namespace

MessageQueue::MessageQueue(DWORD thread)
    : thread_(thread), wake_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

void MessageQueue::ClearWake() {
  uint64_t count;
  [[maybe_unused]] ssize_t n = read(wake_.get(), &count, sizeof count);
}

void MessageQueue::Wake() {
  uint64_t one = 1;
  [[maybe_unused]] ssize_t n = write(wake_.get(), &one, sizeof one);
}

void MessageQueue::Post(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  {
    std::lock_guard lock(mutex_);
    posted_.push_back(Message(window, message, wparam, lparam));
  }
  Wake();
}

void MessageQueue::PostQuit(int exit_code) {
  {
    std::lock_guard lock(mutex_);
    quit_code_ = exit_code;
  }
  Wake();
}

UINT_PTR MessageQueue::SetTimer(HWND window, UINT_PTR id, UINT ms, TIMERPROC function) {
  {
    std::lock_guard lock(mutex_);
    if (!window) id = next_thread_timer_++;
    std::erase_if(timers_, [&](const Timer& t) { return t.window == window && t.id == id; });
    timers_.push_back({window, id, milliseconds(ms), function, Clock::now() + milliseconds(ms)});
  }
  Wake();  // a waiter may need a shorter time-out now
  return id;
}

bool MessageQueue::KillTimer(HWND window, UINT_PTR id) {
  std::lock_guard lock(mutex_);
  return std::erase_if(timers_, [&](const Timer& t) { return t.window == window && t.id == id; }) > 0;
}

void MessageQueue::KillWindowTimers(std::span<const HWND> windows) {
  std::lock_guard lock(mutex_);
  std::erase_if(timers_, [&](const Timer& t) { return t.window && ForWindows(t.window, windows); });
}

std::optional<MSG> MessageQueue::TakePosted(std::span<const HWND> windows, UINT min, UINT max,
                                            bool remove) {
  for (auto it = posted_.begin(); it != posted_.end(); ++it) {
    if (!ForWindows(it->hwnd, windows) || !InRange(it->message, min, max)) continue;
    MSG found = *it;
    if (remove) posted_.erase(it);
    return found;
  }
  return std::nullopt;
}

std::optional<MSG> MessageQueue::TakeTimer(std::span<const HWND> windows, UINT min, UINT max,
                                           bool remove) {
  if (!InRange(WM_TIMER, min, max)) return std::nullopt;
  Clock::time_point now = Clock::now();
  Timer* first = nullptr;
  for (Timer& t : timers_) {
    if (t.due <= now && ForWindows(t.window, windows) && (!first || t.due < first->due)) first = &t;
  }
  if (!first) return std::nullopt;
  if (remove) first->due = now + first->period;
  return Message(first->window, WM_TIMER, first->id, reinterpret_cast<LPARAM>(first->function));
}

std::optional<MSG> MessageQueue::Take(std::span<const HWND> windows, UINT min, UINT max,
                                      bool remove) {
  std::lock_guard lock(mutex_);
  if (std::optional<MSG> posted = TakePosted(windows, min, max, remove)) return posted;
  if (quit_code_) {  // taken whatever the filter says
    MSG quit = Message(nullptr, WM_QUIT, WPARAM(*quit_code_), 0);
    if (remove) quit_code_.reset();
    return quit;
  }
  return TakeTimer(windows, min, max, remove);
}

bool MessageQueue::HasInput(DWORD wake_mask) {
  std::lock_guard lock(mutex_);
  if ((wake_mask & QS_POSTMESSAGE) && (!posted_.empty() || quit_code_)) return true;
  if (!(wake_mask & QS_TIMER)) return false;
  Clock::time_point now = Clock::now();
  return std::any_of(timers_.begin(), timers_.end(), [&](const Timer& t) { return t.due <= now; });
}

int MessageQueue::MillisecondsToNextTimer() {
  std::lock_guard lock(mutex_);
  if (timers_.empty()) return -1;
  Clock::time_point first = timers_.front().due;
  for (const Timer& t : timers_) first = std::min(first, t.due);
  auto wait = std::chrono::ceil<milliseconds>(first - Clock::now()).count();
  return int(std::clamp<int64_t>(wait, 0, INT32_MAX));
}

void MessageQueue::WaitForNews() {
  struct pollfd p = {wake_.get(), POLLIN, 0};
  while (poll(&p, 1, MillisecondsToNextTimer()) < 0 && errno == EINTR) {}
}

MessageQueue& CurrentQueue() {
  thread_local ThreadQueue mine;
  if (!mine.queue) {
    mine.queue = std::make_shared<MessageQueue>(GetCurrentThreadId());
    QueueRegistry& r = Registry();
    std::lock_guard lock(r.mutex);
    r.queues[mine.queue->thread()] = mine.queue;
  }
  return *mine.queue;
}

std::shared_ptr<MessageQueue> QueueOfThread(DWORD thread) {
  QueueRegistry& r = Registry();
  std::lock_guard lock(r.mutex);
  auto it = r.queues.find(thread);
  return it == r.queues.end() ? nullptr : it->second;
}

int WaitForInput(std::span<const int> fds, DWORD wake_mask, DWORD ms) {
  MessageQueue& queue = CurrentQueue();
  auto deadline = std::chrono::steady_clock::now() + milliseconds(ms);
  std::vector<struct pollfd> polled;
  for (int fd : fds) polled.push_back({fd, POLLIN, 0});
  polled.push_back({queue.WakeFd(), POLLIN, 0});
  for (;;) {
    queue.ClearWake();
    bool input = queue.HasInput(wake_mask);
    int timeout = -1;
    if (ms != INFINITE) {
      auto left = std::chrono::ceil<milliseconds>(deadline - std::chrono::steady_clock::now());
      timeout = int(std::clamp<int64_t>(left.count(), 0, INT32_MAX));
    }
    int next_timer = (wake_mask & QS_TIMER) ? queue.MillisecondsToNextTimer() : -1;
    if (next_timer >= 0 && (timeout < 0 || next_timer < timeout)) timeout = next_timer;
    int n = poll(polled.data(), polled.size(), input ? 0 : timeout);
    if (n < 0 && errno != EINTR) return kWaitFailed;
    for (size_t i = 0; n > 0 && i < fds.size(); ++i) {
      if (polled[i].revents) return int(i);
    }
    if (input) return int(fds.size());
    if (ms != INFINITE && std::chrono::steady_clock::now() >= deadline) return kWaitTimedOut;
  }
}

}  // namespace coredll
