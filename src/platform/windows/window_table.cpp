#include "platform/windows/window_table.h"

#include <unistd.h>

#include <algorithm>
#include <map>

#include "platform/device/errors.h"
#include "platform/processes/process_self.h"

namespace coredll {
namespace {

constexpr uintptr_t kSequenceLimit = uintptr_t(1) << kWindowSequenceBits;
constexpr uintptr_t kBroadcast = 0xFFFF;

struct Table {
  std::mutex mutex;
  std::map<HWND, Window> windows;
  std::vector<HWND> order;  // creation order, for top-level listing
  uintptr_t last_sequence = 0;
};

Table& Windows() {
  static Table* table = new Table;  // outlives every thread's clean-up
  return *table;
}

// A free handle of this process, or null when every sequence number is taken.
HWND NewHandle(Table& t) {
  uintptr_t base = uintptr_t(getpid()) << kWindowSequenceBits;
  for (uintptr_t tried = 1; tried < kSequenceLimit; ++tried) {
    t.last_sequence = t.last_sequence % (kSequenceLimit - 1) + 1;
    HWND candidate = reinterpret_cast<HWND>(base | t.last_sequence);
    if ((base | t.last_sequence) != kBroadcast && !t.windows.count(candidate)) return candidate;
  }
  return nullptr;
}

// Forgets the windows of a thread when it ends. Their procedures are not called: the data
// they work on may have ended with the thread.
struct ThreadWindows {
  bool made = false;
  ~ThreadWindows() {
    if (made) RemoveWindows(WindowsOfThread(DWORD(gettid())));
  }
};

std::vector<WindowRecord> TopLevelRecords(const Table& t) {
  std::vector<WindowRecord> records;
  for (HWND hwnd : t.order) {
    const Window& w = t.windows.at(hwnd);
    if (w.top_level()) {
      records.push_back({DWORD(reinterpret_cast<uintptr_t>(hwnd)), w.thread, w.class_name, w.text});
    }
  }
  return records;
}

}  // namespace

DWORD ProcessOfWindow(HWND window) {
  return DWORD(reinterpret_cast<uintptr_t>(window) >> kWindowSequenceBits);
}

std::unique_lock<std::mutex> LockWindows() { return std::unique_lock(Windows().mutex); }

Window* FindLocked(HWND window) {
  auto& windows = Windows().windows;
  auto it = windows.find(window);
  return it == windows.end() ? nullptr : &it->second;
}

HWND AddWindow(Window window) {
  thread_local ThreadWindows mine;
  Table& t = Windows();
  std::lock_guard lock(t.mutex);
  window.hwnd = NewHandle(t);
  if (!window.hwnd) return nullptr;
  if (Window* parent = window.top_level() ? nullptr : FindLocked(window.parent)) {
    parent->children.push_back(window.hwnd);
  }
  mine.made = true;
  t.order.push_back(window.hwnd);
  HWND hwnd = window.hwnd;
  t.windows.emplace(hwnd, std::move(window));
  return hwnd;
}

void RemoveWindows(const std::vector<HWND>& doomed) {
  Table& t = Windows();
  {
    std::lock_guard lock(t.mutex);
    for (HWND hwnd : doomed) {
      auto it = t.windows.find(hwnd);
      if (it == t.windows.end()) continue;
      if (Window* parent = it->second.top_level() ? nullptr : FindLocked(it->second.parent)) {
        std::erase(parent->children, hwnd);
      }
      t.windows.erase(it);
      std::erase(t.order, hwnd);
    }
  }
  ListWindowsInProcessTable();
}

std::optional<Window> WindowCopy(HWND window) {
  return WithWindow(window, [](Window* w) { return w ? std::optional<Window>(*w) : std::nullopt; });
}

std::vector<HWND> WindowAndDescendants(HWND window) {
  std::lock_guard lock(Windows().mutex);
  std::vector<HWND> all;
  if (FindLocked(window)) all.push_back(window);
  for (size_t i = 0; i < all.size(); ++i) {
    const Window* w = FindLocked(all[i]);
    all.insert(all.end(), w->children.begin(), w->children.end());
  }
  return all;
}

std::vector<Window> TopLevelWindows() {
  Table& t = Windows();
  std::lock_guard lock(t.mutex);
  std::vector<Window> list;
  for (HWND hwnd : t.order) {
    const Window& w = t.windows.at(hwnd);
    if (w.top_level()) list.push_back(w);
  }
  return list;
}

std::vector<HWND> WindowsOfThread(DWORD thread) {
  Table& t = Windows();
  std::lock_guard lock(t.mutex);
  std::vector<HWND> list;
  for (HWND hwnd : t.order) {
    if (t.windows.at(hwnd).thread == thread) list.push_back(hwnd);
  }
  return list;
}

void ListWindowsInProcessTable() {
  Table& t = Windows();
  std::lock_guard lock(t.mutex);  // held while writing, so an older list never wins
  SetSelfWindows(TopLevelRecords(t));
}

}  // namespace coredll
