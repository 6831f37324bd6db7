#include "engine/macro_table.h"

#include <algorithm>
#include <vector>

#include "services/hresult.h"
#include "text/fold.h"
#include "text/format.h"

namespace stowkit {
namespace {

// Key tracking alone stops every cycle, but a long chain of distinct definitions (a package
// may carry thousands) would still recurse once per link; past this depth a reference counts
// as unresolved rather than risking the stack.
constexpr size_t kMaxMacroDepth = 64;

// Definitions that each use the next one twice grow twofold per level without any cycle; a
// hostile package could make one line enormous. Past this length references stay unresolved.
constexpr size_t kMaxExpandedLength = 65536;

class Expander {
 public:
  Expander(const MacroTable& table, StringList& unresolved)
      : table_(table), unresolved_(unresolved) {}

  bool Run(std::u16string_view text, std::u16string& out) {
    bool resolved = true;
    size_t i = 0;
    while (i < text.size()) {
      if (text[i] != u'$' || i + 1 >= text.size() || text[i + 1] != u'(') {
        out += text[i++];
        continue;
      }
      size_t close = text.find(u')', i);
      if (close == std::u16string_view::npos) {
        out += u'$';
        break;
      }
      resolved = Reference(text.substr(i, close + 1 - i), out) && resolved;
      i = close + 1;
    }
    return resolved;
  }

 private:
  bool Reference(std::u16string_view reference, std::u16string& out) {
    std::u16string key = NormalizeMacroKey(reference), value;
    bool looping = active_.size() >= kMaxMacroDepth || out.size() >= kMaxExpandedLength ||
                   std::find(active_.begin(), active_.end(), key) != active_.end();
    if (looping || !table_.GetMacro(key, value)) {
      out += reference;
      unresolved_.emplace_back(reference);
      return false;
    }
    if (value.find(u"$(") == std::u16string::npos) {
      out += value;
      return true;
    }
    active_.push_back(key);
    bool resolved = Run(value, out);
    active_.pop_back();
    return resolved;
  }

  const MacroTable& table_;
  StringList& unresolved_;
  std::vector<std::u16string> active_;  // the keys whose values are being expanded
};

}  // namespace

std::u16string NormalizeMacroKey(std::u16string_view name) {
  std::u16string key = UpperCase(name);
  if (key.empty() || key[0] != u'$') key = u"$(" + key + u")";
  return key;
}

void MacroTable::SetMacro(std::u16string_view name, std::u16string_view value) {
  values_[NormalizeMacroKey(name)] = std::u16string(value);
}

bool MacroTable::GetMacro(std::u16string_view name, std::u16string& value) const {
  auto it = values_.find(NormalizeMacroKey(name));
  value = it == values_.end() ? std::u16string() : it->second;
  return it != values_.end();
}

bool MacroTable::GetAt(int index, std::u16string& key, std::u16string& value) const {
  if (index < 0 || index >= Count()) return false;
  auto it = std::next(values_.begin(), index);
  key = it->first;
  value = it->second;
  return true;
}

StringList MacroTable::DumpMacros() const {
  StringList lines;
  for (const auto& [key, value] : values_) lines.push_back(key + u"=" + value);
  return lines;
}

std::u16string MacroTable::LogDump() const {
  std::u16string text;
  for (const auto& [key, value] : values_) text += Format(u"%20s:\t%s\r\n", key, value);
  return text;
}

bool MacroTable::Expand(std::u16string_view text, std::u16string& out,
                        StringList& unresolved) const {
  out.clear();
  return Expander(*this, unresolved).Run(text, out);
}

HRESULT ExpandMacros(const MacroTable& table, std::u16string& text, std::u16string& error_text) {
  std::u16string out;
  StringList unresolved;
  bool resolved = table.Expand(text, out, unresolved);
  if (!resolved) {
    error_text = Format(u"Unresolved macro in %s: ", text);
    for (size_t i = 0; i < unresolved.size(); ++i) {
      error_text += (i ? u", " : u"") + unresolved[i];
    }
  }
  text = std::move(out);
  return resolved ? S_OK : kGenericFailure;
}

}  // namespace stowkit
