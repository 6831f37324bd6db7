// What every catalog step does for one item: the opening that expands a property and
// reports it, the error report in the words of the string table, and the results that a
// file step treats alike.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "coredll/windows.h"
#include "package/package.h"
#include "resources/string_ids.h"

namespace stowkit {

class Engine;

// Reads property `id` of `entry` (empty text when absent), expands its macros and sends the
// expanded text as Detail. On success the expanded text replaces the property (when the
// entry has it), so that the uninstall package holds final paths. On failure the error text is sent as a
// second Detail and the result is the expansion's failure; `text` then holds the partly
// expanded text and the entry is left as it was.
HRESULT ExpandEntryProperty(Engine& engine, CatalogEntry& entry, uint8_t id, std::u16string& text);

// UI string `message_id` ("Error ... '%s': %s") filled with `subject` and the system's text
// for `hr`.
std::u16string ItemErrorText(UiStringId message_id, std::u16string_view subject, HRESULT hr);

// Reports ItemErrorText as the engine's error: the last error text and a Detail line.
void ReportItemError(Engine& engine, UiStringId message_id, std::u16string_view subject,
                     HRESULT hr);

// A file or path that is not there: counts as deleted.
bool IsNotFoundResult(HRESULT hr);

// The entries a step visits, in catalog order.
bool IsInstalled(const CatalogEntry& entry);
bool IsRemoved(const Engine& engine, const CatalogEntry& entry);

}  // namespace stowkit
