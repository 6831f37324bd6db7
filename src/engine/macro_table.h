// The macro table: "$(NAME)" references in paths, registry lines and shortcut texts, and the
// values they stand for on this device and in this run.
//
// Keys are normalized before they are stored or looked up: upper-cased, then wrapped as
// "$(" NAME ")" unless they already begin with "$". So "windir", "WinDir" and "$(WINDIR)"
// name one definition. Values are kept exactly as given and may hold references of their
// own, which are expanded only when the outer reference is.
#pragma once

#include <map>
#include <string>
#include <string_view>

#include "coredll/windows.h"
#include "text/version.h"

namespace stowkit {

// The stored form of a macro name.
std::u16string NormalizeMacroKey(std::u16string_view name);

class MacroTable {
 public:
  // Inserts the normalized key or replaces its value; a default (null) view is "".
  void SetMacro(std::u16string_view name, std::u16string_view value);
  // True and the value when the key exists; false and "" otherwise.
  bool GetMacro(std::u16string_view name, std::u16string& value) const;

  int Count() const { return int(values_.size()); }
  // The index-th definition in key order; false for an index outside 0..Count()-1.
  bool GetAt(int index, std::u16string& key, std::u16string& value) const;

  // One "KEY=value" text per definition, in key order.
  StringList DumpMacros() const;
  // One "%20s:\t%s\r\n" line per definition, in key order, in one text.
  std::u16string LogDump() const;

  // Expands every reference of `text` into `out`. A reference that is not defined, or that
  // leads back to itself through the values being expanded, stays in `out` as written and
  // is appended to `unresolved` (each occurrence). True when nothing was left unresolved.
  // A "$(" with no ")" after it gives "$" and ends the text.
  bool Expand(std::u16string_view text, std::u16string& out, StringList& unresolved) const;

  // Definitions in key order (case-sensitive order of the normalized keys).
  std::map<std::u16string, std::u16string>::const_iterator begin() const { return values_.begin(); }
  std::map<std::u16string, std::u16string>::const_iterator end() const { return values_.end(); }

 private:
  std::map<std::u16string, std::u16string> values_;
};

// The expansion every stage calls: `text` is replaced by its expansion whatever the outcome.
// On success 0; otherwise 0x80004005 (E_FAIL) with "Unresolved macro in %s: " (the text as it
// was) and the unresolved references joined by ", " in `error_text`.
HRESULT ExpandMacros(const MacroTable& table, std::u16string& text, std::u16string& error_text);

}  // namespace stowkit
