// Before an install: the version installed earlier is removed through its own uninstaller,
// and the platform's registrations that the package's AppCleanup entries name are cleared.
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/status_reporter.h"
#include "engine/uninstall_steps.h"
#include "package/vocabulary.h"
#include "services/file_services.h"
#include "services/hresult.h"
#include "services/platform_services.h"
#include "services/product_state.h"
#include "services/program_services.h"
#include "services/registry_services.h"
#include "text/fold.h"
#include "text/format.h"

namespace stowkit {
namespace {

constexpr std::u16string_view kAppInstallKey = u"Security\\AppInstall";
constexpr std::u16string_view kAppsKey = u"SOFTWARE\\Apps";

std::u16string UninstallCommandLine(const Engine& engine, const std::u16string& package) {
  std::u16string line =
      Format(u"%s \"%s\" /v \"%s\" /h 0x%x", engine.silent ? u"/us" : u"/u", package,
             engine.log_path, uint32_t(reinterpret_cast<uintptr_t>(report::OwnerWindow())));
  std::u16string user_pid;
  if (engine.job_macros.GetMacro(u"INSTALLUSERPID", user_pid) && !user_pid.empty()) {
    line += Format(u" /D%s %s", u"INSTALLUSERPID", user_pid);
  }
  return line;
}

HRESULT RunOldUninstaller(Engine& engine) {
  std::u16string package, program;
  GetStateString(engine.application_name, kStateUninstallPkg, package);
  GetStateString(engine.application_name, kStateUninstallExe, program);
  if (package.empty() || program.empty()) return S_OK;

  std::u16string line = UninstallCommandLine(engine, package);
  report::Status(UiStringId::kRemovingPreviousVersion);
  report::Detail(u"");
  report::Debug(program);
  report::Debug(line);
  HRESULT hr = S_OK;
  // The old version's uninstaller appends to this log: this run's lines go first.
  report::Flush();
  if (RunProgram(program, line, true, 0, nullptr)) {
    ForceDeleteFile(program);
    ForceDeleteFile(package);
  } else {
    hr = LastErrorResult();
    report::Detail(Format(u"Error 0x%x launching \"%s\" %s", uint32_t(hr), program, line));
  }
  report::Refresh();
  return hr;
}

void LogDeletion(const char16_t* what, const std::u16string& name) {
  report::Debug(Format(u"Delete %s %s: retcode = %d", what, name, int32_t(GetLastError())));
}

// `pattern` names registered applications: exactly, or, with a leading "*", every name that
// contains the rest (a trailing "*" is dropped too).
void CleanUpRegistration(std::u16string_view item) {
  std::u16string pattern = UpperCase(item);
  bool substring = !pattern.empty() && pattern.front() == u'*';
  if (substring) {
    pattern.erase(0, 1);
    if (!pattern.empty() && pattern.back() == u'*') pattern.pop_back();
  }
  std::vector<std::u16string> names;
  ListRegSubkeys(HKEY_LOCAL_MACHINE, kAppInstallKey, names);
  if (names.empty()) ListRegSubkeys(HKEY_LOCAL_MACHINE, kAppsKey, names);
  std::u16string system_folder;
  GetSystemFolder(system_folder);
  for (const std::u16string& registered : names) {
    std::u16string name = UpperCase(registered);
    bool match = substring ? name.find(pattern) != std::u16string::npos : name == pattern;
    if (!match) continue;
    std::u16string folder = system_folder + u"\\AppMgr\\" + name;
    DeleteFolder(folder, true);
    LogDeletion(u"folder", folder);
    for (std::u16string_view root : {kAppsKey, kAppInstallKey}) {
      std::u16string key = std::u16string(root) + u"\\" + name;
      DeleteRegKey(HKEY_LOCAL_MACHINE, key, kRegDefaultFlags);
      LogDeletion(u"regkey", key);
    }
  }
}

void RunCleanupEntries(Engine& engine) {
  for (int index = 0; index < engine.package->NumEntries(); ++index) {
    const CatalogEntry& entry = *engine.package->GetEntry(index);
    if (entry.EntryType() != kAppCleanup) continue;
    std::u16string text;
    entry.GetProperty(kDst, text);
    if (FAILED(ExpandMacros(engine.macros, text, engine.last_error_text))) {
      report::Detail(engine.last_error_text);
      continue;
    }
    report::Debug(text);
    for (const std::u16string& item : SplitPropertyList(text)) CleanUpRegistration(item);
  }
}

}  // namespace

HRESULT RemovePreviousVersion(Engine& engine) {
  HRESULT hr = S_OK;
  if (!engine.package->TestFlags(kPatch)) hr = RunOldUninstaller(engine);
  RunCleanupEntries(engine);
  return hr;
}

}  // namespace stowkit
