#include "text/fold.h"

#include <clocale>
#include <set>

#include <gtest/gtest.h>

namespace stowkit {
namespace {

TEST(Fold, AsciiAndLatinLettersFoldToUpper) {
  EXPECT_EQ(UpperCase(u"temp\\a.txt"), u"TEMP\\A.TXT");
  EXPECT_EQ(UpperCase(u"straße über"), u"STRAßE ÜBER");  // ß has no one-unit upper form
  EXPECT_EQ(UpperCase(u"ÿ"), u"Ÿ");                      // U+00FF maps outside Latin-1
  EXPECT_EQ(UpperCase(u"ωσς"), u"ΩΣΣ");
  EXPECT_EQ(UpperCase(u"кириллица"), u"КИРИЛЛИЦА");
  EXPECT_EQ(UpperCase(u"ąćę"), u"ĄĆĘ");  // alternating upper/lower pairs
}

TEST(Fold, CaselessUnitsStayAsTheyAre) {
  EXPECT_EQ(UpperCase(u"日本語 123 _-~"), u"日本語 123 _-~");
  std::u16string surrogates = {char16_t(0xD83D), char16_t(0xDE00)};
  EXPECT_EQ(UpperCase(surrogates), surrogates);
}

TEST(Fold, NonAsciiLettersNeverFoldOntoAscii) {
  // Dotless i and long s would otherwise make "FıLE" and "FILE" one name.
  EXPECT_EQ(FoldUpper(u'ı'), u'ı');
  EXPECT_EQ(FoldUpper(u'ſ'), u'ſ');
  EXPECT_FALSE(EqualsNoCase(u"fıle", u"FILE"));
}

TEST(Fold, ComparisonIgnoresCaseAndOrdersByFoldedUnits) {
  EXPECT_TRUE(EqualsNoCase(u"\\Windows\\StartUp", u"\\WINDOWS\\startup"));
  EXPECT_FALSE(EqualsNoCase(u"abc", u"abcd"));
  EXPECT_LT(CompareNoCase(u"abc", u"ABCD"), 0);
  EXPECT_GT(CompareNoCase(u"b", u"A"), 0);
  // '_' (0x5F) sorts after the folded letters, not between upper and lower case.
  EXPECT_GT(CompareNoCase(u"_", u"z"), 0);
  std::set<std::u16string, NoCaseLess> names = {u"Feature", u"FEATURE", u"feature2"};
  EXPECT_EQ(names.size(), 2u);
}

TEST(Fold, IndependentOfTheHostLocale) {
  std::u16string before = UpperCase(u"iİıéÉ");
  if (std::setlocale(LC_ALL, "tr_TR.UTF-8")) {
    EXPECT_EQ(UpperCase(u"iİıéÉ"), before);
    std::setlocale(LC_ALL, "C");
  }
  EXPECT_EQ(before, u"IİıÉÉ");
}

}  // namespace
}  // namespace stowkit
