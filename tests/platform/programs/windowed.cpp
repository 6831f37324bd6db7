// A device program with windows, for tests. Its command line says what to do:
//   window TITLE close|ignore  make a top-level window of class "ProbeWindow" titled TITLE,
//                              create \Temp\TITLE.ready and serve messages. WM_CLOSE ends
//                              the program with exit code 42 (close) or is ignored (ignore).
//                              Each message from WM_USER up is added to \Temp\TITLE.log
//                              as a line "message wparam lparam".
//   box TYPE CAPTION TEXT      MessageBoxW with TYPE (decimal or 0x hex); the answer goes to
//                              \Temp\answer.txt and becomes the exit code
//   show CAPTION               a dialog like the installer's progress dialog (title
//                              "Installing Demo", status, detail, bar at 4 of 10, icon 103,
//                              Done button), then a Yes/No box titled CAPTION; the answer as
//                              with box
//   broadcast MESSAGE LPARAM   posts MESSAGE with LPARAM to HWND_BROADCAST
//   progress-class             makes a progress bar before and after InitCommonControlsEx;
//                              ends with the first attempt's error when only the second
//                              works, else 1
// Words with blanks are written in double quotes.
#include <cstdlib>
#include <string>
#include <vector>

#include "coredll/aygshell.h"
#include "coredll/windows.h"
#include "coredll/winmain.h"
#include "resources/dialog_builder.h"
#include "text/utf.h"

namespace {

constexpr int kClosedExitCode = 42;

std::vector<std::u16string> Words(std::u16string_view line) {
  std::vector<std::u16string> words;
  size_t i = 0;
  while ((i = line.find_first_not_of(u' ', i)) != line.npos) {
    bool quoted = line[i] == u'"';
    size_t start = i + (quoted ? 1 : 0);
    size_t end = line.find(quoted ? u'"' : u' ', start);
    words.emplace_back(line.substr(start, end == line.npos ? line.npos : end - start));
    i = end == line.npos ? line.npos : end + 1;
    if (i == line.npos) break;
  }
  return words;
}

unsigned long Number(const std::u16string& word) {
  return std::strtoul(stowkit::Utf16ToUtf8(word).c_str(), nullptr, 0);
}

void WriteDeviceFile(const std::u16string& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  WriteFile(file, bytes.data(), DWORD(bytes.size()), nullptr, nullptr);
  CloseHandle(file);
}

struct WindowScript {
  std::u16string title;
  bool closes = true;
  std::string log;
};
WindowScript script;

LRESULT WindowProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_CLOSE && !script.closes) return 0;
  if (message == WM_DESTROY) PostQuitMessage(kClosedExitCode);
  if (message >= WM_USER) {
    script.log += std::to_string(message) + " " + std::to_string(wparam) + " " + std::to_string(lparam) + "\n";
    WriteDeviceFile(u"\\Temp\\" + script.title + u".log", script.log);
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

int ServeWindow(const std::u16string& title, const std::u16string& mode) {
  script.title = title;
  script.closes = mode == u"close";
  WNDCLASSW window_class = {};
  window_class.lpfnWndProc = WindowProcedure;
  window_class.lpszClassName = u"ProbeWindow";
  RegisterClassW(&window_class);
  if (!CreateWindowExW(0, u"ProbeWindow", title.c_str(), WS_OVERLAPPED, 0, 0, 100, 100, nullptr,
                       nullptr, nullptr, nullptr)) {
    return int(GetLastError());
  }
  WriteDeviceFile(u"\\Temp\\" + title + u".ready", "ready");
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
  return int(message.wParam);
}

int Answer(int answer) {
  WriteDeviceFile(u"\\Temp\\answer.txt", std::to_string(answer));
  return answer;
}

INT_PTR DialogProcedure(HWND dialog, UINT message, WPARAM, LPARAM) {
  if (message != WM_INITDIALOG) return FALSE;
  HMODULE shell = LoadLibraryW(u"aygshell.dll");
  auto init = reinterpret_cast<PFN_SHInitDialog>(GetProcAddressW(shell, u"SHInitDialog"));
  SHINITDLGINFO info = {SHIDIM_FLAGS, dialog, SHIDIF_DONEBUTTON | SHIDIF_SIZEDLGFULLSCREEN | SHIDIF_SIPDOWN};
  if (init) init(&info);
  FreeLibrary(shell);
  SetDlgItemTextW(dialog, 1002, u"Copying files");
  SetDlgItemTextW(dialog, 1005, u"\\Program Files\\Demo\\demo.exe");
  SendMessageW(GetDlgItem(dialog, 1000), PBM_SETRANGE32, 0, 10);
  SendMessageW(GetDlgItem(dialog, 1000), PBM_SETPOS, 4, 0);
  return TRUE;
}

int Show(const std::u16string& caption) {
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  stowkit::DialogBuilder builder(WS_POPUP | WS_CAPTION | WS_VISIBLE | DS_SETFONT, 0, 0,
                                          120, 85, u"Installing Demo");
  builder.Add(WS_VISIBLE | SS_LEFT, 6, 1, 111, 29, 1002, WORD(0x0082), u"")
      .Add(WS_VISIBLE | WS_BORDER, 28, 68, 90, 14, 1000, u"msctls_progress32", u"Progress1")
      .Add(WS_VISIBLE | SS_ICON, 2, 64, 20, 20, 1003, WORD(0x0082), WORD(103))
      .Add(WS_VISIBLE | SS_LEFT, 6, 31, 111, 32, 1005, WORD(0x0082), u"");
  HWND dialog = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), builder.Template(), nullptr,
                                           DialogProcedure, 0);
  if (!dialog) return int(GetLastError());
  UpdateWindow(dialog);
  return Answer(MessageBoxW(dialog, u"Overwrite the newer version?", caption.c_str(),
                            MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND));
}

int ProgressClass() {
  auto make = [] {
    return CreateWindowExW(0, PROGRESS_CLASSW, u"", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  };
  bool before = make() != nullptr;
  DWORD error = GetLastError();
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  return !before && make() ? int(error) : 1;
}

}  // namespace

int WinMain(HINSTANCE, HINSTANCE, LPWSTR command_line, int) {
  std::vector<std::u16string> words = Words(command_line);
  if (!words.empty() && words[0].starts_with(u"\\")) words.erase(words.begin());  // program path
  auto arg = [&](size_t i) { return i < words.size() ? words[i] : std::u16string(); };
  if (arg(0) == u"window") return ServeWindow(arg(1), arg(2));
  if (arg(0) == u"box") {
    return Answer(MessageBoxW(nullptr, arg(3).c_str(), arg(2).c_str(), UINT(Number(arg(1)))));
  }
  if (arg(0) == u"show") return Show(arg(1));
  if (arg(0) == u"progress-class") return ProgressClass();
  if (arg(0) == u"broadcast") {
    return PostMessageW(HWND_BROADCAST, UINT(Number(arg(1))), 0, LPARAM(Number(arg(2)))) ? 0 : 1;
  }
  return 2;
}
