#include "engine/selection_set.h"

#include "package/vocabulary.h"

namespace stowkit {

void SelectionSet::Add(NameSet& names, const std::u16string& name) {
  // A set element cannot be rewritten in place, and the latest spelling must win.
  names.erase(name);
  names.insert(name);
}

void SelectionSet::SetAll(std::u16string_view list) {
  all_.clear();
  for (const std::u16string& name : SplitPropertyList(list)) Add(all_, name);
  std::erase_if(enabled_, [this](const std::u16string& name) { return !all_.contains(name); });
}

void SelectionSet::Enable(std::u16string_view list) {
  for (const std::u16string& name : SplitPropertyList(list)) {
    if (IsKnown(name)) Add(enabled_, name);
  }
}

void SelectionSet::Disable(std::u16string_view list) {
  for (const std::u16string& name : SplitPropertyList(list)) enabled_.erase(name);
}

bool SelectionSet::IsEnabled(std::u16string_view list) const {
  StringList names = SplitPropertyList(list);
  if (names.empty()) return true;
  for (const std::u16string& name : names) {
    if (IsNameEnabled(name)) return true;
  }
  return false;
}

bool SelectionSet::IsNameEnabled(std::u16string_view name) const {
  return enabled_.contains(name);
}

bool SelectionSet::IsKnown(std::u16string_view name) const {
  return all_.empty() || name.empty() || all_.contains(name);
}

StringList SelectionSet::EnabledList() const {
  return StringList(enabled_.begin(), enabled_.end());
}

std::u16string SelectionSet::EnabledText() const { return JoinList(EnabledList(), kListSeparator); }

StringList SelectionSet::DisabledList() const {
  StringList names;
  for (const std::u16string& name : all_) {
    if (!enabled_.contains(name)) names.push_back(name);
  }
  return names;
}

std::u16string SelectionSet::DisabledText() const {
  return JoinList(DisabledList(), kListSeparator);
}

}  // namespace stowkit
