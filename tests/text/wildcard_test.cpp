#include "text/wildcard.h"

#include <gtest/gtest.h>

namespace stowkit {
namespace {

TEST(Wildcard, StarAndQuestionMarkCaseInsensitively) {
  EXPECT_TRUE(MatchWildcard(u"*", u"anything"));
  EXPECT_TRUE(MatchWildcard(u"*", u""));
  EXPECT_TRUE(MatchWildcard(u"*.TXT", u"readme.txt"));
  EXPECT_FALSE(MatchWildcard(u"*.txt", u"readme.txt.bak"));
  EXPECT_TRUE(MatchWildcard(u"a?c", u"ABC"));
  EXPECT_FALSE(MatchWildcard(u"a?c", u"ac"));
  EXPECT_TRUE(MatchWildcard(u"*a*b*c*", u"xxaxxbxxcxx"));
  EXPECT_FALSE(MatchWildcard(u"*a*b*c*", u"xxcxxbxxaxx"));
  EXPECT_TRUE(MatchWildcard(u"app*remove.exe", u"App Remove.exe"));
}

TEST(Wildcard, StarDotStarMatchesNamesWithoutADot) {
  EXPECT_TRUE(MatchWildcard(u"*.*", u"README"));
  EXPECT_TRUE(MatchWildcard(u"*.*", u"a.b"));
}

TEST(Wildcard, ManyStarsStayFast) {
  std::u16string name(2000, u'a');
  EXPECT_FALSE(MatchWildcard(u"*a*a*a*a*a*a*a*a*b", name));
}

}  // namespace
}  // namespace stowkit
