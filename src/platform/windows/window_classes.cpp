// The class calls, and the table of classes they keep.
#include "platform/windows/window_classes.h"

#include <atomic>
#include <map>
#include <mutex>

#include "platform/device/errors.h"
#include "platform/windows/controls.h"
#include "text/fold.h"

namespace coredll {
namespace {

struct Registered {
  std::mutex mutex;
  std::map<std::u16string, WindowClass, stowkit::NoCaseLess> classes;
  ATOM next_atom = 0xC000;  // where the handheld starts its registered class atoms
  std::atomic<bool> common_controls{false};
};

Registered& Classes() {
  static Registered* registered = new Registered;
  return *registered;
}

std::optional<WindowClass> BuiltinClass(std::u16string_view name) {
  static const WindowClass kBuiltins[] = {
      {kDialogClass, DialogProcedure},
      {u"static", StaticProcedure},
      {u"button", DefWindowProcW},
      {u"edit", DefWindowProcW},
  };
  for (const WindowClass& c : kBuiltins) {
    if (stowkit::EqualsNoCase(c.name, name)) return c;
  }
  if (Classes().common_controls && stowkit::EqualsNoCase(name, kProgressClass)) {
    return WindowClass{kProgressClass, ProgressProcedure};
  }
  return std::nullopt;
}

}  // namespace

std::optional<WindowClass> FindWindowClass(std::u16string_view name) {
  if (std::optional<WindowClass> builtin = BuiltinClass(name)) return builtin;
  Registered& r = Classes();
  std::lock_guard lock(r.mutex);
  auto it = r.classes.find(name);
  if (it == r.classes.end()) return std::nullopt;
  return it->second;
}

std::u16string_view ClassOfOrdinal(WORD ordinal) {
  switch (ordinal) {
    case 0x0080: return u"button";
    case 0x0081: return u"edit";
    case 0x0082: return u"static";
    default: return {};
  }
}

void RegisterCommonControls() { Classes().common_controls = true; }

}  // namespace coredll

using namespace coredll;

ATOM RegisterClassW(const WNDCLASSW* window_class) {
  if (!window_class || !window_class->lpszClassName || !*window_class->lpszClassName ||
      !window_class->lpfnWndProc) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  std::u16string name = window_class->lpszClassName;
  Registered& r = Classes();
  std::lock_guard lock(r.mutex);
  if (BuiltinClass(name) || r.classes.count(name)) return Fail(ERROR_CLASS_ALREADY_EXISTS);
  r.classes[name] = WindowClass{name, window_class->lpfnWndProc};
  return r.next_atom++;
}

BOOL UnregisterClassW(LPCWSTR class_name, HINSTANCE) {
  if (!class_name) return Fail(ERROR_INVALID_PARAMETER);
  Registered& r = Classes();
  std::lock_guard lock(r.mutex);
  return r.classes.erase(class_name) ? TRUE : Fail(ERROR_CLASS_DOES_NOT_EXIST);
}
