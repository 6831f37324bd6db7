#include "resources/ui_strings.h"

#include <atomic>

#include "resources/string_table.h"

namespace stowkit {
namespace {

std::atomic<int32_t> ui_language{0};

// Codes of languages 1..18, in index order.
constexpr std::u16string_view kLanguageCodes[] = {
    u"fr", u"it", u"de", u"es",    u"ja",    u"cs",    u"pt",    u"fi",    u"sv",
    u"no", u"pl", u"da", u"nl",    u"pt_pt", u"es_es", u"zh_cn", u"zh_tw", u"sk",
};

std::u16string Load(uint32_t resource_id) {
  const char16_t* text = FindStringResource(resource_id);
  return text ? std::u16string(text) : std::u16string();
}

char16_t AsciiLower(char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c; }

}  // namespace

int32_t UiLanguage() { return ui_language.load(); }

void SetUiLanguage(int32_t language) { ui_language.store(language); }

std::u16string LoadUiString(UiStringId id) {
  std::u16string text = Load(ResourceId(id, UiLanguage()));
  return text.empty() ? Load(ResourceId(id, 0)) : text;
}

int32_t LanguageFromCode(std::u16string_view code) {
  std::u16string lower(code);
  for (char16_t& c : lower) c = AsciiLower(c);
  for (size_t i = 0; i < std::size(kLanguageCodes); ++i) {
    if (lower == kLanguageCodes[i]) return int32_t(i + 1);
  }
  return 0;
}

}  // namespace stowkit
