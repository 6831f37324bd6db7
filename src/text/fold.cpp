#include "text/fold.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace stowkit {
namespace {

struct UpperRange {
  char16_t first;
  char16_t last;
  int32_t delta;
  uint16_t stride;
};

constexpr UpperRange kUpperRanges[] = {
#include "text/upper_table.inc"
};

}  // namespace

char16_t FoldUpper(char16_t c) {
  if (c < 0x80) return (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c;
  auto it = std::upper_bound(std::begin(kUpperRanges), std::end(kUpperRanges), c,
                             [](char16_t v, const UpperRange& r) { return v < r.first; });
  if (it == std::begin(kUpperRanges)) return c;
  const UpperRange& r = *std::prev(it);
  if (c > r.last || (c - r.first) % r.stride != 0) return c;
  return char16_t(c + r.delta);
}

std::u16string UpperCase(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& c : out) c = FoldUpper(c);
  return out;
}

int CompareNoCase(std::u16string_view a, std::u16string_view b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    char16_t x = FoldUpper(a[i]);
    char16_t y = FoldUpper(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

}  // namespace stowkit
