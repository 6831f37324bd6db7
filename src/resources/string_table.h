// The program's string resources: 19 language blocks of the same 44 user-interface texts.
// Block k holds the text of English id i under resource id i + 50k; ids 45..50 of every
// block are empty.
#pragma once

#include <cstdint>

namespace stowkit {

inline constexpr int kLanguageCount = 19;
inline constexpr int kTextsPerLanguage = 44;
inline constexpr int kIdsPerBlock = 50;

// The text of resource string `id`, or nullptr when there is none.
const char16_t* FindStringResource(uint32_t id);

}  // namespace stowkit
