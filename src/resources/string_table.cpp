#include "resources/string_table.h"

namespace stowkit {
namespace {

using Block = const char16_t* const[kTextsPerLanguage];

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

}  // namespace

const char16_t* FindStringResource(uint32_t id) {
  if (id == 0) return nullptr;
  uint32_t block = (id - 1) / kIdsPerBlock;
  uint32_t index = (id - 1) % kIdsPerBlock;
  if (block >= kLanguageCount || index >= kTextsPerLanguage) return nullptr;
  return kBlocks[block][index];
}

}  // namespace stowkit
