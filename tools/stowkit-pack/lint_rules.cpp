#include "lint_rules.h"

#include <algorithm>

#include "engine/macro_sources.h"
#include "package/vocabulary.h"
#include "text/utf.h"

namespace stowkit::pack_tool {
namespace {

// The longest work folder name a run makes: "\Temp\PKG_<date and time>_<n>".
constexpr char16_t kWorkFolder[] = u"\\Temp\\PKG_20260101000000_999";
constexpr size_t kShownChars = 72;

std::string Hint(const std::u16string& reference) {
  std::u16string key = NormalizeMacroKey(reference);
  if (key == u"$(LANG)") return " (the package has no \"UserLanguage\" to define it)";
  if (key == u"$(USERNAME)") return " (the package has no \"UserName\" to define it)";
  return "";
}

}  // namespace

const std::vector<LintCode>& LintCodes() {
  static const std::vector<LintCode> codes = {
      {"undefined-macro", Severity::kError, "a path, link or registry line refers to a macro nothing defines"},
      {"bad-registry-line", Severity::kError, "a line of a registry text does not parse"},
      {"unknown-feature", Severity::kError, "a feature that the package's AllFeatures does not list"},
      {"unknown-language", Severity::kError, "a language that the package's AllLanguages does not list"},
      {"duplicate-destination", Severity::kError, "two entries that can be installed together write the same path"},
      {"long-path", Severity::kError, "a path of 260 characters or more once expanded"},
      {"too-many-macros", Severity::kError, "more than 80 macro definitions: the uninstall package cannot carry them all"},
      {"missing-name", Severity::kError, "an entry without the name or destination it needs"},
      {"not-a-device-path", Severity::kError, "a destination that neither begins with \\ nor with a macro, such as %InstallDir%\\x"},
      {"missing-content", Severity::kError, "an AppFile entry of an install package without content"},
      {"bad-blob", Severity::kError, "content that fails its CRC or its size, does not inflate or runs past the end of the file"},
      {"bad-custom-library", Severity::kError, "a custom library the device cannot load"},
      {"never-installed", Severity::kWarning, "an entry without ShouldInstall that no feature or language ties to: nothing ever installs it"},
      {"folder-left-behind", Severity::kWarning, "an AppFile in a folder that no Folder entry makes and the device lacks: removal leaves the folder"},
      {"misspelt-hook", Severity::kWarning, "an export that looks like a hook but is never called"},
      {"unpaired-hook", Severity::kWarning, "install hooks without a removal hook to undo them"},
      {"no-hooks", Severity::kWarning, "a custom library that exports none of the hooks"},
      {"extra-custom-library", Severity::kWarning, "more than one custom library: only the last is loaded"},
  };
  return codes;
}

const LintCode* FindLintCode(std::string_view code) {
  for (const LintCode& known : LintCodes()) {
    if (code == known.code) return &known;
  }
  return nullptr;
}

LintContext::LintContext(const Package& checked) : package(checked) {
  BuildMacroTable(macros, kWorkFolder, package, MacroTable());
}

void LintContext::Add(const char* code, int entry, std::string reason) {
  findings.push_back({FindLintCode(code)->severity, code, entry, std::move(reason)});
}

std::vector<Finding> LintPackage(const Package& package) {
  LintContext lint(package);
  LintDestinations(lint);
  LintContents(lint);
  LintSelection(lint);
  LintCustomLibrary(lint);
  std::stable_sort(lint.findings.begin(), lint.findings.end(), [](const Finding& a, const Finding& b) {
    return a.entry != b.entry ? a.entry < b.entry : a.severity < b.severity;
  });
  return lint.findings;
}

std::string UndefinedReferences(const LintContext& lint, const std::u16string& text) {
  std::u16string ignored;
  StringList unresolved;
  if (lint.macros.Expand(text, ignored, unresolved)) return "";
  std::vector<std::u16string> named;  // each reference once, in the order found
  for (const std::u16string& reference : unresolved) {
    if (std::find(named.begin(), named.end(), reference) == named.end()) named.push_back(reference);
  }
  std::string list;
  for (const std::u16string& reference : named) {
    if (!list.empty()) list += ", ";
    list += Utf16ToUtf8(reference) + Hint(reference);
    // Found while expanding a macro's value rather than in the text itself.
    if (text.find(reference) == std::u16string::npos) list += " (in the value of a macro it uses)";
  }
  return list + (named.size() == 1 ? ", which nothing defines" : ": nothing defines them");
}

std::string Shown(const std::u16string& text) {
  std::string shown = Utf16ToUtf8(text.size() > kShownChars ? text.substr(0, kShownChars) : text);
  return "\"" + shown + (text.size() > kShownChars ? "...\"" : "\"");
}

}  // namespace stowkit::pack_tool
