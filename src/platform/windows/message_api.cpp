// The message calls: posting, taking, dispatching, timers and waits with input.
#include <poll.h>

#include <vector>

#include "platform/device/errors.h"
#include "platform/processes/process_objects.h"
#include "platform/screen/screen.h"
#include "platform/windows/message_queue.h"
#include "platform/windows/message_routing.h"
#include "platform/windows/window_table.h"

namespace coredll {
namespace {

struct Target {
  WNDPROC procedure = nullptr;
  DWORD thread = 0;
};

// The procedure of a window of the calling thread; ERROR_INVALID_WINDOW_HANDLE, or
// ERROR_WINDOW_OF_OTHER_THREAD for another thread's.
DWORD ProcedureForThisThread(HWND window, WNDPROC& procedure) {
  std::optional<Target> target = WithWindow(window, [](Window* w) {
    return w ? std::optional(Target{w->procedure, w->thread}) : std::nullopt;
  });
  if (!target) return ERROR_INVALID_WINDOW_HANDLE;
  if (target->thread != GetCurrentThreadId()) return ERROR_WINDOW_OF_OTHER_THREAD;
  procedure = target->procedure;
  return ERROR_SUCCESS;
}

// The windows a filter on `window` takes messages for: it and those below it. The error of
// ProcedureForThisThread when it is not a window of the calling thread.
DWORD FilterWindows(HWND window, std::vector<HWND>& windows) {
  if (!window) return ERROR_SUCCESS;
  WNDPROC procedure = nullptr;
  if (DWORD error = ProcedureForThisThread(window, procedure)) return error;
  if (!procedure) return ERROR_INVALID_WINDOW_HANDLE;
  windows = WindowAndDescendants(window);
  return ERROR_SUCCESS;
}

}  // namespace
}  // namespace coredll

using namespace coredll;

BOOL PostMessageW(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (!window) {
    CurrentQueue().Post(nullptr, message, wparam, lparam);
    return TRUE;
  }
  if (window == HWND_BROADCAST) {
    Broadcast(message, wparam, lparam);
    return TRUE;
  }
  return ResultOf(PostToWindow(window, message, wparam, lparam));
}

BOOL PostThreadMessageW(DWORD thread_id, UINT message, WPARAM wparam, LPARAM lparam) {
  std::shared_ptr<MessageQueue> queue = QueueOfThread(thread_id);
  if (!queue) return Fail(ERROR_INVALID_THREAD_ID);
  queue->Post(nullptr, message, wparam, lparam);
  return TRUE;
}

LRESULT SendMessageW(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  WNDPROC procedure = nullptr;
  if (DWORD error = ProcedureForThisThread(window, procedure)) {
    // A window of another process, or any other thread's, can only be posted to.
    if (ProcessOfWindow(window) != GetCurrentProcessId() && IsWindow(window)) {
      error = ERROR_WINDOW_OF_OTHER_THREAD;
    }
    return Fail(error), 0;
  }
  if (!procedure) return 0;
  return procedure(window, message, wparam, lparam);
}

BOOL GetMessageW(LPMSG message, HWND window, UINT min, UINT max) {
  std::vector<HWND> windows;
  if (!message) return Fail(ERROR_INVALID_PARAMETER), -1;
  if (DWORD error = FilterWindows(window, windows)) return Fail(error), -1;
  MessageQueue& queue = CurrentQueue();
  for (;;) {
    queue.ClearWake();
    if (std::optional<MSG> taken = queue.Take(windows, min, max, true)) {
      *message = *taken;
      return taken->message != WM_QUIT;
    }
    DrawIfChanged();  // the queue is idle: let the screen catch up
    queue.WaitForNews();
  }
}

BOOL PeekMessageW(LPMSG message, HWND window, UINT min, UINT max, UINT remove) {
  std::vector<HWND> windows;
  if (!message) return Fail(ERROR_INVALID_PARAMETER);
  if (DWORD error = FilterWindows(window, windows)) return Fail(error);
  std::optional<MSG> taken = CurrentQueue().Take(windows, min, max, remove & PM_REMOVE);
  if (!taken) return FALSE;
  *message = *taken;
  return TRUE;
}

BOOL TranslateMessage(const MSG*) { return FALSE; }

LRESULT DispatchMessageW(const MSG* message) {
  if (!message) return Fail(ERROR_INVALID_PARAMETER);
  if (message->message == WM_TIMER && message->lParam) {
    auto function = reinterpret_cast<TIMERPROC>(message->lParam);
    function(message->hwnd, WM_TIMER, message->wParam, GetTickCount());
    return 0;
  }
  if (!message->hwnd) return 0;  // a thread message has no procedure
  WNDPROC procedure = nullptr;
  if (DWORD error = ProcedureForThisThread(message->hwnd, procedure)) return Fail(error), 0;
  return procedure ? procedure(message->hwnd, message->message, message->wParam, message->lParam) : 0;
}

void PostQuitMessage(int exit_code) { CurrentQueue().PostQuit(exit_code); }

UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT milliseconds, TIMERPROC function) {
  WNDPROC procedure = nullptr;
  if (DWORD error = window ? ProcedureForThisThread(window, procedure) : ERROR_SUCCESS) {
    return Fail(error), 0;
  }
  if (window && !procedure) return 0;
  return CurrentQueue().SetTimer(window, id, milliseconds, function);
}

BOOL KillTimer(HWND window, UINT_PTR id) {
  return CurrentQueue().KillTimer(window, id) ? TRUE : Fail(ERROR_INVALID_PARAMETER);
}

DWORD MsgWaitForMultipleObjectsEx(DWORD count, const HANDLE* handles, DWORD milliseconds,
                                  DWORD wake_mask, DWORD flags) {
  if (count >= MAXIMUM_WAIT_OBJECTS || (count && !handles) || (flags & ~MWMO_INPUTAVAILABLE)) {
    return Fail(ERROR_INVALID_PARAMETER), WAIT_FAILED;
  }
  std::vector<std::shared_ptr<WaitableObject>> objects;  // kept alive through the wait
  std::vector<int> fds;
  for (DWORD i = 0; i < count; ++i) {
    if (IsPseudoHandle(handles[i])) {
      fds.push_back(-1);
      continue;
    }
    auto object = GetHandle<WaitableObject>(handles[i]);
    if (!object) return Fail(object.error), WAIT_FAILED;
    fds.push_back(object->WaitFd());
    objects.push_back(std::move(object.object));
  }
  DrawIfChanged();
  int result = WaitForInput(fds, wake_mask, milliseconds);
  if (result == kWaitFailed) return FailErrno(), WAIT_FAILED;
  return result == kWaitTimedOut ? WAIT_TIMEOUT : WAIT_OBJECT_0 + DWORD(result);
}
