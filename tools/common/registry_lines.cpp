#include "registry_lines.h"

#include "text/trim.h"

namespace stowkit::tool {

std::vector<std::u16string> RegistryTextLines(std::string_view bytes) {
  std::vector<std::u16string> lines;
  std::u16string line;
  for (size_t at = 0; at <= bytes.size(); ++at) {
    if (at < bytes.size() && bytes[at] != '\n') {
      line += char16_t(uint8_t(bytes[at]));
      continue;
    }
    // A final LF ends the last line; it does not start another.
    if (at < bytes.size() || !line.empty()) lines.emplace_back(TrimBlanks(line));
    line.clear();
  }
  return lines;
}

}  // namespace stowkit::tool
