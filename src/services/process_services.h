// Other running programs: who has a file loaded, closing and waiting for programs by name,
// and waits that keep the caller's messages served. Process and module lists come from
// "toolhelp.dll", loaded by name on every call and released before it returns, so a device
// without it is an ordinary case: no process is then seen at all.
//
// A program name is compared on its part after the last '\' on both sides, ignoring case.
#pragma once

#include <string>
#include <string_view>

#include "coredll/windows.h"

namespace stowkit {

// Waits for `object` (null: a pause, as nothing signals it) up to `timeout_ms` (INFINITE
// allowed) while dispatching the calling thread's messages; each batch of messages starts
// the time-out again. A quit message is taken but not dispatched and does not end the wait.
// 1 when the object was signalled, 0 on time-out or failure.
int WaitWithMessages(HANDLE object, DWORD timeout_ms);

// 1 and the program path, as the process list holds it, of the first process that has a
// module of `file`'s name loaded; 0 and empty text when none has, when the tool-help library
// or one of its entries is missing, or when a platform call throws. `own_chain`, when given,
// tells whether that process is the caller or one waiting for it (its parent, the parent's
// parent, ...).
int FindModuleUser(std::u16string_view file, std::u16string& process_program,
                   bool* own_chain = nullptr);

// Ends every process running `program`: WM_CLOSE to its first top-level window and 10000 ms
// to end, then termination with exit code 0x80004004 if it has no window or stays. 1 when
// at least one was ended or none runs; 0 when every matching process resisted. The caller
// and the processes waiting for it are never ended: they are not "another program".
int CloseProcessesByName(std::u16string_view program);

// Waits up to `timeout_ms` for the first process running `program`: the result of
// WaitWithMessages for it, or 1 when none runs.
int WaitForProcessByName(std::u16string_view program, DWORD timeout_ms);

// Posts `message` to the first top-level window of `class_name` and gives its process
// 10000 ms to end; with `terminate`, a process that stays is terminated with exit code 0.
//   no window of the class: 1            window found, owner process id 0: 0
//   process cannot be opened: 1          process ended within the time: 0
//   stayed, terminate clear: 0           stayed, terminated: 1; termination failed: 0
int CloseWindowProcess(std::u16string_view class_name, UINT message, WPARAM wparam, LPARAM lparam,
                       bool terminate);

}  // namespace stowkit
