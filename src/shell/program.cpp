#include "shell/program.h"

#include "coredll/commctrl.h"
#include "coredll/windows.h"
#include "engine/engine.h"
#include "engine/install_job.h"
#include "engine/status_reporter.h"
#include "resources/ui_strings.h"
#include "services/platform_services.h"
#include "services/process_services.h"
#include "shell/command_line_parser.h"
#include "shell/progress_dialog.h"
#include "shell/timed_notice.h"

namespace stowkit {
namespace {


// The follow-up start after a run that asked for a restart: the CAB installer that started
// the first run must be gone before the device goes down.
void WaitAndRestart(uint32_t process_id) {
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, process_id);
  if (process != nullptr) {
    WaitForSingleObject(process, INFINITE);
    CloseHandle(process);
  }
  Sleep(1000);
  WaitForProcessByName(u"wceload.exe", 10000);
  TimedNotice notice;
  notice.caption = LoadUiString(UiStringId::kRestartCaption);
  notice.text = LoadUiString(UiStringId::kRestartText);
  notice.style = 0x10040;
  notice.timeout_ms = 15000;
  ShowTimedNotice(notice);
  RestartDevice();
}

// The bootstrap window of the launcher that started this run, if one is on screen.
HWND DialogOwner(const InstallJob& job) {
  if (job.owner_window != nullptr) return job.owner_window;
  return FindWindowW(u"KitwrightBootstrap", nullptr);
}

void RunMessageLoop(HWND dialog) {
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (IsDialogMessageW(dialog, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

uint32_t RunWithDialog(Engine& engine, const InstallJob& job) {
  INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  ProgressDialog dialog(engine);
  if (!dialog.Create(DialogOwner(job))) return GetLastError();
  report::AttachSecondSink(&dialog);
  ShowWindow(dialog.Window(), SW_SHOW);
  RunMessageLoop(dialog.Window());
  DestroyWindow(dialog.Window());
  report::AttachSecondSink(nullptr);
  return uint32_t(engine.CompletionStatus());
}

}  // namespace

uint32_t RunInstallerProgram(std::u16string_view command_line) {
  Engine engine;
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  SetUiLanguage(0);
  CreateStatusReporter();
  HRESULT parsed = ParseCommandLine(command_line);
  if (FAILED(parsed)) return uint32_t(parsed);
  InstallJob& job = *GetInstallJob();
  if (job.wait_process_id != 0) {
    WaitAndRestart(job.wait_process_id);
    return 0;
  }
  engine.TakeJob(job);
  uint32_t exit_code = 0;
  if (engine.Silent()) {
    engine.Run();
    exit_code = uint32_t(engine.CompletionStatus());
  } else {
    exit_code = RunWithDialog(engine, job);
  }
  DestroyInstallJob();
  DestroyStatusReporter();
  CoUninitialize();
  return exit_code;
}

}  // namespace stowkit
