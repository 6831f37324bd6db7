#include "text/format.h"

#include <algorithm>

namespace stowkit {
namespace {

struct Directive {
  bool left = false;  // '-': pad on the right
  bool zero = false;  // '0': pad numbers with zeros
  int width = 0;
  int length = 0;  // -1 h, 0 none, 1 l, 2 ll
  char16_t conversion = 0;
};

// Parses the directive after a '%' at tmpl[pos]; returns the index past it, or npos when the
// template ends inside it.
size_t ParseDirective(std::u16string_view tmpl, size_t pos, Directive& d) {
  for (; pos < tmpl.size() && (tmpl[pos] == u'-' || tmpl[pos] == u'0'); ++pos) {
    (tmpl[pos] == u'-' ? d.left : d.zero) = true;
  }
  for (; pos < tmpl.size() && tmpl[pos] >= u'0' && tmpl[pos] <= u'9'; ++pos) {
    d.width = std::min(d.width * 10 + (tmpl[pos] - u'0'), kMaxFormatWidth);
  }
  if (pos < tmpl.size() && tmpl[pos] == u'h') {
    d.length = -1;
    ++pos;
  } else {
    for (; pos < tmpl.size() && tmpl[pos] == u'l' && d.length < 2; ++pos) ++d.length;
  }
  if (pos >= tmpl.size()) return std::u16string_view::npos;
  d.conversion = tmpl[pos];
  return pos + 1;
}

uint64_t Truncate(uint64_t v, int length, bool is_signed) {
  if (length == 2) return v;
  if (length == -1) return is_signed ? uint64_t(int64_t(int16_t(v))) : uint16_t(v);
  return is_signed ? uint64_t(int64_t(int32_t(v))) : uint32_t(v);
}

std::u16string Digits(uint64_t v, unsigned base, bool upper) {
  const char16_t* digits = upper ? u"0123456789ABCDEF" : u"0123456789abcdef";
  std::u16string out;
  do {
    out.insert(out.begin(), digits[v % base]);
    v /= base;
  } while (v != 0);
  return out;
}

std::u16string FormatNumber(const FormatArg& arg, const Directive& d) {
  char16_t c = d.conversion;
  bool is_signed = c == u'd' || c == u'i';
  uint64_t v = Truncate(arg.number(), d.length, is_signed);
  if (c == u'c') return std::u16string(1, char16_t(v));
  if (is_signed && int64_t(v) < 0) return u"-" + Digits(0 - v, 10, false);
  return Digits(v, (c == u'x' || c == u'X') ? 16 : 10, c == u'X');
}

void Pad(std::u16string& out, std::u16string body, const Directive& d, bool numeric) {
  size_t width = size_t(d.width);
  if (body.size() >= width) {
    out += body;
  } else if (d.left) {
    out += body;
    out.append(width - body.size(), u' ');
  } else if (d.zero && numeric) {
    size_t sign = (!body.empty() && body[0] == u'-') ? 1 : 0;
    body.insert(sign, width - body.size(), u'0');
    out += body;
  } else {
    out.append(width - body.size(), u' ');
    out += body;
  }
}

bool IsNumeric(char16_t c) {
  return c == u'd' || c == u'i' || c == u'u' || c == u'x' || c == u'X' || c == u'c';
}

}  // namespace

std::u16string FormatW(std::u16string_view tmpl, std::initializer_list<FormatArg> args) {
  std::u16string out;
  out.reserve(tmpl.size() + 16 * args.size());
  const FormatArg* next = args.begin();
  size_t pos = 0;
  while (pos < tmpl.size()) {
    size_t pct = tmpl.find(u'%', pos);
    out.append(tmpl.substr(pos, pct - pos));
    if (pct == std::u16string_view::npos) break;
    Directive d;
    size_t end = ParseDirective(tmpl, pct + 1, d);
    if (end == std::u16string_view::npos) {
      out.append(tmpl.substr(pct));
      break;
    }
    pos = end;
    bool numeric = IsNumeric(d.conversion);
    if (d.conversion == u'%') {
      out += u'%';
    } else if ((!numeric && d.conversion != u's') || next == args.end()) {
      out.append(tmpl.substr(pct, end - pct));
    } else {
      const FormatArg& arg = *next++;
      bool text = arg.kind() == FormatArg::Kind::kText;
      if (text == numeric) {
        out += u"(?)";
      } else {
        Pad(out, text ? std::u16string(arg.text()) : FormatNumber(arg, d), d, numeric);
      }
    }
  }
  return out;
}

}  // namespace stowkit
