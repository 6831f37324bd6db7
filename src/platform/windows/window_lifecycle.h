// Making windows and changing what they show, for the window calls and the dialogs.
#pragma once

#include <string>

#include "platform/windows/window_table.h"

namespace coredll {

// Makes a window of the calling thread from `window` (its thread and handle are filled in):
// listed with its parent, sent WM_CREATE with `create`, and, when top-level, reachable from
// other processes and listed in the process table. Its handle goes to `made`; the error is
// ERROR_NOT_ENOUGH_MEMORY when the process has no window handle left and ERROR_CANCELLED
// when WM_CREATE refused it.
DWORD MakeWindow(Window window, CREATESTRUCTW create, HWND& made);

// Sets a window's text; a top-level window's title is listed again.
// ERROR_INVALID_WINDOW_HANDLE when there is no such window.
DWORD SetText(HWND window, std::u16string text);

// The handle of a window's top-level ancestor (itself when top-level); null for none.
HWND TopLevelOf(HWND window);

}  // namespace coredll
