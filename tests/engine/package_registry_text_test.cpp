// The ".registry" line syntax: fields, roots, types, quoting, rules and the numbers of
// number values.
#include "engine/package_registry_text.h"

#include <gtest/gtest.h>

#include <string>

#include "services/registry_services.h"

namespace stowkit {
namespace {

RegistryLine Parse(std::u16string_view line) {
  RegistryLine parsed;
  EXPECT_TRUE(ParseRegistryLine(line, parsed)) << std::string(line.begin(), line.end());
  return parsed;
}

bool Rejects(std::u16string_view line) {
  RegistryLine parsed;
  return !ParseRegistryLine(line, parsed);
}

TEST(RegistryLineTest, SevenFieldsGiveRootKeyNameDataTypeAndRules) {
  RegistryLine line = Parse(
      u"HKLM, Software\\Example, 0, Path, $(PROGRAMFILES)\\Example, NoOverwrite, NoRemove");
  EXPECT_EQ(line.root, HKEY_LOCAL_MACHINE);
  EXPECT_EQ(line.key, u"Software\\Example");
  EXPECT_EQ(line.name, u"Path");
  EXPECT_EQ(line.data, u"$(PROGRAMFILES)\\Example");
  EXPECT_FALSE(line.is_number);
  EXPECT_EQ(line.flags, kRegNoOverwrite | kRegNoRemove);

  // Name and data may be empty (the key's default value); empty rules are the defaults.
  line = Parse(u"hkcu,K,1,,,,");
  EXPECT_EQ(line.root, HKEY_CURRENT_USER);
  EXPECT_EQ(line.name, u"");
  EXPECT_EQ(line.data, u"");
  EXPECT_TRUE(line.is_number);
  EXPECT_EQ(line.flags, kRegWriteAlways | kRegRemoveEmptyKeys);
  EXPECT_EQ(Parse(u"HkCr,K,0,N,D,,").root, HKEY_CLASSES_ROOT);
}

TEST(RegistryLineTest, AnythingButSevenFieldsWithAKnownRootAndAKeyIsRejected) {
  EXPECT_TRUE(Rejects(u"HKLM, K, 0, N, D, Default"));
  EXPECT_TRUE(Rejects(u"HKLM, K, 0, N, D, Default, Default, X"));
  EXPECT_TRUE(Rejects(u"HKLM, K, 0, N, D, Default, Default,"));
  EXPECT_TRUE(Rejects(u"HKEY_LOCAL_MACHINE, K, 0, N, D, ,"));
  EXPECT_TRUE(Rejects(u"HKU, K, 0, N, D, ,"));
  EXPECT_TRUE(Rejects(u", K, 0, N, D, ,"));
  EXPECT_TRUE(Rejects(u"HKLM, , 0, N, D, ,"));
  EXPECT_TRUE(Rejects(u"HKLM, \"  \", 0, N, D, ,"));
  EXPECT_TRUE(Rejects(u""));
}

TEST(RegistryLineTest, TheTypeCountsModulo256AndTextThatIsNoNumberIsText) {
  EXPECT_TRUE(Parse(u"HKLM,K,257,N,D,,").is_number);
  EXPECT_FALSE(Parse(u"HKLM,K,256,N,D,,").is_number);
  EXPECT_FALSE(Parse(u"HKLM,K,,N,D,,").is_number);
  EXPECT_FALSE(Parse(u"HKLM,K,dword,N,D,,").is_number);
  EXPECT_TRUE(Parse(u"HKLM,K,1st,N,D,,").is_number);
  EXPECT_TRUE(Rejects(u"HKLM,K,2,N,D,,"));
  EXPECT_TRUE(Rejects(u"HKLM,K,4,N,D,,"));
  EXPECT_TRUE(Rejects(u"HKLM,K,-1,N,D,,"));
}

TEST(RegistryLineTest, QuotesKeepCommasAndVanishAndBlanksInsideThemAreTrimmed) {
  RegistryLine line = Parse(u"HKLM, \"A,B\", 0, \" N \", \"one, two, three\", \"\", \"\"");
  EXPECT_EQ(line.key, u"A,B");
  EXPECT_EQ(line.name, u"N");
  EXPECT_EQ(line.data, u"one, two, three");
  EXPECT_EQ(line.flags, kRegWriteAlways | kRegRemoveEmptyKeys);
  // Quoting switches anywhere in a field; there is no escaped quote.
  EXPECT_EQ(Parse(u"HKLM,K,0,N,a\"b,c\"d,,").data, u"ab,cd");
  EXPECT_EQ(Parse(u"HKLM,K,0,N,\"say \"\"hi\"\"\",,").data, u"say hi");
  // An unclosed quote runs to the end of the line and takes the remaining commas with it.
  EXPECT_TRUE(Rejects(u"HKLM,K,0,N,\"D,,"));
}

TEST(RegistryLineTest, RulesAreKeywordsInAnyCaseThatSetOneBitEach) {
  struct Case {
    std::u16string_view install, removal;
    uint16_t flags;
  };
  const Case cases[] = {
      {u"default", u"DEFAULT", 0x0101},     {u"NoOverwrite", u"noremove", 0x0202},
      {u"ONLYOVERWRITE", u"RemoveAlways", 0x0404}, {u"Delete", u"", 0x0108},
  };
  for (const Case& c : cases) {
    std::u16string text = u"HKLM,K,0,N,D,";
    text.append(c.install).append(u",").append(c.removal);
    EXPECT_EQ(Parse(text).flags, c.flags) << std::string(text.begin(), text.end());
  }
  EXPECT_TRUE(Rejects(u"HKLM,K,0,N,D,Overwrite,"));
  EXPECT_TRUE(Rejects(u"HKLM,K,0,N,D,,Remove"));
  EXPECT_TRUE(Rejects(u"HKLM,K,0,N,D,NoRemove,NoOverwrite"));
}

TEST(RegistryNumberTest, DataIsASignedDecimalUpToTheFirstOtherCharacter) {
  EXPECT_EQ(RegistryNumber(u"42"), 42u);
  EXPECT_EQ(RegistryNumber(u"0x10"), 0u);
  EXPECT_EQ(RegistryNumber(u"-1"), 0xFFFFFFFFu);
  EXPECT_EQ(RegistryNumber(u"+7 days"), 7u);
  EXPECT_EQ(RegistryNumber(u"4294967295"), 0xFFFFFFFFu);
  EXPECT_EQ(RegistryNumber(u""), 0u);
  EXPECT_EQ(RegistryNumber(u"ten"), 0u);
}

TEST(RegistryValueLineTest, EmptyLinesAndCommentsHoldNoValue) {
  EXPECT_FALSE(IsRegistryValueLine(u""));
  EXPECT_FALSE(IsRegistryValueLine(u" \t\r"));
  EXPECT_FALSE(IsRegistryValueLine(u"// HKLM, K, 0, N, D, ,"));
  EXPECT_FALSE(IsRegistryValueLine(u"  /comment"));
  EXPECT_TRUE(IsRegistryValueLine(u"HKLM, K, 0, N, D, ,"));
  EXPECT_TRUE(IsRegistryValueLine(u"garbage"));
}

}  // namespace
}  // namespace stowkit
