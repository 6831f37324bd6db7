// File-name patterns with '*' (any run, also empty) and '?' (any one character), compared
// through the one case folding. "*.*" matches every name, dot or not, as on the handheld.
#pragma once

#include <string_view>

namespace stowkit {

bool MatchWildcard(std::u16string_view pattern, std::u16string_view name);

}  // namespace stowkit
