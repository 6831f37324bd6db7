// The _setup.xml that `cab build` writes and the CAB installer stand-in reads.
#include "setup_document.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace stowkit::cab {
namespace {

using ::testing::HasSubstr;

bool Parse(const std::string& xml, SetupDocument& document, std::string& reason) {
  return ParseSetupDocument(xml, document, reason);
}

TEST(SetupDocumentTest, WhatIsWrittenReadsBackWithFilesGroupedByFolder) {
  SetupDocument written;
  written.app_name = u"Notes & Co";
  written.install_dir = u"%CE1%\\Notes$Notes";
  written.files = {{u"%InstallDir%", u"Notes.exe", u"Notes.exe"},
                   {u"%CE2%", u"notes.dll", u"NOTES~1.001"},
                   {u"%InstallDir%", u"Notes.pkg", u"Notes.pkg"}};
  std::string xml = WriteSetupDocument(written);
  EXPECT_THAT(xml, HasSubstr("<characteristic type=\"MakeDir\" />"));

  SetupDocument read;
  std::string reason;
  ASSERT_TRUE(Parse(xml, read, reason)) << reason;
  EXPECT_EQ(read.app_name, written.app_name);
  EXPECT_EQ(read.install_dir, written.install_dir);
  ASSERT_EQ(read.files.size(), 3u);
  EXPECT_EQ(read.files[1].name, u"Notes.pkg") << "the second file of the first folder";
  EXPECT_EQ(read.files[2].folder, u"%CE2%");
  EXPECT_EQ(read.files[2].source, u"NOTES~1.001");
}

TEST(SetupDocumentTest, AFileWithoutExtractIsItsOwnMember) {
  SetupDocument read;
  std::string reason;
  ASSERT_TRUE(Parse(R"(<wap-provisioningdoc>
      <characteristic type="Install"><parm name="AppName" value="A"/>
        <parm name="InstallDir" value="\Apps\A"/><parm name="NumFiles" value="1"/></characteristic>
      <characteristic type="Registry"/>
      <characteristic type="FileOperation"><characteristic type="\Apps\A">
        <characteristic type="a.txt" translation="install"/></characteristic></characteristic>
    </wap-provisioningdoc>)",
                    read, reason))
      << reason;
  ASSERT_EQ(read.files.size(), 1u);
  EXPECT_EQ(read.files[0].folder, u"\\Apps\\A");
  EXPECT_EQ(read.files[0].source, u"a.txt");
}

TEST(SetupDocumentTest, RefusalsSayWhy) {
  SetupDocument read;
  std::string reason;
  EXPECT_FALSE(Parse("<wap-provisioningdoc><characteristic", read, reason));
  EXPECT_THAT(reason, HasSubstr("not XML"));
  EXPECT_FALSE(Parse(R"(<wap-provisioningdoc><characteristic type="Install">
      <parm name="AppName" value="A"/></characteristic></wap-provisioningdoc>)",
                     read, reason));
  EXPECT_EQ(reason, "no Install characteristic with AppName and InstallDir");
  EXPECT_FALSE(Parse(R"(<wap-provisioningdoc><characteristic type="Install">
      <parm name="AppName" value="A"/><parm name="InstallDir" value="\A"/></characteristic>
      <characteristic type="FileOperation"><characteristic type="\A">
        <characteristic/></characteristic></characteristic></wap-provisioningdoc>)",
                     read, reason));
  EXPECT_EQ(reason, "a file without a name");
}

TEST(SetupDocumentTest, FolderMacrosExpandWithoutRegardToCase) {
  EXPECT_EQ(ExpandFolder(u"%installdir%\\Help", u"%CE1%\\Notes$N"),
            u"\\Program Files\\Notes$N\\Help");
  EXPECT_EQ(ExpandFolder(u"%ce2%", u""), u"\\Windows");
  EXPECT_EQ(ExpandFolder(u"%CE9%\\x", u""), u"%CE9%\\x");
}

}  // namespace
}  // namespace stowkit::cab
