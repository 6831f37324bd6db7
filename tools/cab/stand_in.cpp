#include "stand_in.h"

#include "text/fold.h"
#include "text/tokenizer.h"

namespace stowkit::cab {

HostWindow::HostWindow(const char16_t* class_name, const char16_t* title) {
  WNDCLASSW window_class = {};
  window_class.lpfnWndProc = DefWindowProcW;
  window_class.lpszClassName = class_name;
  RegisterClassW(&window_class);
  window_ =
      CreateWindowExW(0, class_name, title, 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
}

HostWindow::~HostWindow() {
  if (window_ != nullptr) DestroyWindow(window_);
}

void ShowFailure(bool silent, HWND owner, const std::u16string& text) {
  if (!silent) MessageBoxW(owner, text.c_str(), u"Error", MB_OK | MB_ICONERROR);
}

std::vector<std::u16string> ProgramArguments() {
  std::vector<std::u16string> tokens = SplitTokens(GetCommandLineW());
  char16_t own[MAX_PATH + 1] = {};
  GetModuleFileNameW(nullptr, own, MAX_PATH + 1);
  if (!tokens.empty() && EqualsNoCase(tokens.front(), own)) tokens.erase(tokens.begin());
  std::erase(tokens, std::u16string());  // a lone quote at the end names nothing here
  return tokens;
}

}  // namespace stowkit::cab
