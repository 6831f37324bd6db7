#include "text/version.h"

#include "text/format.h"

namespace stowkit {
namespace {

bool IsVersionSeparator(char16_t c) {
  return c == u',' || c == u'.' || c == u' ' || c == u'\t';
}

}  // namespace

uint32_t LeadingNumber(std::u16string_view text) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
  uint32_t value = 0;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    value = value * 10 + uint32_t(text[i] - u'0');
  }
  return negative ? 0 - value : value;
}

Version ParseVersion(const char16_t* text) {
  return text ? ParseVersion(std::u16string_view(text)) : 0;
}

Version ParseVersion(std::u16string_view text) {
  Version value = 0;
  size_t start = 0;
  for (int field = 0; field < 4 && start <= text.size(); ++field) {
    size_t end = start;
    while (end < text.size() && !IsVersionSeparator(text[end])) ++end;
    value |= (LeadingNumber(text.substr(start, end - start)) & 0xFF) << (24 - 8 * field);
    start = end + 1;
  }
  return value;
}

std::u16string FormatVersion(Version value) {
  return Format(u"%d.%d.%d.%d", value >> 24, (value >> 16) & 0xFF, (value >> 8) & 0xFF,
                value & 0xFF);
}

std::u16string NormalizeVersion(std::u16string_view text) {
  return FormatVersion(ParseVersion(text));
}

void SplitList(std::u16string_view text, std::u16string_view delimiters, StringList& list) {
  size_t pos = text.find_first_not_of(delimiters);
  while (pos != std::u16string_view::npos) {
    size_t end = text.find_first_of(delimiters, pos);
    list.emplace_back(text.substr(pos, end - pos));
    pos = text.find_first_not_of(delimiters, end);
  }
}

std::u16string JoinList(const StringList& list, char16_t separator) {
  std::u16string out;
  for (const std::u16string& piece : list) {
    if (!out.empty() || &piece != &list.front()) out += separator;
    out += piece;
  }
  return out;
}

}  // namespace stowkit
