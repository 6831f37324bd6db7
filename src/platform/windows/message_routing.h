// Where a posted message goes: a window of this process gets it in its thread's queue; a
// window of another process gets it through that process's message endpoint; a broadcast
// reaches every top-level window of the device.
#pragma once

#include "coredll/winuser.h"

namespace coredll {

// Opens this process's endpoint for messages from other processes (once per device).
void ListenForMessages();

// ERROR_INVALID_WINDOW_HANDLE when there is no such window, ERROR_NOT_ENOUGH_QUOTA when
// its process takes no messages.
DWORD PostToWindow(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// Every top-level window: this process's at once, the others' through their endpoints.
void Broadcast(UINT message, WPARAM wparam, LPARAM lparam);

}  // namespace coredll
