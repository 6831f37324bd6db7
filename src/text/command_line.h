// Command lines as the handheld passes them: one text, split by the program itself.
#pragma once

#include <string>
#include <vector>

namespace stowkit {

// Arguments joined by the Windows quoting rules, the inverse of the usual split: an argument
// that is empty or holds a blank, tab or quote is quoted, with backslashes doubled before a
// quote (which gets one more) and before the closing quote.
std::u16string JoinArguments(const std::vector<std::u16string>& arguments);

}  // namespace stowkit
