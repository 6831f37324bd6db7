#include "platform/windows/device_windows.h"

#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <mutex>

#include "platform/device/device_state.h"
#include "platform/device/host_files.h"
#include "platform/processes/process_table.h"
#include "platform/windows/window_table.h"

namespace coredll {
namespace {

HWND Handle(DWORD value) { return reinterpret_cast<HWND>(uintptr_t(value)); }

ListedWindow Own(const Window& w) {
  return {w.hwnd, DWORD(getpid()), w.thread, w.class_name, w.text};
}

std::vector<ListedWindow> Listed(const ProcessRecord& record) {
  std::vector<ListedWindow> list;
  for (const WindowRecord& w : record.windows) {
    list.push_back({Handle(w.hwnd), record.id.pid, w.thread, w.class_name, w.title});
  }
  return list;
}

// Without a device there is nothing to share the foreground with.
struct LocalForeground {
  std::mutex mutex;
  HWND window = nullptr;
};

LocalForeground& Local() {
  static LocalForeground* local = new LocalForeground;
  return *local;
}

}  // namespace

std::vector<ListedWindow> DeviceWindows() {
  std::vector<ListedWindow> all;
  for (const ProcessRecord& record : LiveProcesses()) {
    if (record.id.pid == DWORD(getpid())) continue;  // the table's copy may lag behind
    std::vector<ListedWindow> theirs = Listed(record);
    all.insert(all.end(), theirs.begin(), theirs.end());
  }
  std::vector<ListedWindow> own;
  for (const Window& w : TopLevelWindows()) own.push_back(Own(w));
  auto at = std::find_if(all.begin(), all.end(),
                         [](const ListedWindow& w) { return w.process > DWORD(getpid()); });
  all.insert(at, own.begin(), own.end());
  return all;
}

std::optional<ListedWindow> FindDeviceWindow(HWND window) {
  DWORD process = ProcessOfWindow(window);
  if (process == DWORD(getpid())) {
    std::optional<Window> w = WindowCopy(window);
    return w ? std::optional(Own(*w)) : std::nullopt;
  }
  std::optional<ProcessRecord> record = FindLiveProcess(process);
  if (!record) return std::nullopt;
  for (ListedWindow& w : Listed(*record)) {
    if (w.hwnd == window) return w;
  }
  return std::nullopt;
}

void SetForeground(HWND window) {
  std::string run = RunFolder();
  if (run.empty()) {
    std::lock_guard lock(Local().mutex);
    Local().window = window;
    return;
  }
  WriteHostFile(run + "/foreground", std::to_string(reinterpret_cast<uintptr_t>(window)) + "\n",
                false);
}

HWND Foreground() {
  std::string run = RunFolder();
  HWND window = nullptr;
  if (run.empty()) {
    std::lock_guard lock(Local().mutex);
    window = Local().window;
  } else {
    std::ifstream in(run + "/foreground");
    uintptr_t value = 0;
    in >> value;
    window = reinterpret_cast<HWND>(value);
  }
  return window && FindDeviceWindow(window) ? window : nullptr;
}

}  // namespace coredll
