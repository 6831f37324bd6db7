// Selection sets: splitting, case folding with the latest spelling, the known-name rule and
// the list and text forms.
#include "engine/selection_set.h"

#include <gtest/gtest.h>

namespace stowkit {
namespace {

TEST(SelectionSetTest, EnabledNamesMatchAllWithoutCaseAndKeepTheirOwnSpelling) {
  SelectionSet set;
  set.SetAll(u"A , B;C");
  set.Enable(u"b");
  EXPECT_EQ(set.EnabledList(), (StringList{u"b"}));
  EXPECT_EQ(set.DisabledList(), (StringList{u"A", u"C"}));
  EXPECT_EQ(set.EnabledText(), u"b");
  EXPECT_EQ(set.DisabledText(), u"A,C");
}

TEST(SelectionSetTest, EnableTakesOnlyKnownNamesUnlessAllIsEmpty) {
  SelectionSet known;
  known.SetAll(u"Core,Help");
  known.Enable(u"Help;Extra");
  EXPECT_EQ(known.EnabledText(), u"Help");

  SelectionSet open;
  open.Enable(u"Extra, Help");
  EXPECT_EQ(open.EnabledText(), u"Extra,Help");
  EXPECT_EQ(open.DisabledText(), u"");
}

TEST(SelectionSetTest, ANameAddedAgainIsOneElementWithTheLatestSpelling) {
  SelectionSet set;
  set.SetAll(u"help,Core,HELP");
  EXPECT_EQ(set.DisabledList(), (StringList{u"Core", u"HELP"}));
  set.Enable(u"help");
  set.Enable(u"Help");
  EXPECT_EQ(set.EnabledList(), (StringList{u"Help"}));
  EXPECT_EQ(set.DisabledList(), (StringList{u"Core"}));
}

TEST(SelectionSetTest, ListsComeInFoldedNameOrderJoinedWithoutBlanks) {
  SelectionSet set;
  set.SetAll(u"gamma; Alpha ,beta,delta");
  set.Enable(u"gamma,beta,Alpha");
  EXPECT_EQ(set.EnabledText(), u"Alpha,beta,gamma");
  set.Disable(u"ALPHA");
  EXPECT_EQ(set.DisabledText(), u"Alpha,delta");
}

TEST(SelectionSetTest, SetAllKeepsOnlyEnabledNamesThatAreStillKnown) {
  SelectionSet set;
  set.SetAll(u"A,B,C");
  set.Enable(u"a,B");
  set.SetAll(u"b,C,D");
  EXPECT_EQ(set.EnabledList(), (StringList{u"B"}));
  EXPECT_EQ(set.DisabledList(), (StringList{u"C", u"D"}));
  set.SetAll(u"");
  EXPECT_EQ(set.EnabledText(), u"");
}

TEST(SelectionSetTest, DisableRemovesListedNamesAndIgnoresUnknownOnes) {
  SelectionSet set;
  set.SetAll(u"A,B,C");
  set.Enable(u"A,B,C");
  set.Disable(u"b;;Zed,");
  EXPECT_EQ(set.EnabledText(), u"A,C");
  EXPECT_EQ(set.DisabledText(), u"B");
}

TEST(SelectionSetTest, IsEnabledWantsAnyListedNameOrAnEmptyList) {
  SelectionSet set;
  set.SetAll(u"fr,de,en");
  set.Enable(u"de");
  EXPECT_TRUE(set.IsEnabled(u"fr,DE"));
  EXPECT_FALSE(set.IsEnabled(u"fr;en"));
  EXPECT_TRUE(set.IsEnabled(u""));
  EXPECT_TRUE(set.IsEnabled(u" ,; "));
  EXPECT_TRUE(set.IsNameEnabled(u"De"));
  EXPECT_FALSE(set.IsNameEnabled(u"fr,de"));  // one name, not a list
}

TEST(SelectionSetTest, IsKnownForEmptyAllEmptyNameOrAMember) {
  SelectionSet set;
  EXPECT_TRUE(set.IsKnown(u"anything"));
  set.SetAll(u"Core");
  EXPECT_TRUE(set.IsKnown(u"CORE"));
  EXPECT_TRUE(set.IsKnown(u""));
  EXPECT_FALSE(set.IsKnown(u"Help"));
}

}  // namespace
}  // namespace stowkit
