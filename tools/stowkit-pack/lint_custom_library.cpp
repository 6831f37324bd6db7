// The custom library: one the device can load, whose exports are the hooks the installer
// looks up by their exact names. The exports are read from the library's ELF dynamic symbol
// table (elf_exports.h); nothing of the package's code runs.
#include <algorithm>
#include <set>

#include "elf_exports.h"
#include "lint_rules.h"
#include "pack_tool.h"
#include "package/extract.h"
#include "package/vocabulary.h"
#include "services/hresult.h"
#include "text/fold.h"
#include "text/utf.h"

namespace stowkit::pack_tool {
namespace {

constexpr uint32_t kLargestLibrary = 256u << 20;
constexpr size_t kMisspellingDistance = 2;
constexpr size_t kShortestMisspelling = 10;  // shorter names are too alike to tell

constexpr const char* kGlobalSubject = "Pkg";
constexpr const char* kInstallStages[] = {"CustomPreInstall", "CustomPostInstall"};
constexpr const char* kRemoveStages[] = {"CustomPreRemove", "CustomPostRemove"};
constexpr const char* kFileInUseHook = "PkgCustomFileInUse";

// The names hooks are looked up by: the global ones, and each feature's as the package's
// lists spell the feature (the installer forms the name from the list it took the feature
// from).
struct HookNames {
  std::vector<std::string> subjects;  // "Pkg", then every feature spelling
  std::set<std::string> all;
};

HookNames KnownHooks(const Package& package) {
  HookNames hooks;
  hooks.subjects.push_back(kGlobalSubject);
  for (uint8_t list : {kAllFeatures, kEnabledFeatures}) {
    std::u16string text;
    package.GetProperty(list, text);
    for (const std::u16string& feature : SplitPropertyList(text)) {
      std::string name = Utf16ToUtf8(feature);
      if (std::find(hooks.subjects.begin(), hooks.subjects.end(), name) == hooks.subjects.end()) {
        hooks.subjects.push_back(name);
      }
    }
  }
  for (const std::string& subject : hooks.subjects) {
    for (const char* stage : kInstallStages) hooks.all.insert(subject + stage);
    for (const char* stage : kRemoveStages) hooks.all.insert(subject + stage);
  }
  hooks.all.insert(kFileInUseHook);
  return hooks;
}

std::string Folded(const std::string& text) { return Utf16ToUtf8(UpperCase(Utf8ToUtf16(text))); }

// Edit distance of two names, without regard to case.
size_t Distance(const std::string& a, const std::string& b) {
  std::string x = Folded(a), y = Folded(b);
  std::vector<size_t> row(y.size() + 1);
  for (size_t j = 0; j <= y.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= x.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= y.size(); ++j) {
      size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (x[i - 1] == y[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[y.size()];
}

// The feature an export names when it has the form of a feature hook, "" otherwise.
bool FeatureHookForm(const std::string& name, std::string& feature) {
  for (const char* stages : {"CustomPreInstall", "CustomPostInstall", "CustomPreRemove", "CustomPostRemove"}) {
    std::string_view stage = stages;
    if (name.size() >= stage.size() && name.ends_with(stage)) {
      feature = name.substr(0, name.size() - stage.size());
      return true;
    }
  }
  return false;
}

// Why an export that is no hook looks like one; "" when it does not.
std::string Misspelling(const std::string& name, const HookNames& hooks) {
  std::string feature;
  if (FeatureHookForm(name, feature)) {
    for (const std::string& subject : hooks.subjects) {
      if (EqualsNoCase(Utf8ToUtf16(subject), Utf8ToUtf16(feature))) {
        return "the package spells the feature '" + subject + "', and hooks are looked up exactly";
      }
    }
    return feature.empty() ? "a feature hook without a feature's name"
                           : "the package lists no feature '" + feature + "'";
  }
  for (const std::string& hook : hooks.all) {
    size_t distance = Distance(name, hook);
    if (distance == 0) return "the hook is '" + hook + "', and hooks are looked up exactly";
    if (distance <= kMisspellingDistance && name.size() >= kShortestMisspelling) {
      return "it looks like '" + hook + "'";
    }
  }
  return "";
}

void CheckExports(LintContext& lint, int index, const std::vector<std::string>& exports) {
  HookNames hooks = KnownHooks(lint.package);
  std::set<std::string> present;
  for (const std::string& name : exports) {
    if (hooks.all.count(name)) {
      present.insert(name);
      continue;
    }
    std::string why = Misspelling(name, hooks);
    if (!why.empty()) lint.Add("misspelt-hook", index, "exports '" + name + "', which is never called: " + why);
  }
  if (present.empty()) {
    lint.Add("no-hooks", index, "exports none of the hooks: the installer loads it and calls nothing");
  }
  for (const std::string& subject : hooks.subjects) {
    std::string installs;
    bool removes = false;
    for (const char* stage : kInstallStages) {
      if (present.count(subject + stage)) installs += (installs.empty() ? "" : " and ") + subject + stage;
    }
    for (const char* stage : kRemoveStages) removes = removes || present.count(subject + stage);
    if (!installs.empty() && !removes) {
      lint.Add("unpaired-hook", index, "exports " + installs + " but neither " + subject + kRemoveStages[0] +
                                           " nor " + subject + kRemoveStages[1] +
                                           ": a removal cannot undo what the install hooks do");
    }
  }
}

void CheckLibrary(LintContext& lint, int index, const CatalogEntry& entry) {
  std::string content, reason;
  std::vector<std::string> exports;
  ElfTarget target;
  // Content past its FinalSize is bad-blob's to report, and not worth inflating.
  uint32_t limit = std::min(kLargestLibrary, entry.FinalSize());
  HRESULT hr = ReadEntryContent(entry, content, limit);
  if (hr == HResultFromError(ERROR_FILE_TOO_LARGE) && limit == kLargestLibrary) {
    lint.Add("bad-custom-library", index, "is larger than 256 MiB");
  } else if (FAILED(hr)) {
    return;  // a damaged blob: bad-blob says so
  } else if (!HostElfTarget(target)) {
    lint.Add("bad-custom-library", index, "cannot be checked: this tool cannot read its own ELF header");
  } else if (!ReadElfExports(content, target, exports, reason)) {
    lint.Add("bad-custom-library", index, "the device cannot load it: " + reason);
  } else {
    CheckExports(lint, index, exports);
  }
}

}  // namespace

void LintCustomLibrary(LintContext& lint) {
  int loaded = -1;  // the installer loads the last one
  for (int i = 0; i < lint.package.NumEntries(); ++i) {
    if (lint.package.GetEntry(i)->EntryType() != kCustomDll) continue;
    if (loaded >= 0) {
      lint.Add("extra-custom-library", loaded, "is never loaded: the installer loads only the last custom library, " +
                                                   EntryLabel(i, kCustomDll));
    }
    loaded = i;
  }
  if (loaded < 0) return;
  const CatalogEntry& entry = *lint.package.GetEntry(loaded);
  if (entry.TestEntryFlags(kIgnoreBlob)) {
    lint.Add("bad-custom-library", loaded, "is marked IgnoreBlob: there is no library to load");
    return;
  }
  CheckLibrary(lint, loaded, entry);
}

}  // namespace stowkit::pack_tool
