// What differs between two packages, as `stowkit-pack diff` shows it: the header fields that
// mean something (flags, platform, version; the region offsets and lengths only follow the
// contents), the package properties, and the entries matched by type and destination
// ("Dst", or "LinkName" for shortcuts; the n-th entry of a type and destination in one
// package goes with the n-th in the other). Matched entries compare their flags,
// properties (a MacroDefs entry by macro name) and contents by size and CRC, and registry
// texts line by line.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "package/package.h"

namespace stowkit::pack_tool {

struct FieldChange {
  std::string field;
  std::optional<std::string> a, b;  // none where the field is absent
  bool text = true;  // a property's text, shown in quotes; false for flags, numbers, sizes
};

struct LineChange {
  char op = '+';  // '-' only in A, '+' only in B
  size_t line = 0;  // its number in A ('-') or B ('+')
  std::string text;
};

struct EntryChange {
  enum Kind { kAdded, kRemoved, kChanged };
  Kind kind = kChanged;
  std::string type;         // "AppFile"
  std::string destination;  // as the entry writes it; "" for entries without one
  int a_index = -1, b_index = -1;  // catalog indexes from 0; -1 where the entry is absent
  std::vector<FieldChange> fields;
  std::vector<LineChange> lines;  // a Registry entry whose text changed
};

struct PackageDiff {
  std::vector<FieldChange> header;
  std::vector<FieldChange> properties;
  std::vector<EntryChange> entries;

  bool same() const { return header.empty() && properties.empty() && entries.empty(); }
};

// Reads registry texts of both packages through their open files.
PackageDiff DiffPackages(const Package& a, const Package& b);

}  // namespace stowkit::pack_tool
