#include "engine/selection.h"

#include "engine/status_reporter.h"
#include "package/vocabulary.h"
#include "services/product_state.h"
#include "text/format.h"

namespace stowkit {
namespace {

std::u16string PackageText(const Package& package, uint8_t id) {
  return std::u16string(package.Properties().Find(id).value_or(std::u16string_view()));
}

bool FeatureItemHolds(const SelectionSet& features, std::u16string_view item) {
  if (item.starts_with(u'!')) return !features.IsNameEnabled(item.substr(1));
  return features.IsNameEnabled(item);
}

bool FeaturesHold(const SelectionSet& features, std::u16string_view list) {
  StringList items = SplitPropertyList(list);
  if (items.empty()) return true;
  for (const std::u16string& item : items) {
    if (FeatureItemHolds(features, item)) return true;
  }
  return false;
}

}  // namespace

void LoadSelection(const Package& package, RunSelection& selection) {
  selection = RunSelection{};
  std::u16string all_features = PackageText(package, kAllFeatures);
  selection.features.SetAll(all_features);
  selection.features.Enable(PackageText(package, kEnabledFeatures));
  selection.secondary_features.SetAll(all_features);
  selection.languages.SetAll(PackageText(package, kAllLanguages));
  selection.languages.Enable(PackageText(package, kEnabledLanguages));
}

void DisableFeatureAtRunTime(std::u16string_view names, SelectionSet& features,
                             Package& package) {
  // An empty list "is enabled" too: the line is logged and the catalog filtered again.
  if (!features.IsEnabled(names)) return;
  features.Disable(names);
  report::Debug(Format(u"Dynamically disabling feature: %s", names));
  for (int i = 0; i < package.NumEntries(); ++i) {
    CatalogEntry* entry = package.GetEntry(i);
    std::optional<std::u16string_view> list = entry->Properties().Find(kFeatures);
    if (list && !FeaturesHold(features, *list)) entry->ClearEntryFlags(kShouldInstall);
  }
}

void DisableLanguageAtRunTime(std::u16string_view names, SelectionSet& languages,
                              Package& package) {
  if (!languages.IsEnabled(names)) return;
  languages.Disable(names);
  for (int i = 0; i < package.NumEntries(); ++i) {
    CatalogEntry* entry = package.GetEntry(i);
    std::optional<std::u16string_view> list = entry->Properties().Find(kLang);
    if (list && !languages.IsEnabled(*list)) entry->ClearEntryFlags(kShouldInstall);
  }
}

void LogFeatureSelection(const SelectionSet& features) {
  report::Debug(u"Enabled Features:");
  report::Debug(features.EnabledText());
  report::Debug(u"Disabled Features:");
  report::Debug(features.DisabledText());
}

void RecordSelection(std::u16string_view application_name, const RunSelection& selection) {
  SetStateString(application_name, kStateFeatures, selection.features.EnabledText());
  SetStateString(application_name, kStateLanguages, selection.languages.EnabledText());
}

}  // namespace stowkit
