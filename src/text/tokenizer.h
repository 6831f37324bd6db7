// Splits a handheld command line into tokens, the one way every switch is read: the
// installer's, the setup extension's and the CAB installer's.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace stowkit {

// Returned instead of a position when nothing follows the token.
inline constexpr size_t kEndOfInput = std::u16string_view::npos;

// Reads the token at or after `from` (blanks and tabs skipped) into `token`. A token runs to
// the first blank or tab outside double quotes: a quote toggles quoting and is dropped, two
// quotes in a row give one quote (quoted or not), and a quoted blank is kept. Returns the
// position of the blank that ended the token, or kEndOfInput when the token ran to the end of
// the text (it is still returned in full) or no token was left (`token` is then empty). A
// `from` of kEndOfInput or past the end gives an empty token.
size_t NextToken(std::u16string_view text, size_t from, std::u16string& token);

// Every token of `text` in order. Blanks at the end make no token; a lone quote at the end
// is a token, an empty one (its quoted text holds nothing).
std::vector<std::u16string> SplitTokens(std::u16string_view text);

}  // namespace stowkit
