// Every text the user sees, by its id (string_ids.h), in the process's UI language.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "resources/string_ids.h"

namespace stowkit {

// The UI language index, 0 (English) .. 18; 0 until set. The set is a plain assignment.
int32_t UiLanguage();
void SetUiLanguage(int32_t language);

// Text `id` in the UI language, else in English, else "".
std::u16string LoadUiString(UiStringId id);

// The index of a language code ("fr", "pt_pt", ...), lowercased first; unknown codes,
// "" and "en" give 0.
int32_t LanguageFromCode(std::u16string_view code);

}  // namespace stowkit
