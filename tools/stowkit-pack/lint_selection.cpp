// Features and languages: every name an entry or the enabled lists use is one the package
// lists, or the selection treats the entry in ways its author did not mean.
#include <unordered_set>

#include "lint_rules.h"
#include "package/vocabulary.h"
#include "text/fold.h"
#include "text/trim.h"
#include "text/utf.h"

namespace stowkit::pack_tool {
namespace {

struct SelectionKind {
  const char* code;
  const char* noun;       // "feature"
  uint8_t all, enabled;   // the package's lists
  uint8_t entry_property; // the entry's tie
};

constexpr SelectionKind kFeatureSelection = {"unknown-feature", "feature", kAllFeatures, kEnabledFeatures, kFeatures};
constexpr SelectionKind kLanguageSelection = {"unknown-language", "language", kAllLanguages, kEnabledLanguages, kLang};

StringList PackageList(const Package& package, uint8_t id) {
  std::u16string text;
  package.GetProperty(id, text);
  return SplitPropertyList(text);
}

bool Listed(const StringList& names, std::u16string_view name) {
  for (const std::u16string& known : names) {
    if (EqualsNoCase(known, name)) return true;
  }
  return false;
}

std::string AllName(const SelectionKind& kind) { return Utf16ToUtf8(PackagePropertyName(kind.all)); }

void CheckEnabledList(LintContext& lint, const SelectionKind& kind, const StringList& all) {
  if (all.empty()) return;  // the installer then takes every enabled name
  for (const std::u16string& name : PackageList(lint.package, kind.enabled)) {
    if (!Listed(all, name)) {
      lint.Add(kind.code, -1, Utf16ToUtf8(PackagePropertyName(kind.enabled)) + " names " + kind.noun +
                                  " '" + Utf16ToUtf8(name) + "', which " + AllName(kind) +
                                  " does not list: the installer drops it");
    }
  }
}

void CheckEntries(LintContext& lint, const SelectionKind& kind, const StringList& known) {
  std::unordered_set<std::u16string> folded;  // looked up once for every item of every entry
  for (const std::u16string& name : known) folded.insert(UpperCase(name));
  for (int i = 0; i < lint.package.NumEntries(); ++i) {
    std::u16string tie;
    if (!lint.package.GetEntry(i)->GetProperty(kind.entry_property, tie)) continue;
    for (const std::u16string& item : SplitPropertyList(tie)) {
      std::u16string_view name = item;
      if (kind.entry_property == kFeatures && name.starts_with(u'!')) name = TrimBlanks(name.substr(1));
      if (folded.count(UpperCase(name))) continue;
      lint.Add(kind.code, i, std::string("is tied to ") + kind.noun + " '" + Utf16ToUtf8(name) + "', which " +
                                 (known.empty() ? "the package does not list (it lists none)"
                                                : AllName(kind) + " does not list"));
    }
  }
}

void CheckSelection(LintContext& lint, const SelectionKind& kind) {
  StringList all = PackageList(lint.package, kind.all);
  CheckEnabledList(lint, kind, all);
  // With no "all" list, the installer knows the enabled names alone.
  CheckEntries(lint, kind, all.empty() ? PackageList(lint.package, kind.enabled) : all);
}

// The entries the install steps act on, and only when they have "ShouldInstall".
bool Installable(uint8_t type) {
  switch (type) {
    case kAppFile:
    case kRegistry:
    case kShortcut:
    case kFolder:
    case kRemoveFolder:
    case kRemoveFile:
    case kRemoveShortcut: return true;
    default: return false;
  }
}

// Nothing sets "ShouldInstall" at run time: an entry built without it is only ever acted on
// as part of a feature or language left out, which it needs a tie to be.
void CheckNeverInstalled(LintContext& lint) {
  if (lint.package.TestFlags(kRemove)) return;  // an uninstall package installs nothing
  for (int i = 0; i < lint.package.NumEntries(); ++i) {
    const CatalogEntry& entry = *lint.package.GetEntry(i);
    if (!Installable(entry.EntryType()) || entry.TestEntryFlags(kShouldInstall)) continue;
    std::u16string features, languages;
    entry.GetProperty(kFeatures, features);
    entry.GetProperty(kLang, languages);
    if (!SplitPropertyList(features).empty() || !SplitPropertyList(languages).empty()) continue;
    lint.Add("never-installed", i,
             "has no \"ShouldInstall\" flag and no Features or Lang that a choice could leave "
             "out: no install ever acts on it");
  }
}

}  // namespace

void LintSelection(LintContext& lint) {
  CheckSelection(lint, kFeatureSelection);
  CheckSelection(lint, kLanguageSelection);
  CheckNeverInstalled(lint);
}

}  // namespace stowkit::pack_tool
