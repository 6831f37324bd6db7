#include "text/command_line.h"

#include <gtest/gtest.h>

namespace stowkit {
namespace {

TEST(CommandLine, PlainArgumentsAreJoinedByBlanks) {
  EXPECT_EQ(JoinArguments({u"/i", u"\\Temp\\app.pkg"}), u"/i \\Temp\\app.pkg");
  EXPECT_EQ(JoinArguments({}), u"");
}

TEST(CommandLine, QuotingFollowsTheWindowsRules) {
  EXPECT_EQ(JoinArguments({u"a b"}), u"\"a b\"");
  EXPECT_EQ(JoinArguments({u""}), u"\"\"");
  EXPECT_EQ(JoinArguments({u"say \"hi\""}), u"\"say \\\"hi\\\"\"");
  // Backslashes are literal except before a quote, where they double.
  EXPECT_EQ(JoinArguments({u"\\Program Files\\"}), u"\"\\Program Files\\\\\"");
  EXPECT_EQ(JoinArguments({u"a\\\"b"}), u"\"a\\\\\\\"b\"");
  EXPECT_EQ(JoinArguments({u"no\\quote\\needed"}), u"no\\quote\\needed");
  EXPECT_EQ(JoinArguments({u"tab\there", u"x"}), u"\"tab\there\" x");
}

}  // namespace
}  // namespace stowkit
