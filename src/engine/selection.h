// The run's feature and language selection: the three selection sets the engine holds, how
// they are loaded from the package, how custom code narrows them while the run goes on, and
// their text forms for the log and the product record.
#pragma once

#include <string_view>

#include "engine/selection_set.h"
#include "package/package.h"

namespace stowkit {

struct RunSelection {
  SelectionSet features;
  // The package's feature list once more. Only the custom-code service that changes it (host
  // service 18, with the custom library) touches it; no step reads it.
  SelectionSet secondary_features;
  SelectionSet languages;
};

// Replaces `selection` with the package's lists: features from "AllFeatures" then
// "EnabledFeatures", secondary features from "AllFeatures", languages from "AllLanguages"
// then "EnabledLanguages". An enabled name missing from a non-empty all list is dropped. The
// "DisabledFeatures" and "DisabledLanguages" properties are not read: they follow from the
// others.
void LoadSelection(const Package& package, RunSelection& selection);

// Disables the listed features when at least one of them is enabled, reports the Debug line
// "Dynamically disabling feature: %s" with `names` as given, and clears "ShouldInstall" on
// every entry whose "Features" list no longer holds (an item holds when its feature is
// enabled; an item "!name" when that feature is not). Entries without a "Features" list, or
// with an empty one, are untouched; no entry's flag is ever set. Custom code reaches this
// through host service 9.
void DisableFeatureAtRunTime(std::u16string_view names, SelectionSet& features,
                             Package& package);

// Disables the listed languages when at least one of them is enabled, and clears
// "ShouldInstall" on every entry whose "Lang" list names no enabled language (an empty list
// counts as enabled). No log line. Custom code reaches this through host service 11.
void DisableLanguageAtRunTime(std::u16string_view names, SelectionSet& languages,
                              Package& package);

// The pre-install Debug lines: "Enabled Features:", the enabled features text,
// "Disabled Features:", the disabled features text.
void LogFeatureSelection(const SelectionSet& features);

// Writes "Features" and "Languages" (the enabled names joined by ",") into the product
// record of `application_name`. Part of the product record at the end of a successful
// install; like every product-state write there, its result is not looked at.
void RecordSelection(std::u16string_view application_name, const RunSelection& selection);

}  // namespace stowkit
