// The command-line tokenizer: blanks, quotes, doubled quotes and the end of the text.
#include "text/tokenizer.h"

#include <gtest/gtest.h>

namespace stowkit {
namespace {

TEST(NextTokenTest, ATokenEndsAtABlankWhosePositionIsReturned) {
  std::u16string token;
  std::u16string_view text = u"  /i\tpkg";
  size_t at = NextToken(text, 0, token);
  EXPECT_EQ(token, u"/i");
  EXPECT_EQ(at, 4u);
  at = NextToken(text, at, token);
  EXPECT_EQ(token, u"pkg");
  EXPECT_EQ(at, kEndOfInput);
}

TEST(NextTokenTest, NothingLeftGivesAnEmptyTokenAndTheEndMark) {
  std::u16string token = u"stale";
  EXPECT_EQ(NextToken(u"x   ", 1, token), kEndOfInput);
  EXPECT_EQ(token, u"");
  EXPECT_EQ(NextToken(u"", 0, token), kEndOfInput);
  EXPECT_EQ(NextToken(u"abc", kEndOfInput, token), kEndOfInput);
  EXPECT_EQ(token, u"");
}

TEST(NextTokenTest, QuotesToggleAndKeepBlanksButAreNotCopied) {
  std::u16string token;
  size_t at = NextToken(u"\"\\Temp\\My App.pkg\" /v", 0, token);
  EXPECT_EQ(token, u"\\Temp\\My App.pkg");
  EXPECT_EQ(at, 18u);
  NextToken(u"a\"b c\"d e", 0, token);
  EXPECT_EQ(token, u"ab cd");
}

TEST(NextTokenTest, TwoQuotesInARowGiveOneQuoteQuotedOrNot) {
  std::u16string token;
  NextToken(u"say\"\"hi\"\" x", 0, token);
  EXPECT_EQ(token, u"say\"hi\"");
  NextToken(u"\"a \"\"b\"\" c\" d", 0, token);
  EXPECT_EQ(token, u"a \"b\" c");
}

TEST(NextTokenTest, AnUnclosedQuoteRunsToTheEnd) {
  std::u16string token;
  EXPECT_EQ(NextToken(u"\"open to the end", 0, token), kEndOfInput);
  EXPECT_EQ(token, u"open to the end");
}

TEST(SplitTokensTest, EveryTokenInOrderAndEmptyOnlyForALoneQuote) {
  EXPECT_EQ(SplitTokens(u" \"\\x y\\s.exe\"  /is \"a b\"  "),
            (std::vector<std::u16string>{u"\\x y\\s.exe", u"/is", u"a b"}));
  EXPECT_TRUE(SplitTokens(u" \t ").empty());
  EXPECT_EQ(SplitTokens(u"/DNAME \""), (std::vector<std::u16string>{u"/DNAME", u""}));
}

}  // namespace
}  // namespace stowkit
