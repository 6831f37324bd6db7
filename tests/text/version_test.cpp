#include "text/version.h"

#include <gtest/gtest.h>

namespace stowkit {
namespace {

TEST(Version, ParsesFieldsIntoBytesMostSignificantFirst) {
  EXPECT_EQ(ParseVersion(u"1.2.3.4"), 0x01020304u);
  EXPECT_EQ(FormatVersion(0x01020304u), u"1.2.3.4");
  EXPECT_EQ(ParseVersion(u"2,0,1"), 0x02000100u);
  EXPECT_EQ(ParseVersion(u"4 3\t2"), 0x04030200u);
  EXPECT_EQ(ParseVersion(u"255.255.255.255"), 0xFFFFFFFFu);
}

TEST(Version, EdgeCases) {
  EXPECT_EQ(ParseVersion(u"1.2.3.4.5"), 0x01020304u);  // past the fourth field: ignored
  EXPECT_EQ(ParseVersion(u"1..3"), 0x01000300u);       // an empty field counts as 0
  EXPECT_EQ(ParseVersion(u"1.300"), 0x012C0000u);      // modulo 256
  EXPECT_EQ(ParseVersion(u"v1.2"), 0x00020000u);       // no leading digits: 0
  EXPECT_EQ(ParseVersion(u"3rc.1"), 0x03010000u);      // digits up to the first other char
  EXPECT_EQ(ParseVersion(u"-1.0"), 0xFF000000u);       // signed, then the low 8 bits
  EXPECT_EQ(ParseVersion(u"+7"), 0x07000000u);
  EXPECT_EQ(ParseVersion(u"99999999999.1"), 0xFF010000u);  // overflow wraps, never traps
  EXPECT_EQ(ParseVersion(static_cast<const char16_t*>(nullptr)), 0u);
  EXPECT_EQ(ParseVersion(u""), 0u);
  EXPECT_EQ(ParseVersion(u"."), 0u);
}

TEST(Version, OrdersAsUnsignedNumbers) {
  EXPECT_LT(ParseVersion(u"1.2.0.0"), ParseVersion(u"1.10.0.0"));
  EXPECT_GT(ParseVersion(u"200.0"), ParseVersion(u"100.255.255.255"));
  EXPECT_EQ(NormalizeVersion(u"01.002.3"), u"1.2.3.0");
  EXPECT_EQ(NormalizeVersion(u"garbage"), u"0.0.0.0");
}

TEST(List, SplitSkipsEmptyPiecesAndRunsOfDelimiters) {
  StringList list = {u"kept"};
  SplitList(u",a;;b,", kListDelimiters, list);
  EXPECT_EQ(list, (StringList{u"kept", u"a", u"b"}));
  StringList none;
  SplitList(u",;,;", kListDelimiters, none);
  SplitList(u"", kListDelimiters, none);
  EXPECT_TRUE(none.empty());
  StringList spaced;
  SplitList(u" a , b ", kListDelimiters, spaced);  // the split itself trims nothing
  EXPECT_EQ(spaced, (StringList{u" a ", u" b "}));
}

TEST(List, JoinPutsTheSeparatorOnlyBetweenPieces) {
  EXPECT_EQ(JoinList({u"a", u"b", u"c"}, kListSeparator), u"a,b,c");
  EXPECT_EQ(JoinList({u"only"}, kListSeparator), u"only");
  EXPECT_EQ(JoinList({}, kListSeparator), u"");
  EXPECT_EQ(JoinList({u"", u"x"}, kListSeparator), u",x");
}

}  // namespace
}  // namespace stowkit
