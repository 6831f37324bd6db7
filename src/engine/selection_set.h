// A selection set: the names a package knows (all) and the names chosen (enabled), for its
// features or its languages.
//
// Both sets are ordered by name under the one case folding of the system, so "Help" and
// "HELP" are one name; adding a name again keeps one element and takes the new spelling.
// Text lists are split with SplitPropertyList; lists the set produces are joined with ","
// and no blanks. No operation fails: unknown names are ignored.
#pragma once

#include <set>
#include <string>
#include <string_view>

#include "text/fold.h"
#include "text/version.h"

namespace stowkit {

class SelectionSet {
 public:
  // all := the listed names; enabled keeps only the names that are also in the new all.
  void SetAll(std::u16string_view list);
  // Adds each listed name that IsKnown to enabled; removes nothing.
  void Enable(std::u16string_view list);
  // Removes each listed name from enabled.
  void Disable(std::u16string_view list);

  // True when the list has no names or any listed name is enabled.
  bool IsEnabled(std::u16string_view list) const;
  // True for one name that is enabled (no splitting).
  bool IsNameEnabled(std::u16string_view name) const;
  // True when all is empty, or `name` is empty, or `name` is in all.
  bool IsKnown(std::u16string_view name) const;

  // The enabled names in set order, as a list or joined.
  StringList EnabledList() const;
  std::u16string EnabledText() const;
  // The names of all that are not enabled, in all's order, as a list or joined.
  StringList DisabledList() const;
  std::u16string DisabledText() const;

 private:
  using NameSet = std::set<std::u16string, NoCaseLess>;

  static void Add(NameSet& names, const std::u16string& name);

  NameSet all_;
  NameSet enabled_;
};

}  // namespace stowkit
