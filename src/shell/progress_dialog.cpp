#include "shell/progress_dialog.h"

#include "coredll/aygshell.h"
#include "coredll/commctrl.h"
#include "resources/progress_dialog_template.h"
#include "resources/ui_strings.h"
#include "text/format.h"

namespace stowkit {
namespace {

constexpr UINT_PTR kStartTimer = 1;
constexpr UINT_PTR kCloseTimer = 2;
constexpr UINT kStartDelayMs = 500;
constexpr UINT kCloseAfterSuccessMs = 2000;
constexpr UINT kCloseAfterFailureMs = 500;

// Done button, full-screen sizing, input panel down.
constexpr DWORD kShellDialogFlags = SHIDIF_DONEBUTTON | SHIDIF_SIZEDLGFULLSCREEN | SHIDIF_SIPDOWN;

bool IsInstallMode(int32_t mode) { return mode == kModeFullInstall || mode == kModePatchInstall; }

std::u16string ModeText(int32_t mode, UiStringId install_id, UiStringId uninstall_id,
                        std::u16string_view name) {
  return Format(LoadUiString(IsInstallMode(mode) ? install_id : uninstall_id), name);
}

// The Pocket PC shell's own dialog set-up, imported by ordinal like its Done-button call; a
// device without the shell library, or whose shell lacks that entry, shows the dialog as it
// is.
void InitializeShellDialog(HWND window) {
  HMODULE shell = LoadLibraryW(u"aygshell.dll");
  if (shell == nullptr) return;
  auto init = reinterpret_cast<PFN_SHInitDialog>(
      GetProcAddressW(shell, MAKEINTRESOURCEW(SHINITDIALOG_ORDINAL)));
  if (init != nullptr) {
    SHINITDLGINFO info{SHIDIM_FLAGS, window, kShellDialogFlags};
    init(&info);
  }
  FreeLibrary(shell);
}

void HideDoneButton(HWND window) {
  HMODULE shell = LoadLibraryW(u"aygshell.dll");
  if (shell == nullptr) return;
  auto done_button = reinterpret_cast<PFN_SHDoneButton>(
      GetProcAddressW(shell, MAKEINTRESOURCEW(SHDONEBUTTON_ORDINAL)));
  if (done_button != nullptr) done_button(window, SHDB_HIDE);
  FreeLibrary(shell);
}

void SetText(HWND control, std::u16string_view text) {
  std::u16string copy(text);
  SetWindowTextW(control, copy.c_str());
}

}  // namespace

bool ProgressDialog::Create(HWND owner) {
  window_ = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), ProgressDialogTemplate(), owner,
                                       DialogProcedure, reinterpret_cast<LPARAM>(this));
  return window_ != nullptr;
}

INT_PTR ProgressDialog::DialogProcedure(HWND window, UINT message, WPARAM wparam,
                                        LPARAM lparam) {
  if (message == WM_INITDIALOG) {
    auto* dialog = reinterpret_cast<ProgressDialog*>(lparam);
    SetWindowLongPtrW(window, DWLP_USER, lparam);
    dialog->window_ = window;
    dialog->Initialize();
    return TRUE;
  }
  auto* dialog = reinterpret_cast<ProgressDialog*>(GetWindowLongPtrW(window, DWLP_USER));
  return dialog != nullptr ? dialog->HandleMessage(message, wparam) : FALSE;
}

void ProgressDialog::Initialize() {
  InitializeShellDialog(window_);
  status_line_ = GetDlgItem(window_, kStatusLineId);
  detail_area_ = GetDlgItem(window_, kDetailAreaId);
  progress_bar_ = GetDlgItem(window_, kProgressBarId);
  icon_control_ = GetDlgItem(window_, kIconControlId);
  SetText(status_line_, u"");
  SetText(detail_area_, u"");
  SetIcon(kNormalIcon);
  wait_cursor_ = LoadCursorW(nullptr, IDC_WAIT);
  arrow_cursor_ = LoadCursorW(nullptr, IDC_ARROW);
  SetForegroundWindow(window_);
  HideDoneButton(window_);
  SetTimer(window_, kStartTimer, kStartDelayMs, nullptr);
}

INT_PTR ProgressDialog::HandleMessage(UINT message, WPARAM wparam) {
  switch (message) {
    case WM_TIMER:
      OnTimer(wparam);
      return TRUE;
    case WM_SETCURSOR:
      SetCursor(busy_ ? wait_cursor_ : arrow_cursor_);
      return TRUE;
    case WM_COMMAND:
      if ((wparam & 0xFFFF) != IDOK) return FALSE;
      PostQuitMessage(0);
      return TRUE;
    default:
      return FALSE;
  }
}

// Each timer fires once: the run must not start twice, nor the quit be posted twice.
void ProgressDialog::OnTimer(UINT_PTR timer) {
  KillTimer(window_, timer);
  if (timer == kStartTimer) {
    SetCursor(wait_cursor_);
    busy_ = 1;
    engine_.Run();
  } else if (timer == kCloseTimer) {
    PostQuitMessage(0);
  }
}

void ProgressDialog::SetIcon(WORD icon) {
  HICON image = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(icon));
  SendMessageW(icon_control_, STM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(image));
}

void ProgressDialog::Begin(std::u16string_view package_name, int32_t mode) {
  package_name_ = package_name;
  SetText(window_,
          ModeText(mode, UiStringId::kInstalling, UiStringId::kUninstalling, package_name_));
}

void ProgressDialog::Status(std::u16string_view text) {
  SetText(status_line_, text);
  UpdateWindow(window_);
}

void ProgressDialog::Detail(std::u16string_view text) {
  SetText(detail_area_, text);
  UpdateWindow(window_);
}

void ProgressDialog::Progress(int32_t position, int32_t range) {
  SendMessageW(progress_bar_, PBM_SETRANGE32, 0, range);
  SendMessageW(progress_bar_, PBM_SETPOS, WPARAM(position), 0);
  UpdateWindow(window_);
}

void ProgressDialog::Refresh() {
  SetForegroundWindow(window_);
  InvalidateRect(window_, nullptr, TRUE);
  UpdateWindow(window_);
}

void ProgressDialog::Complete(int32_t completion_status) {
  SetCursor(arrow_cursor_);
  busy_ = 0;
  result_ = engine_.CompletionStatus();
  int32_t mode = engine_.mode;
  SetForegroundWindow(window_);
  if (completion_status != 0) {
    ShowFailure(mode);
  } else {
    ShowSuccess(mode);
  }
}

void ProgressDialog::ShowFailure(int32_t mode) {
  std::u16string text =
      ModeText(mode, UiStringId::kInstallFailed, UiStringId::kUninstallFailed, package_name_);
  SetText(window_, text);
  Status(text);
  std::u16string error = engine_.LastErrorText();
  Detail(error);
  SetIcon(kFailureIcon);
  for (HWND control : {status_line_, detail_area_, progress_bar_, icon_control_}) {
    ShowWindow(control, SW_HIDE);
  }
  MessageBoxW(window_, error.c_str(), text.c_str(), MB_OK | MB_ICONHAND);
  SetTimer(window_, kCloseTimer, kCloseAfterFailureMs, nullptr);
}

void ProgressDialog::ShowSuccess(int32_t mode) {
  std::u16string text =
      ModeText(mode, UiStringId::kInstallCompleted, UiStringId::kUninstallCompleted, package_name_);
  SetText(window_, text);
  Status(text);
  Detail(u"");
  SetIcon(kSuccessIcon);
  SetTimer(window_, kCloseTimer, kCloseAfterSuccessMs, nullptr);
}

}  // namespace stowkit
