#include "package/vocabulary.h"

#include <gtest/gtest.h>

namespace stowkit {
namespace {

TEST(Vocabulary, EntryTypeTexts) {
  EXPECT_EQ(EntryTypeText(1), u"AppFile");
  EXPECT_EQ(EntryTypeText(12), u"AppCleanup");
  for (uint8_t unknown : {0, 13, 239, 242, 254}) EXPECT_EQ(EntryTypeText(unknown), u"Unknown");
  EXPECT_EQ(EntryTypeText(240), u"StaticFile");
  EXPECT_EQ(EntryTypeText(241), u"ProvisioningFile");
  EXPECT_EQ(EntryTypeText(255), u"StaticInstall");
}

TEST(Vocabulary, FlagTextsListNamedBitsInOrderEachAfterABlank) {
  EXPECT_EQ(EntryFlagsText(0x05), u" BlobCompressed ShouldInstall");
  EXPECT_EQ(EntryFlagsText(0x0F), u" BlobCompressed IgnoreBlob ShouldInstall NoRemove");
  EXPECT_EQ(EntryFlagsText(0x10), u"");
  EXPECT_EQ(EntryFlagsText(0xF0), u"");
  EXPECT_EQ(TypeFlagsText(3, 0x3F), u"");
  EXPECT_EQ(TypeFlagsText(1, 0x3F), u" SelfRegister NoOverwrite OverwriteIfNewer ReadOnly Hidden");
  EXPECT_EQ(TypeFlagsText(1, 0xC8), u"");
  EXPECT_EQ(PackageFlagsText(0x91), u" NoRemove Patch Template");
  EXPECT_EQ(PackageFlagsText(0x08), u"");
  EXPECT_EQ(PackageFlagsText(0xFF), u" NoRemove OldStyleARP NoState Patch Remove Full Template");
}

TEST(Vocabulary, PropertyNamesOrNumbers) {
  EXPECT_EQ(PackagePropertyName(1), u"PlatformId");
  EXPECT_EQ(PackagePropertyName(26), u"ARPIcon");
  EXPECT_EQ(PackagePropertyName(27), u"27");
  EXPECT_EQ(PackagePropertyName(0), u"0");
  EXPECT_EQ(PackagePropertyName(255), u"255");
  EXPECT_EQ(EntryPropertyName(10), u"Size");
  EXPECT_EQ(EntryPropertyName(11), u"11");
}

TEST(Vocabulary, NamesMapBackToTheirCodes) {
  uint8_t value = 0;
  for (uint8_t type : {1, 5, 12, 240, 241, 255}) {
    ASSERT_TRUE(EntryTypeFromText(EntryTypeText(type), value));
    EXPECT_EQ(value, type);
  }
  EXPECT_FALSE(EntryTypeFromText(u"Unknown", value));
  EXPECT_FALSE(EntryTypeFromText(u"appfile", value));  // names are exact
  ASSERT_TRUE(TypeFlagFromText(u"Hidden", value));
  EXPECT_EQ(value, 0x20);
  ASSERT_TRUE(PackageFlagFromText(u"NoState", value));
  EXPECT_EQ(value, 0x04);
  ASSERT_TRUE(EntryPropertyFromName(u"LinkIcon", value));
  EXPECT_EQ(value, 9);
  ASSERT_TRUE(PackagePropertyFromName(u"UserLanguage", value));
  EXPECT_EQ(value, 22);
  EXPECT_FALSE(PackagePropertyFromName(u"27", value));
}

TEST(Vocabulary, ListsSplitAtCommasAndSemicolonsAndTrim) {
  EXPECT_EQ(SplitPropertyList(u" Core , Extras;;\tHelp\r\n;"), (StringList{u"Core", u"Extras", u"Help"}));
  EXPECT_EQ(SplitPropertyList(u"a, ,b"), (StringList{u"a", u"b"}));
  EXPECT_TRUE(SplitPropertyList(u"").empty());
  EXPECT_EQ(SplitPropertyList(u"with space inside"), (StringList{u"with space inside"}));
}

}  // namespace
}  // namespace stowkit
