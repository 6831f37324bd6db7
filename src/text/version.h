// Four-part version numbers and delimited name lists.
//
// A version is four 8-bit fields packed most significant first (major in bits 24..31), so
// versions compare as plain unsigned numbers: 1.2.0.0 < 1.10.0.0, and a higher major wins.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace stowkit {

using Version = uint32_t;
using StringList = std::vector<std::u16string>;

// The signed decimal number that `text` starts with (optional sign, then digits up to the
// first other character; none: 0), wrapping as a 32-bit value would: "-1" is 0xFFFFFFFF,
// "0x10" is 0.
uint32_t LeadingNumber(std::u16string_view text);

// Cuts at ',', '.', blank and tab; each field is the signed decimal number its leading
// characters spell (none: 0), kept modulo 256. Fields past the fourth are ignored, missing
// ones are 0, and two separators in a row make an empty field of value 0. Null or empty: 0.
Version ParseVersion(const char16_t* text);
Version ParseVersion(std::u16string_view text);

// "%d.%d.%d.%d", most significant field first.
std::u16string FormatVersion(Version value);

// FormatVersion(ParseVersion(text)).
std::u16string NormalizeVersion(std::u16string_view text);

// The delimiters of every list the system splits: feature and language lists, and the list
// service offered to custom code.
inline constexpr std::u16string_view kListDelimiters = u",;";
inline constexpr char16_t kListSeparator = u',';

// Appends the pieces of `text` to `list`: runs of delimiters are one separator, leading and
// trailing ones are skipped, and no piece is empty.
void SplitList(std::u16string_view text, std::u16string_view delimiters, StringList& list);

// The pieces in order with `separator` between neighbours; an empty list gives "".
std::u16string JoinList(const StringList& list, char16_t separator);

}  // namespace stowkit
