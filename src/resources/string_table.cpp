#include "resources/string_table.h"

namespace stowkit {
namespace {

struct NamedText {
  UiStringId id;
  const char16_t* text;
};
using Block = NamedText[kTextsPerLanguage];

using enum UiStringId;

// In block order; each file holds exactly the 44 texts of its language in English id order.
constexpr Block kBlocks[kLanguageCount] = {
    {
#include "resources/strings/en.inc"
    },
    {
#include "resources/strings/fr.inc"
    },
    {
#include "resources/strings/it.inc"
    },
    {
#include "resources/strings/de.inc"
    },
    {
#include "resources/strings/es.inc"
    },
    {
#include "resources/strings/ja.inc"
    },
    {
#include "resources/strings/cs.inc"
    },
    {
#include "resources/strings/pt.inc"
    },
    {
#include "resources/strings/fi.inc"
    },
    {
#include "resources/strings/sv.inc"
    },
    {
#include "resources/strings/no.inc"
    },
    {
#include "resources/strings/pl.inc"
    },
    {
#include "resources/strings/da.inc"
    },
    {
#include "resources/strings/nl.inc"
    },
    {
#include "resources/strings/pt_pt.inc"
    },
    {
#include "resources/strings/es_es.inc"
    },
    {
#include "resources/strings/zh_cn.inc"
    },
    {
#include "resources/strings/zh_tw.inc"
    },
    {
#include "resources/strings/sk.inc"
    },
};

// A file that misses a text leaves its last entries without a name; one that holds them in
// another order tags an entry with the wrong one.
constexpr bool EveryBlockHoldsTheIdsInOrder() {
  for (const Block& block : kBlocks) {
    for (uint32_t index = 0; index < uint32_t(kTextsPerLanguage); ++index) {
      if (uint32_t(block[index].id) != index + 1 || block[index].text == nullptr) return false;
    }
  }
  return true;
}
static_assert(EveryBlockHoldsTheIdsInOrder(),
              "a language file of strings/ disagrees with the ids of resources/string_ids.h");

}  // namespace

const char16_t* FindStringResource(uint32_t id) {
  if (id == 0) return nullptr;
  uint32_t block = (id - 1) / kIdsPerBlock;
  uint32_t index = (id - 1) % kIdsPerBlock;
  if (block >= kLanguageCount || index >= kTextsPerLanguage) return nullptr;
  return kBlocks[block][index].text;
}

}  // namespace stowkit
