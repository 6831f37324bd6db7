// Case folding for names: file paths, registry keys and values, feature and language names.
//
// One mapping serves every case-insensitive comparison in the system, so two names that are
// equal to the file system are equal to the registry and to the engine too. The mapping is
// the simple Unicode upper-case mapping of the Basic Multilingual Plane, compiled in: it is
// the same on every host, whatever its locale.
#pragma once

#include <string>
#include <string_view>

namespace stowkit {

// The upper-case form of one UTF-16 code unit; surrogates and caseless units map to themselves.
char16_t FoldUpper(char16_t c);

// `text` with every code unit folded by FoldUpper.
std::u16string UpperCase(std::u16string_view text);

// Compares after folding: <0, 0, >0 in the order of the folded code units.
int CompareNoCase(std::u16string_view a, std::u16string_view b);

inline bool EqualsNoCase(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() && CompareNoCase(a, b) == 0;
}

// Orders names by their folded form; for sets and maps keyed case-insensitively.
struct NoCaseLess {
  using is_transparent = void;
  bool operator()(std::u16string_view a, std::u16string_view b) const {
    return CompareNoCase(a, b) < 0;
  }
};

}  // namespace stowkit
