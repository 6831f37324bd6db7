// This process's windows. A window handle is (process id << 10) | sequence, the sequence
// running 1..1023 and skipping values in use, so that handles are unique on the device and
// fit the 32 bits in which command lines and messages carry them. Top-level windows are
// copied into this process's record in the device's process table whenever one is made,
// destroyed or retitled.
//
// Window state is guarded by one lock; window procedures are always called without it.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "coredll/winuser.h"
#include "platform/processes/process_table.h"

namespace coredll {

inline constexpr unsigned kWindowSequenceBits = 10;

// What a dialog window keeps beyond a plain window.
struct DialogState {
  DLGPROC procedure = nullptr;
  LONG_PTR user = 0;
  LONG_PTR message_result = 0;
  bool done_button = false;           // the shell's Done button in the title bar
  bool full_width = false;            // sized to the screen by the shell
};

// A message box's content, which the screen draws and its key handling reads.
struct MessageBoxContent {
  std::u16string text;
  UINT type = 0;  // MB_ bits
  std::optional<int> answer;
};

struct ProgressRange {
  int low = 0;
  int high = 100;
  int position = 0;
  int step = 10;
};

// Position and size in dialog units: of a dialog from its template, of its controls.
struct DialogUnits {
  int x = 0, y = 0, width = 0, height = 0;
};

struct Window {
  HWND hwnd = nullptr;
  DWORD thread = 0;
  std::u16string class_name;
  WNDPROC procedure = nullptr;
  std::u16string text;
  DWORD style = 0;
  DWORD ex_style = 0;
  HWND parent = nullptr;  // of a child; the owner of a top-level window
  int id = 0;
  LONG_PTR user_data = 0;
  std::vector<HWND> children;  // in the order they were made
  DialogUnits placement;
  std::optional<DialogState> dialog;
  std::optional<MessageBoxContent> box;
  HICON image = nullptr;  // of a static control
  ProgressRange bar;
  bool destroying = false;

  bool top_level() const { return !(style & WS_CHILD); }
  bool visible() const { return style & WS_VISIBLE; }
};

// The process id encoded in a window handle.
DWORD ProcessOfWindow(HWND window);

// Adds `window` under a new handle and lists it with its parent: the handle, or null when
// this process has 1023 windows (ERROR_NOT_ENOUGH_MEMORY for the caller to report).
HWND AddWindow(Window window);
// Forgets the windows (already told of their end) and lists what remains.
void RemoveWindows(const std::vector<HWND>& windows);

// A copy of the window's state, taken under the lock.
std::optional<Window> WindowCopy(HWND window);
// `window` and every window below it, parents before children.
std::vector<HWND> WindowAndDescendants(HWND window);
// This process's top-level windows in the order they were made.
std::vector<Window> TopLevelWindows();
// This process's windows of one thread.
std::vector<HWND> WindowsOfThread(DWORD thread);

// Writes this process's top-level windows into its process record (device processes).
void ListWindowsInProcessTable();

// The table's lock, and a window found while holding it (nullptr when there is none).
std::unique_lock<std::mutex> LockWindows();
Window* FindLocked(HWND window);

// Runs `f(Window*)` under the lock: the window, or nullptr when this process has no such
// window. Keep `f` short and never call out of the table from it.
template <typename F>
auto WithWindow(HWND window, F f) -> decltype(f(static_cast<Window*>(nullptr))) {
  std::unique_lock lock = LockWindows();
  return f(FindLocked(window));
}

}  // namespace coredll
