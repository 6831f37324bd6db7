#include "text/format.h"

#include <cstdint>

#include <gtest/gtest.h>

namespace stowkit {
namespace {

TEST(Format, EachDirective) {
  EXPECT_EQ(Format(u"Installing %s ...", u"Notes"), u"Installing Notes ...");
  EXPECT_EQ(Format(u"%d", -42), u"-42");
  EXPECT_EQ(Format(u"%lu", 4000000000u), u"4000000000");
  EXPECT_EQ(Format(u"%hu", 70000), u"4464");  // kept to 16 bits
  EXPECT_EQ(Format(u"%x", 0x1f), u"1f");
  EXPECT_EQ(Format(u"%X", 0xabc), u"ABC");
  EXPECT_EQ(Format(u"%02x", 7), u"07");
  EXPECT_EQ(Format(u"%02x", 0x1ab), u"1ab");  // a width never cuts
  EXPECT_EQ(Format(u"%02d:%02d", 5, 30), u"05:30");
  EXPECT_EQ(Format(u"%04d", 2026), u"2026");
  EXPECT_EQ(Format(u"%04d", -7), u"-007");
  EXPECT_EQ(Format(u"%02lu", 3u), u"03");
  EXPECT_EQ(Format(u"[%20s]", u"right"), u"[               right]");
  EXPECT_EQ(Format(u"[%-6s]", u"left"), u"[left  ]");
  EXPECT_EQ(Format(u"100%% done"), u"100% done");
  EXPECT_EQ(Format(u"%c", int(u'Z')), u"Z");
}

TEST(Format, NumbersAreThirtyTwoBitValuesUnlessLongLong) {
  EXPECT_EQ(Format(u"0x%x", int32_t(0x80070057)), u"0x80070057");
  EXPECT_EQ(Format(u"0x%x", uint32_t(0x80070057)), u"0x80070057");
  EXPECT_EQ(Format(u"%d", 0xFFFFFFFFu), u"-1");
  EXPECT_EQ(Format(u"%lu", -1), u"4294967295");
  EXPECT_EQ(Format(u"%llu", uint64_t(1) << 40), u"1099511627776");
  EXPECT_EQ(Format(u"%d", INT32_MIN), u"-2147483648");
}

TEST(Format, BadTemplatesGiveVisibleTextNeverACrash) {
  EXPECT_EQ(Format(u"Error '%s': %s", u"a.txt"), u"Error 'a.txt': %s");  // missing argument
  EXPECT_EQ(Format(u"%d items", u"three"), u"(?) items");                 // text for a number
  EXPECT_EQ(Format(u"file %s", 12), u"file (?)");                         // number for text
  EXPECT_EQ(Format(u"%q and %s", u"x"), u"%q and x");  // unknown directive is copied
  EXPECT_EQ(Format(u"ends with %"), u"ends with %");
  EXPECT_EQ(Format(u"ends with %-0"), u"ends with %-0");
  EXPECT_EQ(Format(u"%s", static_cast<const char16_t*>(nullptr)), u"(null)");
  EXPECT_EQ(Format(u"%999999999999d", 1).size(), size_t(kMaxFormatWidth));
  EXPECT_EQ(Format(u"%s", u"extra", u"ignored"), u"extra");
}

TEST(Format, TextMayHoldPercentSignsAndEmbeddedNulls) {
  EXPECT_EQ(Format(u"%s", u"50%d"), u"50%d");  // arguments are never re-read as templates
  std::u16string with_null(u"a\0b", 3);
  EXPECT_EQ(Format(u"<%s>", with_null), u"<" + with_null + u">");
}

}  // namespace
}  // namespace stowkit
