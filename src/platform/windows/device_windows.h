// The device's top-level windows as every process sees them: this process's own from its
// window table, the others' from their records in the process table (host programs, such
// as tests, are not listed there, so only they see their own windows). And the device's one
// foreground window, kept in run/foreground.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "coredll/winuser.h"

namespace coredll {

struct ListedWindow {
  HWND hwnd = nullptr;
  DWORD process = 0;
  DWORD thread = 0;
  std::u16string class_name;
  std::u16string title;
};

// In process id order; each process's windows in the order they were made.
std::vector<ListedWindow> DeviceWindows();
// A top-level window of the device, or a window of this process.
std::optional<ListedWindow> FindDeviceWindow(HWND window);

void SetForeground(HWND window);
// The foreground window, or null when there is none or it has gone.
HWND Foreground();

}  // namespace coredll
