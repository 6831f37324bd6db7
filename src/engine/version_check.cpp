#include "engine/version_check.h"

#include "engine/status_reporter.h"
#include "package/vocabulary.h"
#include "resources/ui_strings.h"
#include "services/hresult.h"
#include "services/product_state.h"
#include "text/format.h"

namespace stowkit {
namespace {


}  // namespace

HRESULT CheckVersion(const VersionCheckRun& run, std::u16string& last_error_text) {
  if (run.package_flags & kPackageNoRemove) return S_FALSE;

  uint32_t installed = 0;
  GetStateDword(run.application_name, kStateVersion, installed);
  std::u16string package_text = FormatVersion(run.package_version);
  std::u16string installed_text = FormatVersion(installed);
  report::Debug(
      Format(u"Package version = %s, existing version = %s", package_text, installed_text));
  if (run.silent || installed <= run.package_version) return S_OK;

  std::u16string question = LoadUiString(UiStringId::kNewerInstalledQuestion);
  report::Flush();
  if (run.ask(report::OwnerWindow(), question, run.display_name)) return S_OK;
  last_error_text = Format(
      u"Version '%s' of '%s' is currently installed and is newer than the version '%s' "
      u"contained in this package.",
      installed_text, run.display_name, package_text);
  report::Detail(last_error_text);
  return kGenericFailure;
}

}  // namespace stowkit
