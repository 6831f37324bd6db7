// The product key from the install folder's name, the files named after it, and the
// installer's arguments.
#include "setupext/installer_files.h"

#include <gtest/gtest.h>

#include "setupext/installer_start.h"
#include "text/utf.h"

namespace stowkit {
namespace {

TEST(ProductKeyTest, TheTextBeforeTheFirstDollarOfTheLastComponent) {
  EXPECT_EQ(ProductKeyOf(u"\\Program Files\\Notes$Notes for CE"), u"Notes");
  EXPECT_EQ(ProductKeyOf(u"\\Program Files\\A$B$C"), u"A");
  EXPECT_EQ(ProductKeyOf(u"Notes$N"), u"Notes");
}

TEST(ProductKeyTest, AMalformedNameFallsBackToFennaway) {
  for (const char16_t* folder : {u"\\Program Files\\Plain", u"\\Program Files\\$Display",
                                 u"\\Program Files\\Key$", u"\\Apps$1\\Plain", u"", u"\\"}) {
    EXPECT_EQ(ProductKeyOf(folder), u"Fennaway") << Utf16ToUtf8(folder);
  }
}

TEST(InstallerFilesTest, TheProgramAndPackageAreNamedAfterTheKey) {
  InstallerFiles files = InstallerFilesIn(u"\\Program Files\\Notes$N");
  EXPECT_EQ(files.key, u"Notes");
  EXPECT_EQ(files.program, u"\\Program Files\\Notes$N\\Notes.exe");
  EXPECT_EQ(files.package, u"\\Program Files\\Notes$N\\Notes.pkg");
  EXPECT_EQ(InstallerFilesIn(u"\\Plain\\").program, u"\\Plain\\Fennaway.exe");
}

TEST(InstallerFilesTest, ThePackageBesideTheCabNeedsAFolderInTheCabPath) {
  EXPECT_EQ(PackageBesideCab(u"\\Temp\\my app.cab", u"Notes"), u"\\Temp\\Notes.pkg");
  EXPECT_EQ(PackageBesideCab(u"\\app.cab", u"Notes"), u"\\Notes.pkg");
  EXPECT_EQ(PackageBesideCab(u"app.cab", u"Notes"), u"");
  EXPECT_EQ(PackageBesideCab(u"", u"Notes"), u"");
}

TEST(InstallerArgumentsTest, SwitchQuotedPackageAndOwnerInHex) {
  HWND owner = reinterpret_cast<HWND>(uintptr_t(0x1a2b));
  EXPECT_EQ(InstallerArguments(u"/i", false, u"\\P F\\a.pkg", owner),
            u"/i \"\\P F\\a.pkg\" /h 0x1a2b");
  EXPECT_EQ(InstallerArguments(u"/u", true, u"x", nullptr), u"/us \"x\" /h 0x0");
}

}  // namespace
}  // namespace stowkit
