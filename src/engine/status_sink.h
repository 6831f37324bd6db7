// Where a run's reports go: the log file, and the progress dialog while it is shown.
#pragma once

#include <cstdint>
#include <string_view>

#include "coredll/windows.h"

namespace stowkit {

// The eight operations keep this slot order. Sinks are owned by whoever made them, never
// deleted through this interface, so the destructor takes no slot.
class StatusSink {
 public:
  // A run starts on `package_name` in `mode` (1..4).
  virtual void Begin(std::u16string_view package_name, int32_t mode) = 0;
  // A new stage.
  virtual void Status(std::u16string_view text) = 0;
  // One item, or an error message.
  virtual void Detail(std::u16string_view text) = 0;
  // A diagnostic line meant only for the log.
  virtual void Debug(std::u16string_view text) = 0;
  // The progress bar runs from 0 to `range` and stands at `position`.
  virtual void Progress(int32_t position, int32_t range) = 0;
  // Brings the visible window to the front and repaints it.
  virtual void Refresh() = 0;
  // The run has ended with `completion_status` (0 or 101..104).
  virtual void Complete(int32_t completion_status) = 0;
  // The window that owns message boxes and the windows of started programs, or null.
  virtual HWND OwnerWindow() = 0;

 protected:
  ~StatusSink() = default;
};

}  // namespace stowkit
