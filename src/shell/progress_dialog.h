// The one window of a run that is not silent: a title with the package name, a status line
// with the stage, a detail area with the item, a progress bar and an icon. It is also the
// status reporter's second sink, so every report of the engine reaches it, and it starts the
// engine itself: half a second after it is created, its timer runs the whole run on this
// thread. At the end it shows the outcome and closes itself, 2 s after a success or once the
// user has acknowledged the error box of a failure.
#pragma once

#include <cstdint>
#include <string>

#include "coredll/windows.h"
#include "engine/engine.h"
#include "engine/status_sink.h"

namespace stowkit {

class ProgressDialog final : public StatusSink {
 public:
  explicit ProgressDialog(Engine& engine) : engine_(engine) {}
  ProgressDialog(const ProgressDialog&) = delete;
  ProgressDialog& operator=(const ProgressDialog&) = delete;

  // Creates the dialog window from template 101, owned by `owner` (may be null). False with
  // the platform's last error set when it cannot be created.
  bool Create(HWND owner);
  HWND Window() const { return window_; }
  // The run's exit code, read from the engine at completion.
  int32_t Result() const { return result_; }

  void Begin(std::u16string_view package_name, int32_t mode) override;
  void Status(std::u16string_view text) override;
  void Detail(std::u16string_view text) override;
  void Debug(std::u16string_view) override {}
  void Progress(int32_t position, int32_t range) override;
  void Refresh() override;
  void Complete(int32_t completion_status) override;
  HWND OwnerWindow() override { return window_; }

 private:
  static INT_PTR DialogProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  INT_PTR HandleMessage(UINT message, WPARAM wparam);
  void Initialize();
  void OnTimer(UINT_PTR timer);
  void SetIcon(WORD icon);
  void ShowFailure(int32_t mode);
  void ShowSuccess(int32_t mode);

  HWND window_ = nullptr;
  Engine& engine_;
  HWND status_line_ = nullptr;
  HWND detail_area_ = nullptr;
  HWND progress_bar_ = nullptr;
  HWND icon_control_ = nullptr;
  HCURSOR wait_cursor_ = nullptr;
  HCURSOR arrow_cursor_ = nullptr;
  std::u16string package_name_;
  int32_t result_ = 0;
  uint32_t busy_ = 0;
};

}  // namespace stowkit
