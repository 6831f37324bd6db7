// What `stowkit-pack lint` checks in a package without a device. Every finding has a code,
// the entry it is about and a one-line reason; its code fixes whether it is an error (the
// package installs wrongly, or not at all) or a warning (it installs, but probably not as
// its author meant).
//
// Paths are expanded as the installer would expand them on a Pocket PC: the device folders
// of its profile, the package's MacroDefs, SUPPORTDIR, and LANG and USERNAME where the
// package has "UserLanguage" and "UserName".
#pragma once

#include <string>
#include <vector>

#include "engine/macro_table.h"
#include "package/package.h"

namespace stowkit::pack_tool {

enum class Severity { kError, kWarning };

struct LintCode {
  const char* code;
  Severity severity;
  const char* meaning;  // for --help
};

// Every code, in the order --help lists them.
const std::vector<LintCode>& LintCodes();
// The code's entry in LintCodes; nullptr when there is none.
const LintCode* FindLintCode(std::string_view code);

struct Finding {
  Severity severity = Severity::kError;
  std::string code;
  int entry = -1;  // catalog index from 0; -1 for the package as a whole
  std::string reason;
};

// Every finding, by entry (the package's own first), errors before warnings.
std::vector<Finding> LintPackage(const Package& package);

// What the checks of one package share.
struct LintContext {
  explicit LintContext(const Package& package);

  // Adds a finding with the severity of `code`, which must be in LintCodes.
  void Add(const char* code, int entry, std::string reason);

  const Package& package;
  MacroTable macros;  // as the installer builds it, on a Pocket PC
  std::vector<Finding> findings;
};

// The checks by subject, each adding its findings:
//  - destinations: missing, undefined macros, not device paths, too long, the same twice,
//    too many macros, files in folders that removal leaves behind;
//  - contents: missing content, blobs that fail their CRC, registry lines;
//  - selection: entries and lists naming features or languages the package does not list,
//    entries that nothing installs;
//  - custom library: one that cannot be loaded, misspelt, unpaired or missing hooks.
void LintDestinations(LintContext& lint);
void LintContents(LintContext& lint);
void LintSelection(LintContext& lint);
void LintCustomLibrary(LintContext& lint);

// "$(APDIR), which nothing defines" for every reference of `text` that does not expand;
// "" when all do.
std::string UndefinedReferences(const LintContext& lint, const std::u16string& text);
// `text` as UTF-8 in double quotes, cut to a readable length.
std::string Shown(const std::u16string& text);

}  // namespace stowkit::pack_tool
