// The window procedures of the built-in classes. Every change that shows on the screen
// marks it for drawing.
#pragma once

#include "coredll/winuser.h"

namespace coredll {

inline constexpr char16_t kProgressClass[] = u"msctls_progress32";

// Dialogs: the dialog procedure first, then the default handling (WM_CLOSE sends
// WM_COMMAND IDCANCEL). Defined with the dialog calls.
LRESULT DialogProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
// Static controls: text, and the image of an icon control (STM_SETIMAGE, STM_SETICON).
LRESULT StaticProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
// Progress bars: the PBM_ messages.
LRESULT ProgressProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

}  // namespace coredll
