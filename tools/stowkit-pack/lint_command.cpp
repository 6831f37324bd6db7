// lint: a package checked without a device; the findings as a table or as JSON.
#include <algorithm>
#include <iostream>
#include <memory>

#include "json_writer.h"
#include "lint_rules.h"
#include "pack_tool.h"
#include "package/vocabulary.h"
#include "text/utf.h"

namespace stowkit::pack_tool {
namespace {

const char* SeverityName(Severity severity) { return severity == Severity::kError ? "error" : "warning"; }

std::string Where(const Package& package, int entry) {
  return entry < 0 ? "package" : EntryLabel(entry, package.GetEntry(entry)->EntryType());
}

std::string Padded(std::string text, size_t width) {
  text.resize(std::max(text.size(), width), ' ');
  return text;
}

std::string Counted(size_t count, const std::string& noun) {
  return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

void PrintTable(const Package& package, const std::vector<Finding>& findings, size_t errors,
                size_t allowed) {
  for (const Finding& finding : findings) {
    std::cout << Padded(SeverityName(finding.severity), 8) << Padded(finding.code, 22)
              << Padded(Where(package, finding.entry), 23) << finding.reason << "\n";
  }
  std::string summary = findings.empty() ? "No findings" : Counted(errors, "error") + ", " +
                                                               Counted(findings.size() - errors, "warning");
  std::cout << summary << (allowed > 0 ? " (" + Counted(allowed, "finding") + " allowed)" : "") << ".\n";
}

void PrintJson(const std::string& path, const Package& package, const std::vector<Finding>& findings,
               size_t errors, size_t allowed) {
  tool::JsonWriter json;
  json.BeginObject().Key("package").String(path).Key("findings").BeginArray();
  for (const Finding& finding : findings) {
    json.BeginObject().Key("severity").String(SeverityName(finding.severity));
    json.Key("code").String(finding.code).Key("entry");
    if (finding.entry < 0) {
      json.Null().Key("entry_type").Null();
    } else {
      json.Number(finding.entry + 1).Key("entry_type");
      json.String(Utf16ToUtf8(EntryTypeText(package.GetEntry(finding.entry)->EntryType())));
    }
    json.Key("reason").String(finding.reason).EndObject();
  }
  json.EndArray().Key("errors").Number(int64_t(errors));
  json.Key("warnings").Number(int64_t(findings.size() - errors)).Key("allowed").Number(int64_t(allowed));
  std::cout << json.EndObject().text();
}

}  // namespace

int Lint(const std::string& path, const std::vector<std::string>& allowed_codes, bool json) {
  for (const std::string& code : allowed_codes) {
    if (!FindLintCode(code)) return Error("lint: no finding has the code '" + code + "' (see 'stowkit-pack lint --help')");
  }
  std::unique_ptr<Package> package;
  std::u16string error_text;
  HRESULT hr = OpenPackage(error_text, Utf8ToUtf16(path), package);
  if (FAILED(hr)) return Error(OpenFailure(path, error_text, hr));
  std::vector<Finding> findings;
  size_t errors = 0, allowed = 0;
  for (Finding& finding : LintPackage(*package)) {
    if (std::find(allowed_codes.begin(), allowed_codes.end(), finding.code) != allowed_codes.end()) {
      ++allowed;
      continue;
    }
    errors += finding.severity == Severity::kError;
    findings.push_back(std::move(finding));
  }
  if (json) {
    PrintJson(path, *package, findings, errors, allowed);
  } else {
    PrintTable(*package, findings, errors, allowed);
  }
  std::cout << std::flush;
  if (!std::cout) return Error("cannot write to standard output");
  return errors > 0 ? 1 : 0;
}

std::string LintCodesHelp() {
  std::string text = "\nCodes (errors make the exit status 1):\n";
  for (const LintCode& code : LintCodes()) {
    text += "  " + Padded(code.code, 22) + Padded(SeverityName(code.severity), 9) + code.meaning + "\n";
  }
  return text;
}

}  // namespace stowkit::pack_tool
