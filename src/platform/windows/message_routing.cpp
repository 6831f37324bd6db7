#include "platform/windows/message_routing.h"

#include <unistd.h>

#include <set>

#include "platform/windows/device_windows.h"
#include "platform/windows/message_endpoint.h"
#include "platform/windows/message_queue.h"
#include "platform/windows/window_table.h"

namespace coredll {
namespace {

bool PostLocal(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  DWORD thread = WithWindow(window, [](Window* w) { return w ? w->thread : 0; });
  std::shared_ptr<MessageQueue> queue = thread ? QueueOfThread(thread) : nullptr;
  if (!queue) return false;
  queue->Post(window, message, wparam, lparam);
  return true;
}

void PostToOwnTopLevel(UINT message, WPARAM wparam, LPARAM lparam) {
  for (const Window& w : TopLevelWindows()) PostLocal(w.hwnd, message, wparam, lparam);
}

// Runs on the receiver thread. A message for a window that has gone meanwhile is dropped,
// as it would have been had it come a moment earlier.
void Deliver(const WireMessage& m) {
  HWND target = reinterpret_cast<HWND>(uintptr_t(m.hwnd));
  if (target == HWND_BROADCAST) {
    PostToOwnTopLevel(m.message, WPARAM(m.wparam), LPARAM(m.lparam));
  } else {
    PostLocal(target, m.message, WPARAM(m.wparam), LPARAM(m.lparam));
  }
}

WireMessage Wire(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  return WireMessage{uint32_t(reinterpret_cast<uintptr_t>(window)), message, uint64_t(wparam),
                     int64_t(lparam)};
}

}  // namespace

void ListenForMessages() { StartEndpoint(Deliver); }

DWORD PostToWindow(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  DWORD process = ProcessOfWindow(window);
  if (process == DWORD(getpid())) {
    return PostLocal(window, message, wparam, lparam) ? ERROR_SUCCESS : ERROR_INVALID_WINDOW_HANDLE;
  }
  switch (SendToProcess(process, Wire(window, message, wparam, lparam))) {
    case SendResult::kSent: return ERROR_SUCCESS;
    case SendResult::kNoEndpoint: return ERROR_INVALID_WINDOW_HANDLE;
    case SendResult::kNotTaken: break;
  }
  return ERROR_NOT_ENOUGH_QUOTA;
}

void Broadcast(UINT message, WPARAM wparam, LPARAM lparam) {
  PostToOwnTopLevel(message, wparam, lparam);
  std::set<DWORD> others;
  for (const ListedWindow& w : DeviceWindows()) {
    if (w.process != DWORD(getpid())) others.insert(w.process);
  }
  // A process that ended meanwhile has no windows left to reach.
  for (DWORD process : others) SendToProcess(process, Wire(HWND_BROADCAST, message, wparam, lparam));
}

}  // namespace coredll
