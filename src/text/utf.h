// Conversion between the UTF-16 text held in memory and UTF-8 at the host edge (host paths,
// the terminal, arguments, tool output). Never fails: malformed input becomes U+FFFD, so a
// hostile name is shown mangled rather than dropped.
#pragma once

#include <string>
#include <string_view>

namespace stowkit {

std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

}  // namespace stowkit
