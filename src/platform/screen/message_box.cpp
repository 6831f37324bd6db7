// MessageBoxW: asked on the terminal when there is one, else answered from the script.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/device/errors.h"
#include "platform/screen/box_buttons.h"
#include "platform/screen/screen.h"
#include "platform/screen/scripted_answers.h"
#include "platform/windows/controls.h"
#include "platform/windows/message_queue.h"
#include "platform/windows/window_classes.h"
#include "platform/windows/window_lifecycle.h"
#include "text/utf.h"

namespace coredll {
namespace {

constexpr char16_t kDefaultCaption[] = u"Error";

bool Has(const std::vector<int>& buttons, int answer) {
  return std::find(buttons.begin(), buttons.end(), answer) != buttons.end();
}

// The one line a box leaves on standard error when it answers for itself.
void Report(const std::u16string& caption, std::u16string text, const std::string& why,
            int answer) {
  std::replace(text.begin(), text.end(), u'\n', u' ');
  std::erase(text, u'\r');
  std::string line = "message box \"" + stowkit::Utf16ToUtf8(caption) + "\" (" +
                     stowkit::Utf16ToUtf8(text) + "): " + why + "; answering " +
                     stowkit::Utf16ToUtf8(ButtonLabel(answer)) + "\n";
  std::fputs(line.c_str(), stderr);
}

int ScriptedAnswer(const std::u16string& caption, const std::u16string& text, UINT type) {
  std::optional<std::string> word = TakeScriptedAnswer();
  int safe = SafeAnswer(type);
  if (!word) {
    Report(caption, text, "no terminal and no scripted answer", safe);
    return safe;
  }
  std::optional<int> answer = AnswerOfWord(*word);
  if (answer && Has(ButtonsOf(type), *answer)) return *answer;
  Report(caption, text, "scripted answer '" + *word + "' is not one of its buttons", safe);
  return safe;
}

// A WM_COMMAND with one of the box's buttons answers it; IDCANCEL also stands for closing.
INT_PTR BoxProcedure(HWND box, UINT message, WPARAM wparam, LPARAM) {
  if (message != WM_COMMAND) return FALSE;
  WithWindow(box, [&](Window* w) {
    if (!w || !w->box) return;
    int id = LOWORD(wparam);
    if (Has(ButtonsOf(w->box->type), id)) w->box->answer = id;
    else if (id == IDCANCEL) w->box->answer = CloseAnswer(w->box->type);
  });
  return TRUE;
}

std::optional<int> KeyAnswer(const std::string& key, UINT type) {
  if (key == "\r" || key == "\n") return DefaultButton(type);
  if (key == "\x1b") return CloseAnswer(type);
  if (key.size() != 1) return std::nullopt;
  for (int button : ButtonsOf(type)) {
    if (std::tolower((unsigned char)key[0]) == std::tolower(ButtonLabel(button)[0])) return button;
  }
  return std::nullopt;
}

DWORD MakeBox(HWND owner, const std::u16string& caption, const std::u16string& text, UINT type,
              HWND& made) {
  Window box;
  box.class_name = kDialogClass;
  box.procedure = DialogProcedure;
  box.text = caption;
  box.style = WS_POPUP | WS_CAPTION | WS_VISIBLE;
  box.parent = owner;
  box.dialog.emplace().procedure = BoxProcedure;
  box.box.emplace();
  box.box->text = text;
  box.box->type = type;
  CREATESTRUCTW create = {nullptr, nullptr, nullptr, owner, 0, 0, 0, 0, LONG(box.style),
                          caption.c_str(), kDialogClass, 0};
  if (DWORD error = MakeWindow(std::move(box), create, made)) return error;
  if (type & MB_SETFOREGROUND) SetForegroundWindow(made);
  return ERROR_SUCCESS;
}

std::optional<int> AnswerOf(HWND box) {
  return WithWindow(box, [](Window* w) { return w && w->box ? w->box->answer : std::nullopt; });
}

// Serves the thread's messages until one answers the box or a quit comes (nullopt, and
// the quit code in `quit_code`).
std::optional<int> ServeUntilAnswered(HWND box, std::optional<int>& quit_code) {
  MSG message;
  while (!AnswerOf(box) && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      quit_code = int(message.wParam);
      return std::nullopt;
    }
    DispatchMessageW(&message);
  }
  return AnswerOf(box);
}

// The answer, or 0 with the error in `error` when the box could not be made.
int AskOnScreen(HWND owner, const std::u16string& caption, const std::u16string& text, UINT type,
                DWORD& error) {
  HWND box = nullptr;
  if ((error = MakeBox(owner, caption, text, type, box))) return 0;
  KeyInput keys;
  int fd = keys.fd();
  std::optional<int> answer, quit_code;
  while (!answer && !quit_code) {
    answer = ServeUntilAnswered(box, quit_code);
    if (answer || quit_code) break;
    DrawIfChanged();
    int ready = WaitForInput({&fd, 1}, QS_ALLINPUT, INFINITE);
    if (ready != 0 && ready != kWaitFailed) continue;
    std::vector<std::string> typed = ready == 0 ? keys.Read() : std::vector<std::string>();
    for (size_t i = 0; i < typed.size() && !answer; ++i) answer = KeyAnswer(typed[i], type);
    if (typed.empty()) {  // the terminal has gone: nobody is left to ask
      answer = SafeAnswer(type);
      Report(caption, text, "the terminal closed", *answer);
    }
  }
  DestroyWindow(box);
  DrawIfChanged();
  if (quit_code) PostQuitMessage(*quit_code);  // for the loop that the box interrupted
  return answer.value_or(0);
}

}  // namespace
}  // namespace coredll

using namespace coredll;

int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
  UINT icon = type & MB_ICONMASK;
  if (ButtonsOf(type).empty() || icon > MB_ICONASTERISK) return Fail(ERROR_INVALID_PARAMETER);
  if (owner && !IsWindow(owner)) return Fail(ERROR_INVALID_WINDOW_HANDLE);
  std::u16string body = text ? text : u"";
  std::u16string title = caption ? caption : kDefaultCaption;
  if (!HasTerminal()) return ScriptedAnswer(title, body, type);
  DWORD error = ERROR_SUCCESS;
  int answer = AskOnScreen(owner, title, body, type, error);
  return error ? Fail(error) : answer;
}
