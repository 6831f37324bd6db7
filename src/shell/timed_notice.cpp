#include "shell/timed_notice.h"

#include "services/process_services.h"

namespace stowkit {
namespace {

DWORD ShowNotice(LPVOID parameter) {
  auto* notice = static_cast<TimedNotice*>(parameter);
  notice->result = MessageBoxW(GetForegroundWindow(), notice->text.c_str(),
                               notice->caption.c_str(), notice->style);
  return 0;
}

// A message box is a top-level window of class "Dialog" titled with its caption.
void CloseNoticeBox(const TimedNotice& notice) {
  HWND box = FindWindowW(u"Dialog", notice.caption.c_str());
  if (box != nullptr) PostMessageW(box, WM_COMMAND, IDOK, 0);
}

}  // namespace

int ShowTimedNotice(TimedNotice& notice) {
  HANDLE thread = CreateThread(nullptr, 0, ShowNotice, &notice, 0, nullptr);
  if (thread == nullptr) return 0;
  WaitWithMessages(thread, notice.timeout_ms);
  bool answered = WaitForSingleObject(thread, 0) == WAIT_OBJECT_0;
  if (!answered) {
    CloseNoticeBox(notice);
    // The record must outlive the box's thread, which ends once the box has its answer.
    WaitForSingleObject(thread, INFINITE);
    notice.result = 0;
  }
  CloseHandle(thread);
  return notice.result;
}

}  // namespace stowkit
