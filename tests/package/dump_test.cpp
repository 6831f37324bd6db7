#include "package/dump.h"

#include <gtest/gtest.h>

#include "package_bytes.h"
#include "package_fixture.h"
#include "text/format.h"

namespace stowkit {
namespace {

using namespace stowkit::testing;

class DumpTest : public PackageTest {};

TEST_F(DumpTest, WholePackageExactly) {
  PackageLayout layout;
  layout.flags = 0x11;
  layout.platform = 2;
  layout.version = 0x01020304;
  layout.properties = {{3, u"Notes"}, {27, u"extra"}};
  EntryLayout file = FileEntry("abc", false, u"\\a.txt");
  file.type_flags = 0x11;
  EntryLayout statik;
  statik.type = 240;
  statik.entry_flags = 0x10;
  layout.entries = {statik, file};
  std::unique_ptr<Package> package;
  ASSERT_EQ(Open(BuildPackage(layout), package), S_OK);
  uint32_t handle = uint32_t(reinterpret_cast<uintptr_t>(package->FileHandle()));
  std::u16string text;
  DumpPackage(*package, text);
  std::u16string expected =
      u"--------------------------------\r\n"
      u"Package Dump: (\\Temp\\p.pkg - 'Notes')\r\n"
      u"--------------------------------\r\n"
      u"        Flags: 0x11 - ( NoRemove Patch)\r\n"
      u"     Platform: 0x02\r\n"
      u"      Version: 01.02.03.04\r\n"
      u"   BlobOffset: 0\r\n"
      u"      BlobLen: 3\r\n"
      u"   CatalogLen: 59\r\n"
      u"DescriptorLen: 26\r\n"
      u"   NumEntries: 2\r\n"
      u"          Properties: 2\r\n"
      u"             AppName: Notes\r\n"
      u"                  27: extra\r\n"
      u"--------------------------------\r\n"
      u"     Entry 1: StaticFile\r\n"
      u"--------------------------------\r\n"
      u" Entry Flags: 0x10 - ()\r\n"
      u"  Type Flags: 0x00 - ()\r\n"
      u"  BlobOffset: 0\r\n"
      u"  BlobLength: 0\r\n"
      u"   FinalSize: 0\r\n"
      u"    FinalCRC: 0\r\n"
      u"DescriptorLn: 0\r\n"
      u"BlobFileName: ''\r\n"
      u"BlobFileHndl: 0xffffffff\r\n"
      u"          Properties: 0\r\n"
      u"--------------------------------\r\n"
      u"     Entry 2: AppFile\r\n"
      u"--------------------------------\r\n"
      u" Entry Flags: 0x04 - ( ShouldInstall)\r\n"
      u"  Type Flags: 0x11 - ( SelfRegister ReadOnly)\r\n"
      u"  BlobOffset: 0\r\n"
      u"  BlobLength: 3\r\n"
      u"   FinalSize: 3\r\n"
      u"    FinalCRC: 891568578\r\n"
      u"DescriptorLn: 15\r\n"
      u"BlobFileName: '\\Temp\\p.pkg'\r\n"
      u"BlobFileHndl: 0x" + Format(u"%x", handle) + u"\r\n"
      u"          Properties: 1\r\n"
      u"                 Dst: \\a.txt\r\n";
  EXPECT_EQ(text, expected);
}

TEST_F(DumpTest, EmptyPackageEndsWithOnePropertyLine) {
  std::unique_ptr<Package> package;
  ASSERT_EQ(Open(BuildPackage({}), package), S_OK);
  std::u16string text;
  DumpPackage(*package, text);
  EXPECT_NE(text.find(u"'')\r\n"), std::u16string::npos);  // no AppName
  EXPECT_TRUE(text.ends_with(u"   NumEntries: 0\r\n          Properties: 0\r\n"));
}

}  // namespace
}  // namespace stowkit
