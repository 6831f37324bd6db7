// The static and progress-bar controls, and the common controls' initialisation.
#include "platform/windows/controls.h"

#include <algorithm>
#include <utility>

#include "coredll/commctrl.h"
#include "platform/device/errors.h"
#include "platform/screen/screen.h"
#include "platform/windows/window_classes.h"
#include "platform/windows/window_table.h"

namespace coredll {
namespace {

LRESULT PackedRange(const ProgressRange& bar) {
  return LRESULT(DWORD(MAKELONG(bar.low, bar.high)));
}

// Applies one PBM_ message to a bar: its result, or nullopt for any other message.
std::optional<LRESULT> ApplyToBar(ProgressRange& bar, UINT message, WPARAM wparam, LPARAM lparam) {
  auto move_to = [&](int position) {
    int previous = bar.position;
    bar.position = std::clamp(position, std::min(bar.low, bar.high), std::max(bar.low, bar.high));
    return LRESULT(previous);
  };
  switch (message) {
    case PBM_SETRANGE:
    case PBM_SETRANGE32: {
      LRESULT previous = PackedRange(bar);
      bar.low = message == PBM_SETRANGE ? int(LOWORD(lparam)) : int(wparam);
      bar.high = message == PBM_SETRANGE ? int(HIWORD(lparam)) : int(lparam);
      move_to(bar.position);
      return previous;
    }
    case PBM_SETPOS: return move_to(int(wparam));
    case PBM_DELTAPOS: return move_to(bar.position + int(wparam));
    case PBM_STEPIT: return move_to(bar.position + bar.step);
    case PBM_SETSTEP: return LRESULT(std::exchange(bar.step, int(wparam)));
    case PBM_GETRANGE: return LRESULT(wparam ? bar.low : bar.high);
    case PBM_GETPOS: return LRESULT(bar.position);
    default: return std::nullopt;
  }
}

}  // namespace

LRESULT StaticProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  bool set = message == STM_SETIMAGE || message == STM_SETICON;
  bool get = message == STM_GETIMAGE || message == STM_GETICON;
  if (!set && !get) return DefWindowProcW(window, message, wparam, lparam);
  HICON image = message == STM_SETICON ? reinterpret_cast<HICON>(wparam) : reinterpret_cast<HICON>(lparam);
  HICON previous = WithWindow(window, [&](Window* w) -> HICON {
    if (!w) return nullptr;
    return set ? std::exchange(w->image, image) : w->image;
  });
  if (set) MarkScreenChanged();
  return reinterpret_cast<LRESULT>(previous);
}

LRESULT ProgressProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  std::optional<LRESULT> result = WithWindow(window, [&](Window* w) -> std::optional<LRESULT> {
    return w ? ApplyToBar(w->bar, message, wparam, lparam) : std::nullopt;
  });
  if (!result) return DefWindowProcW(window, message, wparam, lparam);
  if (message != PBM_GETPOS && message != PBM_GETRANGE) MarkScreenChanged();
  return *result;
}

}  // namespace coredll

using namespace coredll;

BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* controls) {
  if (!controls || controls->dwSize != sizeof *controls) return Fail(ERROR_INVALID_PARAMETER);
  if (controls->dwICC & ICC_PROGRESS_CLASS) RegisterCommonControls();
  return TRUE;
}
