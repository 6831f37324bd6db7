// Breaking a text into lines, for the terminal (a line is so many characters) and for the
// screen pictures (a line is so many pixels of a font).
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace coredll {

// The lines of `text` that `fits` accepts: broken at line ends and blanks (carriage
// returns dropped), a word too long for a line of its own cut where it stops fitting (one
// character at least). `String` is the std::basic_string of the text's characters.
template <typename String, typename Fits>
std::vector<String> WrapWords(const String& text, Fits fits) {
  using Char = typename String::value_type;
  std::vector<String> lines;
  String line, word;
  auto flush_word = [&] {
    while (!word.empty()) {
      String joined = line.empty() ? word : line + Char(' ') + word;
      if (fits(joined)) {
        line = std::move(joined);
        word.clear();
      } else if (!line.empty()) {
        lines.push_back(std::exchange(line, String()));
      } else {
        size_t n = 1;
        while (n < word.size() && fits(word.substr(0, n + 1))) ++n;
        lines.push_back(word.substr(0, n));
        word.erase(0, n);
      }
    }
  };
  for (Char c : text) {
    if (c == Char('\r')) continue;
    if (c == Char('\n')) {
      flush_word();
      lines.push_back(std::exchange(line, String()));
    } else if (c == Char(' ') || c == Char('\t')) {
      flush_word();
    } else {
      word += c;
    }
  }
  flush_word();
  if (!line.empty()) lines.push_back(line);
  return lines;
}

}  // namespace coredll
