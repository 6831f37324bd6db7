#include "engine/step_items.h"

#include "engine/engine.h"
#include "engine/macro_table.h"
#include "engine/removal_rule.h"
#include "engine/status_reporter.h"
#include "package/vocabulary.h"
#include "resources/ui_strings.h"
#include "services/hresult.h"
#include "services/platform_services.h"
#include "text/format.h"

namespace stowkit {

HRESULT ExpandEntryProperty(Engine& engine, CatalogEntry& entry, uint8_t id,
                            std::u16string& text) {
  text.clear();
  bool present = entry.GetProperty(id, text);
  HRESULT hr = ExpandMacros(engine.macros, text, engine.last_error_text);
  report::Detail(text);
  if (FAILED(hr)) {
    report::Detail(engine.last_error_text);
    return hr;
  }
  if (present) entry.SetProperty(id, text);
  return S_OK;
}

std::u16string ItemErrorText(UiStringId message_id, std::u16string_view subject, HRESULT hr) {
  return Format(LoadUiString(message_id), subject, ErrorText(uint32_t(hr)));
}

void ReportItemError(Engine& engine, UiStringId message_id, std::u16string_view subject,
                     HRESULT hr) {
  engine.ReportError(ItemErrorText(message_id, subject, hr));
}

bool IsNotFoundResult(HRESULT hr) {
  return hr == HResultFromError(ERROR_FILE_NOT_FOUND) || hr == HResultFromError(ERROR_PATH_NOT_FOUND);
}

bool IsInstalled(const CatalogEntry& entry) { return entry.TestEntryFlags(kShouldInstall) != 0; }

bool IsRemoved(const Engine& engine, const CatalogEntry& entry) {
  return ShouldRemoveEntry(engine.mode, entry.EntryFlags());
}

}  // namespace stowkit
