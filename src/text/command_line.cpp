#include "text/command_line.h"

namespace stowkit {

std::u16string JoinArguments(const std::vector<std::u16string>& arguments) {
  std::u16string line;
  for (const std::u16string& argument : arguments) {
    if (!line.empty()) line += u' ';
    if (!argument.empty() && argument.find_first_of(u" \t\"") == std::u16string::npos) {
      line += argument;
      continue;
    }
    line += u'"';
    size_t backslashes = 0;
    for (char16_t c : argument) {
      if (c == u'\\') {
        ++backslashes;
        continue;
      }
      line.append(c == u'"' ? 2 * backslashes + 1 : backslashes, u'\\');
      backslashes = 0;
      line += c;
    }
    line.append(2 * backslashes, u'\\');
    line += u'"';
  }
  return line;
}

}  // namespace stowkit
