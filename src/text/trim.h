// White space as every text of the system trims it: blanks and the controls 0x09..0x0D.
#pragma once

#include <string_view>

namespace stowkit {

constexpr bool IsBlank(char16_t c) { return c == u' ' || (c >= 0x09 && c <= 0x0D); }

// `text` without white space at either end.
constexpr std::u16string_view TrimBlanks(std::u16string_view text) {
  size_t first = 0, last = text.size();
  while (first < last && IsBlank(text[first])) ++first;
  while (last > first && IsBlank(text[last - 1])) --last;
  return text.substr(first, last - first);
}

}  // namespace stowkit
