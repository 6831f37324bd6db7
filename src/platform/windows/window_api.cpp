// Making, destroying and changing windows of this process.
#include <algorithm>
#include <utility>
#include <type_traits>

#include "platform/device/errors.h"
#include "platform/screen/screen.h"
#include "platform/windows/device_windows.h"
#include "platform/windows/message_queue.h"
#include "platform/windows/message_routing.h"
#include "platform/windows/window_classes.h"
#include "platform/windows/window_lifecycle.h"

namespace coredll {
namespace {

bool IsAtom(LPCWSTR name) { return (reinterpret_cast<uintptr_t>(name) >> 16) == 0; }

int CopyText(const std::u16string& text, LPWSTR buffer, int size) {
  if (!buffer || size <= 0) return 0;
  int n = std::min(int(text.size()), size - 1);
  std::copy_n(text.begin(), n, buffer);
  buffer[n] = 0;
  return n;
}

// The thread that owns a window of this process; 0 when it is none of this process's
// (ERROR_INVALID_WINDOW_HANDLE).
DWORD OwnerThread(HWND window) {
  return WithWindow(window, [](Window* w) { return w ? w->thread : 0; });
}

// Reads and, given `value`, replaces a window's field; nullopt for an index it lacks.
std::optional<LONG_PTR> Swap(Window& w, int index, std::optional<LONG_PTR> value) {
  auto swap = [&](auto& field) -> LONG_PTR {
    using T = std::remove_reference_t<decltype(field)>;
    if constexpr (std::is_pointer_v<T>) {
      LONG_PTR old = reinterpret_cast<LONG_PTR>(field);
      if (value) field = reinterpret_cast<T>(*value);
      return old;
    } else {
      LONG_PTR old = LONG_PTR(field);
      if (value) field = T(*value);
      return old;
    }
  };
  switch (index) {
    case GWLP_WNDPROC: return swap(w.procedure);
    case GWLP_ID: return swap(w.id);
    case GWL_STYLE: return swap(w.style);
    case GWLP_USERDATA: return swap(w.user_data);
  }
  if (!w.dialog) return std::nullopt;
  switch (index) {
    case DWLP_MSGRESULT: return swap(w.dialog->message_result);
    case DWLP_DLGPROC: return swap(w.dialog->procedure);
    case DWLP_USER: return swap(w.dialog->user);
  }
  return std::nullopt;
}

// The field's value before; ERROR_INVALID_WINDOW_HANDLE or ERROR_INVALID_INDEX.
DWORD Exchange(HWND window, int index, std::optional<LONG_PTR> value, LONG_PTR& previous) {
  bool found = true;
  std::optional<LONG_PTR> was = WithWindow(window, [&](Window* w) {
    found = w != nullptr;
    return w ? Swap(*w, index, value) : std::nullopt;
  });
  if (!found) return ERROR_INVALID_WINDOW_HANDLE;
  if (!was) return ERROR_INVALID_INDEX;
  if (value && index == GWL_STYLE) MarkScreenChanged();
  previous = *was;
  return ERROR_SUCCESS;
}

}  // namespace

DWORD MakeWindow(Window window, CREATESTRUCTW create, HWND& made) {
  window.thread = GetCurrentThreadId();
  CurrentQueue();  // its messages need somewhere to go
  ListenForMessages();
  bool top_level = window.top_level(), visible = window.visible();
  HWND hwnd = AddWindow(std::move(window));
  if (!hwnd) return ERROR_NOT_ENOUGH_MEMORY;
  if (SendMessageW(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
    RemoveWindows(WindowAndDescendants(hwnd));
    return ERROR_CANCELLED;
  }
  if (top_level) ListWindowsInProcessTable();
  if (visible) MarkScreenChanged();
  made = hwnd;
  return ERROR_SUCCESS;
}

DWORD SetText(HWND window, std::u16string text) {
  std::optional<bool> top_level = WithWindow(window, [&](Window* w) {
    if (!w) return std::optional<bool>();
    w->text = std::move(text);
    return std::optional(w->top_level());
  });
  if (!top_level) return ERROR_INVALID_WINDOW_HANDLE;
  if (*top_level) ListWindowsInProcessTable();
  MarkScreenChanged();
  return ERROR_SUCCESS;
}

HWND TopLevelOf(HWND window) {
  while (window) {
    std::optional<Window> w = WindowCopy(window);
    if (!w) return nullptr;
    if (w->top_level()) return window;
    window = w->parent;
  }
  return nullptr;
}

}  // namespace coredll

using namespace coredll;

HWND CreateWindowExW(DWORD ex_style, LPCWSTR class_name, LPCWSTR title, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     LPVOID parameter) {
  if (!class_name || IsAtom(class_name)) return Fail(ERROR_CANNOT_FIND_WND_CLASS), nullptr;
  std::optional<WindowClass> window_class = FindWindowClass(class_name);
  if (!window_class) return Fail(ERROR_CANNOT_FIND_WND_CLASS), nullptr;
  bool child = style & WS_CHILD;
  if (child ? !WindowCopy(parent) : (parent && !IsWindow(parent))) {
    return Fail(ERROR_INVALID_WINDOW_HANDLE), nullptr;
  }
  Window window;
  window.class_name = window_class->name;
  window.procedure = window_class->procedure;
  window.text = title ? title : u"";
  window.style = style;
  window.ex_style = ex_style;
  window.parent = parent;
  window.id = child ? int(reinterpret_cast<intptr_t>(menu)) : 0;
  window.placement = {x == CW_USEDEFAULT ? 0 : x, y == CW_USEDEFAULT ? 0 : y,
                      width == CW_USEDEFAULT ? 0 : width, height == CW_USEDEFAULT ? 0 : height};
  CREATESTRUCTW create = {parameter, instance, menu, parent, height, width, y, x,
                          LONG(style), title, class_name, ex_style};
  HWND made = nullptr;
  if (DWORD error = MakeWindow(std::move(window), create, made)) return Fail(error), nullptr;
  return made;
}

BOOL DestroyWindow(HWND window) {
  DWORD thread = OwnerThread(window);
  if (!thread) return Fail(ERROR_INVALID_WINDOW_HANDLE);
  if (thread != GetCurrentThreadId()) return Fail(ERROR_ACCESS_DENIED);
  std::vector<HWND> tree = WindowAndDescendants(window);
  bool again = WithWindow(window, [](Window* w) { return std::exchange(w->destroying, true); });
  if (again) return TRUE;  // a WM_DESTROY handler destroying its own window
  for (HWND h : tree) SendMessageW(h, WM_DESTROY, 0, 0);
  CurrentQueue().KillWindowTimers(tree);
  if (Foreground() == window) SetForeground(nullptr);
  RemoveWindows(tree);
  MarkScreenChanged();
  return TRUE;
}

LRESULT DefWindowProcW(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CLOSE: DestroyWindow(window); return 0;
    case WM_SETTEXT: return ResultOf(SetText(window, lparam ? reinterpret_cast<LPCWSTR>(lparam) : u""));
    case WM_GETTEXT: {
      std::optional<Window> w = WindowCopy(window);
      return w ? CopyText(w->text, reinterpret_cast<LPWSTR>(lparam), int(wparam)) : 0;
    }
    case WM_GETTEXTLENGTH: {
      std::optional<Window> w = WindowCopy(window);
      return w ? LRESULT(w->text.size()) : 0;
    }
    default: return 0;
  }
}

BOOL ShowWindow(HWND window, int command) {
  std::optional<bool> was_visible = WithWindow(window, [&](Window* w) {
    if (!w) return std::optional<bool>();
    bool visible = w->visible();
    w->style = command == SW_HIDE ? (w->style & ~WS_VISIBLE) : (w->style | WS_VISIBLE);
    return std::optional(visible);
  });
  if (!was_visible) return Fail(ERROR_INVALID_WINDOW_HANDLE);
  if (*was_visible != (command != SW_HIDE)) MarkScreenChanged();
  return *was_visible;
}

BOOL UpdateWindow(HWND window) {
  if (!OwnerThread(window)) return Fail(ERROR_INVALID_WINDOW_HANDLE);
  DrawIfChanged();
  return TRUE;
}

BOOL InvalidateRect(HWND window, const RECT*, BOOL) {
  if (window && !OwnerThread(window)) return Fail(ERROR_INVALID_WINDOW_HANDLE);
  MarkScreenChanged();
  return TRUE;
}

BOOL SetWindowTextW(HWND window, LPCWSTR text) {
  if (!OwnerThread(window)) return Fail(ERROR_INVALID_WINDOW_HANDLE);
  return ResultOf(SetText(window, text ? text : u""));
}

int GetWindowTextW(HWND window, LPWSTR text, int size) {
  SetLastError(ERROR_SUCCESS);  // an empty title is not a failure
  std::optional<ListedWindow> w = FindDeviceWindow(window);
  if (!w) return Fail(ERROR_INVALID_WINDOW_HANDLE);
  return CopyText(w->title, text, size);
}

int GetWindowTextLengthW(HWND window) {
  SetLastError(ERROR_SUCCESS);
  std::optional<ListedWindow> w = FindDeviceWindow(window);
  return w ? int(w->title.size()) : Fail(ERROR_INVALID_WINDOW_HANDLE);
}

BOOL IsWindowVisible(HWND window) {
  for (std::optional<Window> w = WindowCopy(window); w; w = WindowCopy(w->parent)) {
    if (!w->visible()) return FALSE;
    if (w->top_level()) return TRUE;
  }
  return FALSE;
}

HWND GetParent(HWND window) {
  std::optional<Window> w = WindowCopy(window);
  if (!w) return Fail(ERROR_INVALID_WINDOW_HANDLE), nullptr;
  return w->parent;
}

// Last-error is cleared first, so that a stored 0 reads as success.
LONG_PTR GetWindowLongPtrW(HWND window, int index) {
  SetLastError(ERROR_SUCCESS);
  LONG_PTR previous = 0;
  DWORD error = Exchange(window, index, std::nullopt, previous);
  return error ? Fail(error) : previous;
}

LONG_PTR SetWindowLongPtrW(HWND window, int index, LONG_PTR value) {
  SetLastError(ERROR_SUCCESS);
  LONG_PTR previous = 0;
  DWORD error = Exchange(window, index, value, previous);
  return error ? Fail(error) : previous;
}
