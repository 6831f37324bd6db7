// File-name patterns with '*' (any run, also empty) and '?' (any one character), compared
// through the one case folding. "*.*" matches every name, dot or not, as on the handheld.
#pragma once

#include <string_view>

namespace stowkit {

bool MatchWildcard(std::u16string_view pattern, std::u16string_view name);

inline bool HasWildcards(std::u16string_view text) {
  return text.find_first_of(u"*?") != std::u16string_view::npos;
}

}  // namespace stowkit
