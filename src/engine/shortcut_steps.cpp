// The shortcut steps: Shortcut entries created at install and deleted at removal,
// RemoveShortcut entries deleted at install.
#include <array>
#include <string>

#include "engine/catalog_steps.h"
#include "engine/engine.h"
#include "engine/macro_table.h"
#include "engine/status_reporter.h"
#include "engine/step_items.h"
#include "package/vocabulary.h"
#include "services/hresult.h"
#include "services/program_services.h"
#include "text/format.h"

namespace stowkit {
namespace {


constexpr std::array<uint8_t, 4> kLinkProperties = {kLinkName, kLinkTarget, kLinkArgs, kLinkIcon};

struct LinkTexts {
  std::array<std::u16string, 4> text;  // in the order of kLinkProperties
  std::array<bool, 4> present{};
  const std::u16string& name() const { return text[0]; }
  const std::u16string& target() const { return text[1]; }
  const std::u16string& arguments() const { return text[2]; }
  const std::u16string& icon() const { return text[3]; }
};

// Expands the four texts in order, stopping at the first that fails.
HRESULT ExpandLink(Engine& engine, const CatalogEntry& entry, LinkTexts& link) {
  for (size_t i = 0; i < kLinkProperties.size(); ++i) {
    link.present[i] = entry.GetProperty(kLinkProperties[i], link.text[i]);
    HRESULT hr = ExpandMacros(engine.macros, link.text[i], engine.last_error_text);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

// The Detail line comes before the expansion's error, so a failed expansion shows what
// could be expanded.
HRESULT CreateShortcutEntry(Engine& engine, CatalogEntry& entry) {
  LinkTexts link;
  HRESULT hr = ExpandLink(engine, entry, link);
  std::u16string shown = Format(u"%s -> %s", link.name(), link.target());
  report::Detail(shown);
  if (FAILED(hr)) {
    report::Detail(engine.last_error_text);
    return hr;
  }
  for (size_t i = 0; i < kLinkProperties.size(); ++i) {
    if (link.present[i]) entry.SetProperty(kLinkProperties[i], link.text[i]);
  }
  if (CreateShortcut(link.name(), link.target(), link.arguments(), link.icon())) return S_OK;
  hr = LastErrorResult();
  ReportItemError(engine, UiStringId::kShortcutCreateError, shown, hr);
  return hr;
}

// Install-time RemoveShortcut entries: a failure is reported and the step goes on.
void DeleteShortcutEntry(Engine& engine, CatalogEntry& entry) {
  std::u16string name;
  if (FAILED(ExpandEntryProperty(engine, entry, kLinkName, name))) return;
  if (!DeleteShortcut(name)) {
    ReportItemError(engine, UiStringId::kShortcutDeleteError, name, LastErrorResult());
  }
}

// A removed shortcut whose folder has gone is gone too; any other failure ends the step with
// its message in the last error text, shown at the end of the run but sent as no Detail.
HRESULT RemoveShortcutEntry(Engine& engine, CatalogEntry& entry) {
  std::u16string name;
  HRESULT hr = ExpandEntryProperty(engine, entry, kLinkName, name);
  if (FAILED(hr)) return hr;
  if (DeleteShortcut(name)) return S_OK;
  hr = LastErrorResult();
  if (IsNotFoundResult(hr)) return S_OK;
  engine.last_error_text = ItemErrorText(UiStringId::kShortcutDeleteError, name, hr);
  return hr;
}

}  // namespace

HRESULT CreateShortcuts(Engine& engine) {
  for (int index = 0; index < engine.package->NumEntries(); ++index) {
    CatalogEntry& entry = *engine.package->GetEntry(index);
    if (!IsInstalled(entry)) continue;
    if (entry.EntryType() == kShortcut) {
      HRESULT hr = CreateShortcutEntry(engine, entry);
      if (FAILED(hr)) return hr;
    } else if (entry.EntryType() == kRemoveShortcut) {
      DeleteShortcutEntry(engine, entry);
    }
  }
  return S_OK;
}

HRESULT RemoveShortcuts(Engine& engine) {
  for (int index = 0; index < engine.package->NumEntries(); ++index) {
    CatalogEntry& entry = *engine.package->GetEntry(index);
    if (entry.EntryType() != kShortcut || !IsRemoved(engine, entry)) continue;
    HRESULT hr = RemoveShortcutEntry(engine, entry);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

}  // namespace stowkit
