// The program's string resources: 19 language blocks of the same 44 user-interface texts.
// Block k holds the text of English id i under resource id i + 50k; ids 45..50 of every
// block are empty.
#pragma once

#include <cstdint>

#include "resources/string_ids.h"

namespace stowkit {

inline constexpr int kLanguageCount = 19;
inline constexpr int kTextsPerLanguage = int(kUiStringCount);
inline constexpr int kIdsPerBlock = 50;

// The resource id of text `id` in the block of `language` (0 .. kLanguageCount - 1).
constexpr uint32_t ResourceId(UiStringId id, int32_t language) {
  return uint32_t(id) + uint32_t(kIdsPerBlock) * uint32_t(language);
}

// The text of resource string `id`, or nullptr when there is none.
const char16_t* FindStringResource(uint32_t id);

}  // namespace stowkit
