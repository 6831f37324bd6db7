// Dialogs from in-memory templates and the dialog calls.
#include <algorithm>

#include "platform/device/errors.h"
#include "platform/screen/dialog_template.h"
#include "platform/screen/screen.h"
#include "platform/windows/controls.h"
#include "platform/windows/window_classes.h"
#include "platform/windows/window_lifecycle.h"

namespace coredll {
namespace {

CREATESTRUCTW CreateOf(const Window& w, HINSTANCE instance, LPVOID parameter) {
  return {parameter, instance, nullptr, w.parent, w.placement.height, w.placement.width,
          w.placement.y, w.placement.x, LONG(w.style), w.text.c_str(), w.class_name.c_str(),
          w.ex_style};
}

// An icon control names its icon by resource id in place of a title.
void LoadItemIcon(HWND control, const TemplateItem& item, HINSTANCE instance) {
  if (!item.title_ordinal || (item.style & SS_TYPEMASK) != SS_ICON) return;
  HICON icon = LoadIconW(instance ? instance : GetModuleHandleW(nullptr),
                         MAKEINTRESOURCEW(item.title_ordinal));
  WithWindow(control, [&](Window* w) { w->image = icon; });
}

DWORD MakeControl(HWND dialog, const TemplateItem& item, HINSTANCE instance) {
  std::optional<WindowClass> window_class = FindWindowClass(item.class_name);
  if (!window_class) return ERROR_CANNOT_FIND_WND_CLASS;
  Window control;
  control.class_name = window_class->name;
  control.procedure = window_class->procedure;
  control.text = item.title;
  control.style = item.style | WS_CHILD;
  control.ex_style = item.ex_style;
  control.parent = dialog;
  control.id = item.id;
  control.placement = {item.x, item.y, item.width, item.height};
  HWND hwnd = nullptr;
  if (DWORD error = MakeWindow(control, CreateOf(control, instance, nullptr), hwnd)) return error;
  LoadItemIcon(hwnd, item, instance);
  return ERROR_SUCCESS;
}

// The dialog window with its controls, not yet initialised, in `made`; or the error that
// stopped its window or one of its controls.
DWORD MakeDialog(const DialogTemplate& t, HINSTANCE instance, HWND owner, DLGPROC procedure,
                 HWND& made) {
  Window dialog;
  dialog.class_name = kDialogClass;
  dialog.procedure = DialogProcedure;
  dialog.text = t.title;
  dialog.style = t.style & ~WS_VISIBLE & ~WS_CHILD;  // shown once initialised
  dialog.ex_style = t.ex_style;
  dialog.parent = owner;
  dialog.placement = {t.x, t.y, t.width, t.height};
  dialog.dialog.emplace().procedure = procedure;
  HWND hwnd = nullptr;
  if (DWORD error = MakeWindow(dialog, CreateOf(dialog, instance, nullptr), hwnd)) return error;
  for (const TemplateItem& item : t.items) {
    if (DWORD error = MakeControl(hwnd, item, instance)) {
      DestroyWindow(hwnd);
      return error;
    }
  }
  made = hwnd;
  return ERROR_SUCCESS;
}

bool IsDialog(HWND window) {
  return WithWindow(window, [](Window* w) { return w && w->dialog; });
}

}  // namespace

LRESULT DialogProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  DLGPROC procedure = WithWindow(window, [](Window* w) {
    return w && w->dialog ? w->dialog->procedure : nullptr;
  });
  if (procedure) {
    if (INT_PTR handled = procedure(window, message, wparam, lparam)) {
      if (message == WM_INITDIALOG) return handled;
      return WithWindow(window, [](Window* w) { return w && w->dialog ? w->dialog->message_result : 0; });
    }
  }
  if (message == WM_CLOSE) {
    SendMessageW(window, WM_COMMAND, IDCANCEL, 0);
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace coredll

using namespace coredll;

HWND CreateDialogIndirectParamW(HINSTANCE instance, LPCDLGTEMPLATEW dialog_template, HWND owner,
                                DLGPROC procedure, LPARAM init_param) {
  DialogTemplate t;
  DWORD error;
  if (!ReadDialogTemplate(dialog_template, t, error)) return Fail(error), nullptr;
  if (owner && !IsWindow(owner)) return Fail(ERROR_INVALID_WINDOW_HANDLE), nullptr;
  HWND dialog = nullptr;
  if ((error = MakeDialog(t, instance, owner, procedure, dialog))) return Fail(error), nullptr;
  HWND first = GetWindow(dialog, GW_CHILD);
  SendMessageW(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(first), init_param);
  if (!IsWindow(dialog)) return Fail(ERROR_CANCELLED), nullptr;  // destroyed while initialising
  if (t.style & WS_VISIBLE) ShowWindow(dialog, SW_SHOW);
  if (t.style & DS_SETFOREGROUND) SetForegroundWindow(dialog);
  return dialog;
}

BOOL EndDialog(HWND dialog, INT_PTR) {
  bool ended = WithWindow(dialog, [&](Window* w) {
    if (!w || !w->dialog) return false;
    w->style &= ~WS_VISIBLE;
    return true;
  });
  if (!ended) return Fail(ERROR_INVALID_WINDOW_HANDLE);
  MarkScreenChanged();
  return TRUE;
}

HWND GetDlgItem(HWND dialog, int id) {
  std::optional<Window> w = WindowCopy(dialog);
  if (!w) return Fail(ERROR_INVALID_WINDOW_HANDLE), nullptr;
  for (HWND child : w->children) {
    if (GetDlgCtrlID(child) == id) return child;
  }
  return Fail(ERROR_CONTROL_ID_NOT_FOUND), nullptr;
}

int GetDlgCtrlID(HWND control) {
  std::optional<int> id = WithWindow(control, [](Window* w) {
    return w ? std::optional(w->id) : std::nullopt;
  });
  return id ? *id : Fail(ERROR_INVALID_WINDOW_HANDLE);
}

BOOL SetDlgItemTextW(HWND dialog, int id, LPCWSTR text) {
  HWND control = GetDlgItem(dialog, id);
  return control && SetWindowTextW(control, text);
}

UINT GetDlgItemTextW(HWND dialog, int id, LPWSTR text, int size) {
  HWND control = GetDlgItem(dialog, id);
  if (!control) {
    if (text && size > 0) text[0] = 0;
    return 0;
  }
  return UINT(GetWindowTextW(control, text, size));
}

BOOL IsDialogMessageW(HWND dialog, LPMSG message) {
  if (!message || !IsDialog(dialog)) return Fail(ERROR_INVALID_PARAMETER);
  std::vector<HWND> own = WindowAndDescendants(dialog);
  if (std::find(own.begin(), own.end(), message->hwnd) == own.end()) return FALSE;
  DispatchMessageW(message);
  return TRUE;
}
