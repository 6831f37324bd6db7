// Finding and walking the device's windows, and the foreground window.
#include <algorithm>

#include "platform/device/errors.h"
#include "platform/windows/device_windows.h"
#include "platform/windows/window_lifecycle.h"
#include "text/fold.h"

namespace coredll {
namespace {

// The list a window is walked in: its siblings under its parent (a child of this process),
// or the device's top-level windows.
std::vector<HWND> SiblingsOf(HWND window, bool& found) {
  std::vector<HWND> list;
  std::optional<Window> w = WindowCopy(window);
  if (w && !w->top_level()) {
    std::optional<Window> parent = WindowCopy(w->parent);
    found = parent.has_value();
    return parent ? parent->children : list;
  }
  for (const ListedWindow& listed : DeviceWindows()) list.push_back(listed.hwnd);
  found = std::find(list.begin(), list.end(), window) != list.end();
  return list;
}

// The sibling in `relation` to `window` (null past either end); ERROR_INVALID_WINDOW_HANDLE.
DWORD Walk(HWND window, UINT relation, HWND& sibling) {
  bool found = false;
  std::vector<HWND> list = SiblingsOf(window, found);
  if (!found) return ERROR_INVALID_WINDOW_HANDLE;
  auto at = std::find(list.begin(), list.end(), window);
  switch (relation) {
    case GW_HWNDFIRST: sibling = list.front(); break;
    case GW_HWNDLAST: sibling = list.back(); break;
    case GW_HWNDNEXT: sibling = at + 1 < list.end() ? *(at + 1) : nullptr; break;
    default: sibling = at > list.begin() ? *(at - 1) : nullptr;  // GW_HWNDPREV
  }
  return ERROR_SUCCESS;
}

}  // namespace
}  // namespace coredll

using namespace coredll;

HWND FindWindowW(LPCWSTR class_name, LPCWSTR title) {
  for (const ListedWindow& w : DeviceWindows()) {
    if ((!class_name || stowkit::EqualsNoCase(w.class_name, class_name)) &&
        (!title || w.title == title)) {
      return w.hwnd;
    }
  }
  return nullptr;
}

HWND GetWindow(HWND window, UINT relation) {
  switch (relation) {
    case GW_HWNDFIRST:
    case GW_HWNDLAST:
    case GW_HWNDNEXT:
    case GW_HWNDPREV: {
      HWND sibling = nullptr;
      if (DWORD error = Walk(window, relation, sibling)) return Fail(error), nullptr;
      return sibling;
    }
    case GW_OWNER:
    case GW_CHILD: {
      std::optional<Window> w = WindowCopy(window);
      if (!w) return Fail(ERROR_INVALID_WINDOW_HANDLE), nullptr;
      if (relation == GW_CHILD) return w->children.empty() ? nullptr : w->children.front();
      return w->top_level() ? w->parent : nullptr;
    }
    default: return Fail(ERROR_INVALID_PARAMETER), nullptr;
  }
}

BOOL EnumWindows(WNDENUMPROC function, LPARAM lparam) {
  if (!function) return Fail(ERROR_INVALID_PARAMETER);
  for (const ListedWindow& w : DeviceWindows()) {
    if (!function(w.hwnd, lparam)) return FALSE;
  }
  return TRUE;
}

DWORD GetWindowThreadProcessId(HWND window, LPDWORD process_id) {
  std::optional<ListedWindow> w = FindDeviceWindow(window);
  if (process_id) *process_id = w ? w->process : 0;
  return w ? w->thread : Fail(ERROR_INVALID_WINDOW_HANDLE);
}

BOOL IsWindow(HWND window) { return window && FindDeviceWindow(window).has_value(); }

BOOL SetForegroundWindow(HWND window) {
  if (!IsWindow(window)) return Fail(ERROR_INVALID_WINDOW_HANDLE);
  HWND top_level = TopLevelOf(window);  // null for another process's window, listed as top-level
  SetForeground(top_level ? top_level : window);
  return TRUE;
}

HWND GetForegroundWindow(void) { return Foreground(); }
