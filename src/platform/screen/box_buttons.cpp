#include "platform/screen/box_buttons.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace coredll {
namespace {

struct Answer {
  int id;
  std::u16string_view label;
  std::string_view word;
};

constexpr Answer kAnswers[] = {
    {IDOK, u"OK", "ok"},         {IDCANCEL, u"Cancel", "cancel"}, {IDABORT, u"Abort", "abort"},
    {IDRETRY, u"Retry", "retry"}, {IDIGNORE, u"Ignore", "ignore"}, {IDYES, u"Yes", "yes"},
    {IDNO, u"No", "no"},
};

const Answer* Find(int id) {
  auto it = std::find_if(std::begin(kAnswers), std::end(kAnswers),
                         [&](const Answer& a) { return a.id == id; });
  return it == std::end(kAnswers) ? nullptr : it;
}

bool Has(const std::vector<int>& buttons, int id) {
  return std::find(buttons.begin(), buttons.end(), id) != buttons.end();
}

}  // namespace

std::vector<int> ButtonsOf(UINT type) {
  switch (type & MB_TYPEMASK) {
    case MB_OK: return {IDOK};
    case MB_OKCANCEL: return {IDOK, IDCANCEL};
    case MB_ABORTRETRYIGNORE: return {IDABORT, IDRETRY, IDIGNORE};
    case MB_YESNOCANCEL: return {IDYES, IDNO, IDCANCEL};
    case MB_YESNO: return {IDYES, IDNO};
    case MB_RETRYCANCEL: return {IDRETRY, IDCANCEL};
    default: return {};
  }
}

int DefaultButton(UINT type) {
  std::vector<int> buttons = ButtonsOf(type);
  size_t index = (type & MB_DEFMASK) >> 8;
  return index < buttons.size() ? buttons[index] : buttons.front();
}

int SafeAnswer(UINT type) {
  std::vector<int> buttons = ButtonsOf(type);
  for (int safe : {IDNO, IDCANCEL, IDABORT}) {
    if (Has(buttons, safe)) return safe;
  }
  return IDOK;
}

std::optional<int> CloseAnswer(UINT type) {
  std::vector<int> buttons = ButtonsOf(type);
  if (Has(buttons, IDCANCEL)) return IDCANCEL;
  if (buttons == std::vector<int>{IDOK}) return IDOK;
  return std::nullopt;
}

std::u16string_view ButtonLabel(int answer) {
  const Answer* a = Find(answer);
  return a ? a->label : u"?";
}

std::string_view AnswerWord(int answer) {
  const Answer* a = Find(answer);
  return a ? a->word : "?";
}

std::optional<int> AnswerOfWord(std::string_view word) {
  std::string lower(word);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return char(std::tolower(c)); });
  for (const Answer& a : kAnswers) {
    if (a.word == lower) return a.id;
  }
  return std::nullopt;
}

}  // namespace coredll
