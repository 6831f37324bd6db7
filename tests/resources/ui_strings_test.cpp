#include "resources/ui_strings.h"

#include <string>

#include <gtest/gtest.h>

#include "resources/string_table.h"

namespace stowkit {
namespace {

size_t CountPlaceholders(std::u16string_view text) {
  size_t count = 0;
  for (size_t pos = text.find(u'%'); pos != text.npos; pos = text.find(u'%', pos + 1)) {
    ++count;
  }
  return count;
}

class UiLanguageTest : public ::testing::Test {
 protected:
  void TearDown() override { SetUiLanguage(0); }
};

TEST_F(UiLanguageTest, LooksUpTheBlockOfTheUiLanguage) {
  SetUiLanguage(5);
  EXPECT_EQ(LoadUiString(UiStringId::kInitializing), FindStringResource(257));
  EXPECT_NE(LoadUiString(UiStringId::kInitializing), u"Initializing ...");
  SetUiLanguage(0);
  EXPECT_EQ(LoadUiString(UiStringId::kInitializing), u"Initializing ...");
  EXPECT_EQ(LoadUiString(UiStringId::kNewerInstalledQuestion),
            u"A newer version of this application is already installed.  Do you really want to "
            u"overwrite it with an older version?");
  EXPECT_EQ(LoadUiString(UiStringId::kShortcutCreateError), u"Error creating shorcut '%s': %s");
}

TEST_F(UiLanguageTest, MissingTextsFallBackToEnglishThenToEmpty) {
  for (int32_t language : {0, 3, 18}) {
    SetUiLanguage(language);
    EXPECT_EQ(LoadUiString(UiStringId(45)), u"") << language;
    EXPECT_EQ(LoadUiString(UiStringId(0)), u"") << language;
  }
  SetUiLanguage(19);  // out of range: the plain assignment is kept, English is shown
  EXPECT_EQ(UiLanguage(), 19);
  EXPECT_EQ(LoadUiString(UiStringId::kInstalling), u"Installing %s ...");
  SetUiLanguage(-1);
  EXPECT_EQ(LoadUiString(UiStringId::kInstallCompleted), u"Installation of %s completed");
}

TEST_F(UiLanguageTest, RestartNoticeStaysEnglishInEveryBlock) {
  for (int32_t language = 0; language < kLanguageCount; ++language) {
    SetUiLanguage(language);
    EXPECT_EQ(LoadUiString(UiStringId::kRestartCaption), u"Restart Required");
    EXPECT_EQ(LoadUiString(UiStringId::kRestartText),
              u"Your device will restart shortly in order to complete the installation.  Press "
              u"OK to continue.");
  }
}

TEST(StringTable, EveryBlockHoldsAllTextsWithTheEnglishPlaceholders) {
  for (uint32_t block = 0; block < kLanguageCount; ++block) {
    for (uint32_t id = 1; id <= kTextsPerLanguage; ++id) {
      const char16_t* text = FindStringResource(id + kIdsPerBlock * block);
      ASSERT_NE(text, nullptr) << "block " << block << " id " << id;
      std::u16string_view translated(text), english(FindStringResource(id));
      EXPECT_FALSE(translated.empty()) << "block " << block << " id " << id;
      EXPECT_EQ(CountPlaceholders(translated), CountPlaceholders(english))
          << "block " << block << " id " << id;
      EXPECT_EQ(translated.find(u"%s") == translated.npos, english.find(u"%s") == english.npos);
      if (block > 0 && id < uint32_t(UiStringId::kRestartCaption)) {
        EXPECT_NE(translated, english) << "untranslated: block " << block << " id " << id;
      }
    }
    for (uint32_t id = kTextsPerLanguage + 1; id <= kIdsPerBlock; ++id) {
      EXPECT_EQ(FindStringResource(id + kIdsPerBlock * block), nullptr);
    }
  }
  EXPECT_EQ(FindStringResource(kIdsPerBlock * kLanguageCount + 1), nullptr);
}

TEST_F(UiLanguageTest, AppendedHintsKeepTheirLeadingBlanks) {
  for (int32_t language = 0; language < kLanguageCount; ++language) {
    SetUiLanguage(language);
    for (UiStringId id : {UiStringId::kOverwriteHintProcess, UiStringId::kOverwriteHintLoader,
                          UiStringId::kDeleteHintProcess, UiStringId::kDeleteHintLoader}) {
      EXPECT_EQ(LoadUiString(id).substr(0, 2), u"  ") << language << " " << uint32_t(id);
    }
  }
}

TEST(LanguageCode, MatchesAfterLowercasing) {
  EXPECT_EQ(LanguageFromCode(u"fr"), 1);
  EXPECT_EQ(LanguageFromCode(u"PT_PT"), 14);
  EXPECT_EQ(LanguageFromCode(u"pt-pt"), 0);
  EXPECT_EQ(LanguageFromCode(u"zh_TW"), 17);
  EXPECT_EQ(LanguageFromCode(u"sk"), 18);
  EXPECT_EQ(LanguageFromCode(u"en"), 0);
  EXPECT_EQ(LanguageFromCode(u""), 0);
  EXPECT_EQ(LanguageFromCode(u"xx"), 0);
  EXPECT_EQ(LanguageFromCode(u"fr "), 0);
}

}  // namespace
}  // namespace stowkit
