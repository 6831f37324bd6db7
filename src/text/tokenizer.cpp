#include "text/tokenizer.h"

namespace stowkit {
namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

}  // namespace

size_t NextToken(std::u16string_view text, size_t from, std::u16string& token) {
  token.clear();
  size_t i = from;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool quoted = false;
  for (; i < text.size(); ++i) {
    char16_t c = text[i];
    if (c == u'"') {
      if (i + 1 < text.size() && text[i + 1] == u'"') {
        token += u'"';
        ++i;
      } else {
        quoted = !quoted;
      }
    } else if (IsBlank(c) && !quoted) {
      return i;
    } else {
      token += c;
    }
  }
  return kEndOfInput;
}

std::vector<std::u16string> SplitTokens(std::u16string_view text) {
  std::vector<std::u16string> tokens;
  std::u16string token;
  size_t at = 0;
  while (at != kEndOfInput) {
    size_t start = at;
    while (start < text.size() && IsBlank(text[start])) ++start;
    if (start >= text.size()) break;  // only blanks were left: no token
    at = NextToken(text, start, token);
    tokens.push_back(token);
  }
  return tokens;
}

}  // namespace stowkit
