// The macro table: key normalization, order, dumps, and expansion with its failures.
#include "engine/macro_table.h"

#include <gtest/gtest.h>

#include <string>

#include "text/format.h"

namespace stowkit {
namespace {

TEST(MacroKeyTest, NamesAreUpperCasedAndWrappedUnlessTheyStartWithDollar) {
  EXPECT_EQ(NormalizeMacroKey(u"windir"), u"$(WINDIR)");
  EXPECT_EQ(NormalizeMacroKey(u"$(WinDir)"), u"$(WINDIR)");
  EXPECT_EQ(NormalizeMacroKey(u"$odd"), u"$ODD");
  EXPECT_EQ(NormalizeMacroKey(u""), u"$()");
}

TEST(MacroTableTest, OneDefinitionAnswersToEverySpellingOfItsName) {
  MacroTable table;
  table.SetMacro(u"WinDir", u"\\Windows");
  std::u16string value;
  EXPECT_TRUE(table.GetMacro(u"windir", value));
  EXPECT_EQ(value, u"\\Windows");
  EXPECT_TRUE(table.GetMacro(u"$(WINDIR)", value));
  table.SetMacro(u"$(windir)", u"\\Other");
  EXPECT_EQ(table.Count(), 1);
  table.GetMacro(u"WINDIR", value);
  EXPECT_EQ(value, u"\\Other");
}

TEST(MacroTableTest, AMissingNameGivesFalseAndEmptyText) {
  MacroTable table;
  std::u16string value = u"stale";
  EXPECT_FALSE(table.GetMacro(u"nope", value));
  EXPECT_EQ(value, u"");
}

TEST(MacroTableTest, ValuesAreKeptExactlyAndANullValueIsEmpty) {
  MacroTable table;
  table.SetMacro(u"a", u"  Mixed Case $(B) ");
  table.SetMacro(u"n", std::u16string_view());
  std::u16string value;
  table.GetMacro(u"a", value);
  EXPECT_EQ(value, u"  Mixed Case $(B) ");
  EXPECT_TRUE(table.GetMacro(u"n", value));
  EXPECT_EQ(value, u"");
}

TEST(MacroTableTest, DefinitionsAreIndexedAndDumpedInKeyOrder) {
  MacroTable table;
  table.SetMacro(u"zeta", u"3");
  table.SetMacro(u"ALPHA", u"1");
  table.SetMacro(u"mid", u"2");
  std::u16string key, value;
  ASSERT_TRUE(table.GetAt(0, key, value));
  EXPECT_EQ(key, u"$(ALPHA)");
  EXPECT_EQ(value, u"1");
  ASSERT_TRUE(table.GetAt(2, key, value));
  EXPECT_EQ(key, u"$(ZETA)");
  EXPECT_FALSE(table.GetAt(3, key, value));
  EXPECT_FALSE(table.GetAt(-1, key, value));

  EXPECT_EQ(table.DumpMacros(), (StringList{u"$(ALPHA)=1", u"$(MID)=2", u"$(ZETA)=3"}));
  EXPECT_EQ(table.LogDump(),
            u"            $(ALPHA):\t1\r\n"
            u"              $(MID):\t2\r\n"
            u"             $(ZETA):\t3\r\n");
}

class ExpandTest : public ::testing::Test {
 protected:
  HRESULT Expand(std::u16string& text) { return ExpandMacros(table_, text, error_); }
  MacroTable table_;
  std::u16string error_;
};

TEST_F(ExpandTest, ReferencesInAnyCaseExpandAlike) {
  table_.SetMacro(u"WinDir", u"\\Windows");
  std::u16string lower = u"$(windir)\\a", upper = u"$(WINDIR)\\a";
  EXPECT_EQ(Expand(lower), S_OK);
  EXPECT_EQ(Expand(upper), S_OK);
  EXPECT_EQ(lower, u"\\Windows\\a");
  EXPECT_EQ(upper, lower);
}

TEST_F(ExpandTest, ValuesThatHoldReferencesAreExpandedToo) {
  table_.SetMacro(u"A", u"$(B)\\a");
  table_.SetMacro(u"B", u"\\b");
  std::u16string text = u"$(A)";
  EXPECT_EQ(Expand(text), S_OK);
  EXPECT_EQ(text, u"\\b\\a");
}

TEST_F(ExpandTest, TheTextAValueProducesIsNotScannedAgain) {
  // "$" + "(X)" meet only in the output, which is never scanned.
  table_.SetMacro(u"D", u"$");
  table_.SetMacro(u"X", u"x");
  std::u16string text = u"$(D)(X)";
  EXPECT_EQ(Expand(text), S_OK);
  EXPECT_EQ(text, u"$(X)");
}

TEST_F(ExpandTest, AnEmptyValueExpandsToNothingAndAnEmptyTextSucceeds) {
  table_.SetMacro(u"E", u"");
  std::u16string text = u"a$(E)b", empty;
  EXPECT_EQ(Expand(text), S_OK);
  EXPECT_EQ(text, u"ab");
  EXPECT_EQ(Expand(empty), S_OK);
  EXPECT_EQ(empty, u"");
  EXPECT_EQ(error_, u"");
}

TEST_F(ExpandTest, AnUndefinedReferenceStaysAndIsNamedInTheErrorText) {
  std::u16string text = u"$(NOPE)\\x";
  EXPECT_EQ(Expand(text), HRESULT(0x80004005));
  EXPECT_EQ(text, u"$(NOPE)\\x");
  EXPECT_EQ(error_, u"Unresolved macro in $(NOPE)\\x: $(NOPE)");
}

TEST_F(ExpandTest, EveryUnresolvedReferenceIsListedInOrderAsWritten) {
  table_.SetMacro(u"OK", u"ok");
  std::u16string text = u"$(one)$(OK)$(Two)$(one)";
  EXPECT_EQ(Expand(text), HRESULT(0x80004005));
  EXPECT_EQ(text, u"$(one)ok$(Two)$(one)");
  EXPECT_EQ(error_, u"Unresolved macro in $(one)$(OK)$(Two)$(one): $(one), $(Two), $(one)");
}

TEST_F(ExpandTest, AnUnresolvedReferenceInsideAValueFailsTheOuterOne) {
  table_.SetMacro(u"A", u"[$(MISSING)]");
  std::u16string text = u"$(A)";
  EXPECT_EQ(Expand(text), HRESULT(0x80004005));
  EXPECT_EQ(text, u"[$(MISSING)]");
  EXPECT_EQ(error_, u"Unresolved macro in $(A): $(MISSING)");
}

TEST_F(ExpandTest, LoneDollarsAndParenthesesAreCopied) {
  std::u16string text = u"a$b) c$";
  EXPECT_EQ(Expand(text), S_OK);
  EXPECT_EQ(text, u"a$b) c$");
}

TEST_F(ExpandTest, AnUnclosedReferenceGivesADollarAndEndsTheText) {
  table_.SetMacro(u"A", u"x");
  std::u16string text = u"$(A)\\$(B\\rest";
  EXPECT_EQ(Expand(text), S_OK);
  EXPECT_EQ(text, u"x\\$");
}

TEST_F(ExpandTest, ADefinitionThatRefersToItselfIsUnresolvedNotEndless) {
  table_.SetMacro(u"SELF", u"<$(self)>");
  std::u16string text = u"$(SELF)";
  EXPECT_EQ(Expand(text), HRESULT(0x80004005));
  EXPECT_EQ(text, u"<$(self)>");
  EXPECT_EQ(error_, u"Unresolved macro in $(SELF): $(self)");
}

TEST_F(ExpandTest, ACycleThroughOtherDefinitionsIsCaughtWhereItCloses) {
  table_.SetMacro(u"A", u"a$(B)");
  table_.SetMacro(u"B", u"b$(C)");
  table_.SetMacro(u"C", u"c$(A)");
  std::u16string text = u"$(B)";
  EXPECT_EQ(Expand(text), HRESULT(0x80004005));
  EXPECT_EQ(text, u"bca$(B)");
}

TEST_F(ExpandTest, OneDefinitionUsedTwiceSideBySideIsNoCycle) {
  table_.SetMacro(u"X", u"x");
  table_.SetMacro(u"PAIR", u"$(X)$(X)");
  std::u16string text = u"$(PAIR)-$(PAIR)";
  EXPECT_EQ(Expand(text), S_OK);
  EXPECT_EQ(text, u"xx-xx");
}

TEST_F(ExpandTest, AVeryLongChainIsCutOffInsteadOfExhaustingTheStack) {
  for (int i = 0; i < 5000; ++i) {
    table_.SetMacro(u"M" + std::u16string(1, char16_t(u'0' + i % 10)) +
                        std::u16string(size_t(i / 10), u'x'),
                    u"$(M" + std::u16string(1, char16_t(u'0' + (i + 1) % 10)) +
                        std::u16string(size_t((i + 1) / 10), u'x') + u")");
  }
  std::u16string text = u"$(M0)";
  EXPECT_EQ(Expand(text), HRESULT(0x80004005));
  EXPECT_NE(text.find(u"$(M"), std::u16string::npos);
}

TEST_F(ExpandTest, AShortChainResolvesFully) {
  table_.SetMacro(u"L1", u"$(L2)");
  table_.SetMacro(u"L2", u"$(L3)");
  table_.SetMacro(u"L3", u"end");
  std::u16string text = u"$(L1)";
  EXPECT_EQ(Expand(text), S_OK);
  EXPECT_EQ(text, u"end");
}

}  // namespace
}  // namespace stowkit

namespace stowkit {
namespace {

TEST(MacroExpansionTest, DoublingDefinitionsStopAtALengthCapInsteadOfExhaustingMemory) {
  MacroTable table;
  // Each level uses the next one twice: 40 levels would expand to 2^40 copies.
  for (int level = 0; level < 40; ++level) {
    std::u16string next = u"$(L" + Format(u"%d", level + 1) + u")";
    table.SetMacro(u"L" + Format(u"%d", level), next + next);
  }
  table.SetMacro(u"L40", u"x");
  std::u16string text = u"$(L0)", error;
  EXPECT_TRUE(FAILED(ExpandMacros(table, text, error)));
  EXPECT_LT(text.size(), 200000u);
  EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace stowkit
