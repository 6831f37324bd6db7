#include "regedit_text.h"

#include <cstring>

#include "text/fold.h"
#include "text/utf.h"

namespace stowkit::device_tool {
namespace {

struct Root {
  std::u16string_view full;
  std::u16string_view short_name;
};
constexpr Root kRoots[] = {
    {u"HKEY_CLASSES_ROOT", u"HKCR"},
    {u"HKEY_CURRENT_USER", u"HKCU"},
    {u"HKEY_LOCAL_MACHINE", u"HKLM"},
    {u"HKEY_USERS", u"HKU"},
};

// The device's own limits (coredll/winreg.h), checked before anything of a file is applied.
constexpr size_t kMaxNameChars = 255;
constexpr size_t kMaxDepth = 16;

constexpr std::u16string_view kVersion4 = u"REGEDIT4";
constexpr std::u16string_view kVersion5 = u"Windows Registry Editor Version 5.00";

constexpr uint32_t kRegSz = 1, kRegBinary = 3, kRegDword = 4;

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r'; }

std::u16string_view Trim(std::u16string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool StartsWithNoCase(std::u16string_view text, std::u16string_view prefix) {
  return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// 1 to `max_digits` hex digits and nothing else.
bool ParseHex(std::u16string_view text, size_t max_digits, uint32_t& value) {
  if (text.empty() || text.size() > max_digits) return false;
  value = 0;
  for (char16_t c : text) {
    int digit = HexDigit(c);
    if (digit < 0) return false;
    value = value * 16 + uint32_t(digit);
  }
  return true;
}

std::string Shown(std::u16string_view text) {
  constexpr size_t kShown = 24;
  return Utf16ToUtf8(text.substr(0, kShown)) + (text.size() > kShown ? "..." : "");
}

// A text that fits on one line of the file and survives the trip through UTF-8.
bool IsLineText(std::u16string_view text) {
  return text.find_first_of(u"\r\n") == std::u16string_view::npos &&
         Utf8ToUtf16(Utf16ToUtf8(text)) == text;
}

std::string Quote(std::u16string_view text) {
  std::string quoted = "\"";
  for (char c : Utf16ToUtf8(text)) {
    if (c == '\\' || c == '"') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

// The text of a REG_SZ value when its bytes are exactly one line of text and its
// terminating zero, so that writing it in quotes gives back the same bytes.
bool AsLineText(const std::string& data, std::u16string& text) {
  if (data.size() < 2 || data.size() % 2 != 0) return false;
  text.assign(data.size() / 2 - 1, u'\0');
  std::memcpy(text.data(), data.data(), data.size() - 2);
  return data[data.size() - 2] == 0 && data.back() == 0 &&
         text.find(u'\0') == std::u16string::npos && IsLineText(text);
}

void AppendHexByte(std::string& out, uint8_t byte) {
  constexpr char kDigits[] = "0123456789abcdef";
  out += kDigits[byte >> 4];
  out += kDigits[byte & 0xF];
}

std::string HexType(uint32_t type) {
  if (type == kRegBinary) return "hex:";
  std::string digits;
  do {
    digits.insert(digits.begin(), "0123456789abcdef"[type & 0xF]);
    type >>= 4;
  } while (type != 0);
  return "hex(" + digits + "):";
}

// Appends the bytes as "xx,xx,...", continuing on a new line before it grows past the
// width the desktop editor keeps to.
void AppendHexData(std::string& line, const std::string& data) {
  constexpr size_t kWidth = 76;
  size_t column = line.size();
  for (size_t i = 0; i < data.size(); ++i) {
    AppendHexByte(line, uint8_t(data[i]));
    column += 2;
    if (i + 1 == data.size()) break;
    line += ',';
    ++column;
    if (column >= kWidth) {
      line += "\\\n  ";
      column = 2;
    }
  }
}

class Parser {
 public:
  explicit Parser(std::vector<RegistryChange>& changes) : changes_(changes) {}

  // One logical line (continuations joined, trimmed, not blank, not a comment).
  bool Line(size_t number, std::u16string_view text, std::string& reason) {
    line_ = number;
    if (!header_seen_) return Header(text, reason);
    if (text.front() == u'[') return Key(text, reason);
    return Value(text, reason);
  }

  bool Finish(std::string& reason) {
    if (!header_seen_) reason = "empty file: no REGEDIT4 line";
    return header_seen_;
  }

 private:
  bool Header(std::u16string_view text, std::string& reason) {
    if (text != kVersion4 && text != kVersion5) {
      reason = "not a registry file: it must begin with REGEDIT4 or " + Utf16ToUtf8(kVersion5);
      return false;
    }
    header_seen_ = true;
    return true;
  }

  bool Key(std::u16string_view text, std::string& reason) {
    if (text.back() != u']' || text.size() < 3) {
      reason = "a key line must be '[KEY]' or '[-KEY]'";
      return false;
    }
    std::u16string_view path = text.substr(1, text.size() - 2);
    bool remove = path.front() == u'-';
    if (remove) path.remove_prefix(1);
    RegistryChange change;
    change.kind = remove ? RegistryChange::kDeleteKey : RegistryChange::kOpenKey;
    change.line = line_;
    if (!SplitKeyPath(path, change.root, change.subkey, reason)) return false;
    if (remove && change.subkey.empty()) {
      reason = "a root key cannot be deleted";
      return false;
    }
    key_state_ = remove ? KeyState::kDeleted : KeyState::kOpen;
    changes_.push_back(std::move(change));
    return true;
  }

  bool Value(std::u16string_view text, std::string& reason) {
    if (key_state_ != KeyState::kOpen) {
      reason = key_state_ == KeyState::kNone ? "a value line needs a key line before it"
                                             : "a value cannot follow a deleted key";
      return false;
    }
    RegistryChange change = changes_.back();  // the root and subkey of the open key
    change.line = line_;
    change.value = RegistryValue{};
    size_t pos = 0;
    if (text.front() == u'@') {
      pos = 1;
    } else if (!Quoted(text, pos, change.value.name, reason)) {
      if (reason.empty()) reason = "expected a quoted value name or @";
      return false;
    }
    if (change.value.name.size() > kMaxNameChars) {
      reason = "value name longer than 255 characters";
      return false;
    }
    std::u16string_view rest = Trim(text.substr(pos));
    if (rest.empty() || rest.front() != u'=') {
      reason = "expected '=' after the value name";
      return false;
    }
    rest = Trim(rest.substr(1));
    if (rest == u"-") {
      change.kind = RegistryChange::kDeleteValue;
    } else {
      change.kind = RegistryChange::kSetValue;
      if (!Data(rest, change.value, reason)) return false;
    }
    changes_.push_back(std::move(change));
    return true;
  }

  // A quoted text starting at `pos`; `pos` ends after the closing quote. False with an
  // empty reason when there is no opening quote.
  bool Quoted(std::u16string_view text, size_t& pos, std::u16string& out, std::string& reason) {
    reason.clear();
    if (pos >= text.size() || text[pos] != u'"') return false;
    out.clear();
    for (++pos; pos < text.size(); ++pos) {
      char16_t c = text[pos];
      if (c == u'"') {
        ++pos;
        return true;
      }
      if (c == u'\\') {
        if (pos + 1 < text.size() && (text[pos + 1] == u'\\' || text[pos + 1] == u'"')) {
          out += text[++pos];
          continue;
        }
        reason = "unknown escape '" + Shown(text.substr(pos, 2)) +
                 "' in quoted text (write '\\\\' for a backslash)";
        return false;
      }
      out += c;
    }
    reason = "quoted text without its closing '\"'";
    return false;
  }

  bool Data(std::u16string_view text, RegistryValue& value, std::string& reason) {
    if (text.front() == u'"') {
      size_t pos = 0;
      std::u16string content;
      if (!Quoted(text, pos, content, reason)) return false;
      if (!Trim(text.substr(pos)).empty()) {
        reason = "unexpected text after the quoted value";
        return false;
      }
      value.type = kRegSz;
      value.data.assign(reinterpret_cast<const char*>(content.c_str()),
                        (content.size() + 1) * sizeof(char16_t));
      return true;
    }
    if (StartsWithNoCase(text, u"dword:")) {
      uint32_t number = 0;
      if (!ParseHex(text.substr(6), 8, number)) {
        reason = "dword: needs 1 to 8 hex digits";
        return false;
      }
      value.type = kRegDword;
      value.data.assign(reinterpret_cast<const char*>(&number), sizeof number);
      return true;
    }
    if (StartsWithNoCase(text, u"hex:")) {
      value.type = kRegBinary;
      return HexBytes(text.substr(4), value.data, reason);
    }
    size_t close = text.find(u"):");
    if (StartsWithNoCase(text, u"hex(") && close != std::u16string_view::npos) {
      if (!ParseHex(text.substr(4, close - 4), 8, value.type)) {
        reason = "hex(N): needs a type of 1 to 8 hex digits";
        return false;
      }
      return HexBytes(text.substr(close + 2), value.data, reason);
    }
    reason = "unknown value data '" + Shown(text) + "'";
    return false;
  }

  bool HexBytes(std::u16string_view text, std::string& bytes, std::string& reason) {
    text = Trim(text);
    while (!text.empty()) {
      size_t comma = text.find(u',');
      std::u16string_view item = Trim(text.substr(0, comma));
      uint32_t byte = 0;
      if (!ParseHex(item, 2, byte)) {
        reason = "bad hex byte '" + Shown(item) + "'";
        return false;
      }
      bytes += char(byte);
      if (comma == std::u16string_view::npos) break;
      text = text.substr(comma + 1);
      if (Trim(text).empty()) {
        reason = "hex data end with a ','";
        return false;
      }
    }
    return true;
  }

  enum class KeyState { kNone, kOpen, kDeleted };

  std::vector<RegistryChange>& changes_;
  size_t line_ = 0;
  bool header_seen_ = false;
  KeyState key_state_ = KeyState::kNone;
};

}  // namespace

std::u16string RootName(std::u16string_view name) {
  for (const Root& root : kRoots) {
    if (EqualsNoCase(name, root.full) || EqualsNoCase(name, root.short_name)) {
      return std::u16string(root.full);
    }
  }
  return u"";
}

bool SplitKeyPath(std::u16string_view path, std::u16string& root, std::u16string& subkey,
                  std::string& reason) {
  size_t cut = path.find(u'\\');
  root = RootName(path.substr(0, cut));
  if (root.empty()) {
    reason = "unknown root key '" + Shown(path.substr(0, cut)) + "'";
    return false;
  }
  subkey = cut == std::u16string_view::npos ? u"" : std::u16string(path.substr(cut + 1));
  if (cut == std::u16string_view::npos) return true;
  size_t depth = 0;
  for (size_t start = 0;;) {
    size_t next = subkey.find(u'\\', start);
    std::u16string_view name = std::u16string_view(subkey).substr(start, next - start);
    if (name.empty() || name.size() > kMaxNameChars) {
      reason = name.empty() ? "empty key name in '" + Shown(path) + "'"
                            : "key name longer than 255 characters";
      return false;
    }
    ++depth;
    if (next == std::u16string::npos) break;
    start = next + 1;
  }
  if (depth > kMaxDepth) {
    reason = "key more than 16 levels below its root";
    return false;
  }
  return true;
}

bool DecodeRegistryFile(std::string_view bytes, std::u16string& text, std::string& reason) {
  bool little = bytes.substr(0, 2) == "\xff\xfe";
  bool big = bytes.substr(0, 2) == "\xfe\xff";
  if (!little && !big) {
    if (bytes.substr(0, 3) == "\xef\xbb\xbf") bytes.remove_prefix(3);
    text = Utf8ToUtf16(bytes);
    return true;
  }
  bytes.remove_prefix(2);
  if (bytes.size() % 2 != 0) {
    reason = "UTF-16 text with an odd number of bytes";
    return false;
  }
  text.resize(bytes.size() / 2);
  for (size_t i = 0; i < text.size(); ++i) {
    auto first = uint8_t(bytes[2 * i]), second = uint8_t(bytes[2 * i + 1]);
    text[i] = little ? char16_t(first | second << 8) : char16_t(second | first << 8);
  }
  return true;
}

bool ParseRegistryText(std::u16string_view text, std::vector<RegistryChange>& changes,
                       size_t& line, std::string& reason) {
  std::vector<std::u16string_view> lines;
  for (size_t start = 0; start <= text.size();) {
    size_t end = text.find(u'\n', start);
    if (end == std::u16string_view::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  Parser parser(changes);
  for (size_t i = 0; i < lines.size(); ++i) {
    line = i + 1;
    std::u16string logical(Trim(lines[i]));
    if (logical.empty() || logical.front() == u';') continue;
    // Long hex data go on over the next line after a trailing '\'.
    while (!logical.empty() && logical.back() == u'\\' && i + 1 < lines.size()) {
      logical.pop_back();
      logical += Trim(lines[++i]);
    }
    if (!logical.empty() && !parser.Line(line, logical, reason)) return false;
  }
  line = lines.size();
  return parser.Finish(reason);
}

bool KeyLine(std::u16string_view path, std::string& line) {
  if (!IsLineText(path)) return false;
  line = "[" + Utf16ToUtf8(path) + "]\n";
  return true;
}

bool ValueLine(const RegistryValue& value, std::string& line) {
  if (!IsLineText(value.name)) return false;
  line = value.name.empty() ? "@=" : Quote(value.name) + "=";
  std::u16string text;
  if (value.type == kRegSz && AsLineText(value.data, text)) {
    line += Quote(text);
  } else if (value.type == kRegDword && value.data.size() == 4) {
    line += "dword:";
    for (size_t i = 4; i-- > 0;) AppendHexByte(line, uint8_t(value.data[i]));
  } else {
    line += HexType(value.type);
    AppendHexData(line, value.data);
  }
  line += '\n';
  return true;
}

}  // namespace stowkit::device_tool
