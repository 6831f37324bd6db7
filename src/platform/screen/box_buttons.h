// The buttons of message boxes and the words that name their answers ("yes", "retry"...),
// shared by the boxes, the screen and the scripted answers.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "coredll/winuser.h"

namespace coredll {

// The answers (IDOK...) of a box's button set, left to right; empty for an unknown set.
std::vector<int> ButtonsOf(UINT type);

// The button Enter stands for: MB_DEFBUTTON2/3 pick a later one, if the box has it.
int DefaultButton(UINT type);

// What a box answers when nobody can: No, else Cancel, else Abort, else OK.
int SafeAnswer(UINT type);

// The answer that Escape or closing the box gives: Cancel, or OK on a box with only OK;
// nullopt when the box cannot be closed that way.
std::optional<int> CloseAnswer(UINT type);

// "OK", "Cancel", "Abort", "Retry", "Ignore", "Yes", "No".
std::u16string_view ButtonLabel(int answer);
// "ok", "cancel", "abort", "retry", "ignore", "yes", "no".
std::string_view AnswerWord(int answer);
// The answer a word (any case) names, or nullopt.
std::optional<int> AnswerOfWord(std::string_view word);

}  // namespace coredll
