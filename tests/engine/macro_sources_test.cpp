// Building the engine's macro table: the device folders and their fallbacks, the package's
// properties and definitions, the command line, and which source wins.
#include "engine/macro_sources.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "package/vocabulary.h"
#include "services/registry_services.h"
#include "support/device_profile.h"
#include "support/temp_device.h"

namespace stowkit {
namespace {

using testing::SetProfileLine;
using testing::TempDevice;
using Properties = std::vector<std::pair<uint8_t, std::u16string>>;

std::u16string Value(const MacroTable& table, std::u16string_view name) {
  std::u16string value;
  EXPECT_TRUE(table.GetMacro(name, value)) << "no definition";
  return value;
}

void AddEntry(Package& package, uint8_t type, const Properties& properties) {
  auto entry = std::make_unique<CatalogEntry>();
  entry->SetEntryType(type);
  for (const auto& [id, text] : properties) entry->SetProperty(id, text);
  package.InsertEntry(std::move(entry), -1);
}

class MacroSourcesTest : public ::testing::Test {
 protected:
  MacroTable Build() {
    MacroTable table;
    BuildMacroTable(table, u"\\Temp\\PKG_1", package_, command_line_);
    return table;
  }
  // Takes a folder out of the device's profile, so the platform knows no path for it.
  void ForgetFolder(const std::string& key) {
    ASSERT_TRUE(SetProfileLine(device_, key + " = ", "gone_" + key + " = "));
  }

  TempDevice device_;
  Package package_;
  MacroTable command_line_;
};

TEST_F(MacroSourcesTest, TheDeviceFoldersComeFromThePlatform) {
  MacroTable table = Build();
  EXPECT_EQ(Value(table, u"SUPPORTDIR"), u"\\Temp\\PKG_1");
  EXPECT_EQ(Value(table, u"PROGRAMFILES"), u"\\Program Files");
  EXPECT_EQ(Value(table, u"WINDIR"), u"\\Windows");
  EXPECT_EQ(Value(table, u"STARTUP"), u"\\Windows\\StartUp");
  EXPECT_EQ(Value(table, u"MYDOCUMENTS"), u"\\My Documents");
  EXPECT_EQ(Value(table, u"PROGRAMS"), u"\\Windows\\Start Menu\\Programs");
  EXPECT_EQ(Value(table, u"FAVORITES"), u"\\Windows\\Favorites");
  EXPECT_EQ(Value(table, u"STARTMENU"), u"\\Windows\\Start Menu");
  EXPECT_EQ(Value(table, u"APPDATA"), u"\\Application Data");
  EXPECT_EQ(table.Count(), 9);  // no LANG or USERNAME without the properties
}

TEST_F(MacroSourcesTest, ProgramFilesFallsBackOnTheRegistryThenOnItsUsualFolder) {
  ForgetFolder("program_files");
  EXPECT_EQ(Value(Build(), u"PROGRAMFILES"), u"\\Program Files");
  ASSERT_TRUE(SetRegString(HKEY_LOCAL_MACHINE, u"ROvuz\\Attachments", u"TopDir", u"Apps"));
  EXPECT_EQ(Value(Build(), u"PROGRAMFILES"), u"\\Apps");
  ASSERT_TRUE(SetRegString(HKEY_LOCAL_MACHINE, u"ROvuz\\Attachments", u"TopDir", u"\\Rooted"));
  EXPECT_EQ(Value(Build(), u"PROGRAMFILES"), u"\\Rooted");
}

TEST_F(MacroSourcesTest, WindowsFallsBackOnTheCoreLibraryFolderThenOnItsUsualName) {
  ForgetFolder("windows");
  EXPECT_EQ(Value(Build(), u"WINDIR"), u"\\Windows");
  ASSERT_TRUE(coredll::SetFaults("load@coredll.dll=126", nullptr));
  EXPECT_EQ(Value(Build(), u"WINDIR"), u"\\windows");
}

TEST_F(MacroSourcesTest, AFolderThePlatformDoesNotKnowIsDefinedEmpty) {
  ForgetFolder("startup");
  MacroTable table = Build();
  EXPECT_EQ(Value(table, u"STARTUP"), u"");
  std::u16string text = u"$(STARTUP)\\x.lnk", error;
  EXPECT_EQ(ExpandMacros(table, text, error), S_OK);
  EXPECT_EQ(text, u"\\x.lnk");
}

TEST_F(MacroSourcesTest, LanguageAndUserNameComeFromThePackageUnlessAlreadyDefined) {
  package_.SetProperty(kUserLanguage, u"fr");
  package_.SetProperty(kUserName, u"Ann");
  EXPECT_EQ(Value(Build(), u"LANG"), u"fr");
  EXPECT_EQ(Value(Build(), u"USERNAME"), u"Ann");

  MacroTable table;
  table.SetMacro(u"lang", u"de");
  BuildMacroTable(table, u"", package_, command_line_);
  EXPECT_EQ(Value(table, u"LANG"), u"de");
  EXPECT_EQ(Value(table, u"USERNAME"), u"Ann");
}

TEST_F(MacroSourcesTest, MacroDefsEntriesDefineFromId0x30UpInCatalogOrder) {
  AddEntry(package_, kMacroDefs,
           {{0x2F, u"IGNORED=1"}, {0x30, u"  App = \\Program Files\\App  "}, {0x31, u"Flag"}});
  AddEntry(package_, kAppFile, {{0x30, u"NOTAMACRO=1"}});
  AddEntry(package_, kMacroDefs, {{0x40, u"app=$(PROGRAMFILES)\\Later"}});
  MacroTable table = Build();
  std::u16string value;
  EXPECT_FALSE(table.GetMacro(u"IGNORED", value));
  EXPECT_FALSE(table.GetMacro(u"NOTAMACRO", value));
  EXPECT_EQ(Value(table, u"FLAG"), u"");
  EXPECT_EQ(Value(table, u"APP"), u"$(PROGRAMFILES)\\Later");
}

TEST_F(MacroSourcesTest, ThePackageOverridesTheDeviceAndTheCommandLineOverridesBoth) {
  AddEntry(package_, kMacroDefs, {{0x30, u"WINDIR=\\PkgWin"}, {0x31, u"SUPPORTDIR=\\PkgTmp"}});
  EXPECT_EQ(Value(Build(), u"WINDIR"), u"\\PkgWin");
  EXPECT_EQ(Value(Build(), u"SUPPORTDIR"), u"\\PkgTmp");
  command_line_.SetMacro(u"windir", u"\\CmdWin");
  command_line_.SetMacro(u"extra", u"e");
  MacroTable table = Build();
  EXPECT_EQ(Value(table, u"WINDIR"), u"\\CmdWin");
  EXPECT_EQ(Value(table, u"EXTRA"), u"e");
}

}  // namespace
}  // namespace stowkit
