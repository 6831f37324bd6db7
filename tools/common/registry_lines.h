// The lines of a Registry entry's ".registry" text as the installer reads them: every byte
// one character of the same value, lines ended by LF and trimmed of white space at both
// ends.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace stowkit::tool {

// Every line, blank lines and comments included, so that a line's index + 1 is its number.
std::vector<std::u16string> RegistryTextLines(std::string_view bytes);

}  // namespace stowkit::tool
