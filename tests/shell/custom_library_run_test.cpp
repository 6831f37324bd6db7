// Whole runs with a package's own code: a custom library written against the public header
// records every hook call, and steers the run through the host services.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "package/vocabulary.h"
#include "services/product_state.h"
#include "support/installer_device.h"
#include "support/no_terminal.h"

namespace stowkit {
namespace {

using ::testing::HasSubstr;
using testing::EntryLayout;
using testing::InstallerDevice;
using testing::PackageLayout;

constexpr char16_t kRecord[] = u" /DHOOKLOG \\Temp\\hooks.txt";

EntryLayout FeatureFile(const std::u16string& dst, const std::u16string& feature) {
  EntryLayout entry = testing::FileEntry("content of " + Utf16ToUtf8(dst), true, dst);
  entry.properties.push_back({kFeatures, feature});
  return entry;
}

// Help and Extras, each with one file; `enabled` chooses, and, as the package's author
// would, marks the files of the enabled features "ShouldInstall".
PackageLayout HookPackage(const std::u16string& enabled,
                          const std::string& library = "libhook_recorder.so") {
  PackageLayout layout = testing::AppPackage(u"Hooked");
  layout.properties.push_back({kAllFeatures, u"Help,Extras"});
  layout.properties.push_back({kEnabledFeatures, enabled});
  layout.entries.push_back(testing::CustomLibraryEntry(library));
  layout.entries.push_back(FeatureFile(u"\\Apps\\help.txt", u"Help"));
  layout.entries.push_back(FeatureFile(u"$(APPDIR)\\extras.txt", u"Extras"));
  for (EntryLayout& entry : layout.entries) {
    if (entry.type != kAppFile) continue;
    bool selected = enabled.find(entry.properties.back().second) != std::u16string::npos;
    if (!selected) entry.entry_flags &= uint8_t(~kShouldInstall);
  }
  return layout;
}

class CustomLibraryRunTest : public ::testing::Test {
 protected:
  DWORD Run(const std::u16string& arguments) { return device_.Run(arguments + kRecord); }
  std::string Hooks() const { return device_.Log("Temp/hooks.txt"); }
  bool Exists(const std::string& relative) const {
    return std::filesystem::exists(device_.Host(relative));
  }

  testing::NoTerminal no_terminal_;
  InstallerDevice device_;
};

TEST_F(CustomLibraryRunTest, HooksArriveInTheOrderOfTheStages) {
  device_.WritePackage(HookPackage(u"Help"));
  ASSERT_EQ(Run(u"/is \\Temp\\app.pkg /DAPPDIR \\Apps"), 0u);
  EXPECT_EQ(Hooks(),
            "PkgCustomPreInstall 1\n"
            "ExtrasCustomPreRemove 1\n"
            "ExtrasCustomPostRemove 1\n"
            "HelpCustomPreInstall 1\n"
            "HelpCustomPostInstall 1\n"
            "PkgCustomPostInstall 1\n");
  EXPECT_TRUE(Exists("Apps/help.txt"));
  EXPECT_FALSE(Exists("Apps/extras.txt"));

  std::filesystem::remove(device_.Host("Temp/hooks.txt"));
  ASSERT_EQ(Run(u"/xs \\Temp\\app.pkg /DAPPDIR \\Apps"), 0u);
  EXPECT_EQ(Hooks(),
            "PkgCustomPreRemove 3\n"
            "HelpCustomPreRemove 3\n"
            "HelpCustomPostRemove 3\n"
            "PkgCustomPostRemove 3\n");
  EXPECT_FALSE(Exists("Apps/help.txt"));
}

TEST_F(CustomLibraryRunTest, AFeatureDisabledByTheLibraryIsNotInstalled) {
  device_.WritePackage(HookPackage(u"Help,Extras"));
  ASSERT_EQ(Run(u"/is \\Temp\\app.pkg /DAPPDIR \\Apps /DHOOKDISABLE Extras"), 0u);
  EXPECT_FALSE(Exists("Apps/extras.txt")) << "ShouldInstall was cleared before extraction";
  EXPECT_TRUE(Exists("Apps/help.txt"));
  EXPECT_THAT(Hooks(), HasSubstr("PkgCustomPreInstall 1\nExtrasCustomPreRemove 1\n"));
  EXPECT_THAT(device_.Log("Stowkit_log_Hooked.txt"),
              HasSubstr("Enabled Features:\nHelp\nDisabled Features:\nExtras\n"));
  std::u16string features;
  GetStateString(u"Hooked", kStateFeatures, features);
  EXPECT_EQ(features, u"Help");
}

TEST_F(CustomLibraryRunTest, AMacroSetByTheLibraryPlacesALaterFile) {
  device_.WritePackage(HookPackage(u"Extras"));
  ASSERT_EQ(Run(u"/is \\Temp\\app.pkg /DHOOKSETMACRO APPDIR=\\Chosen"), 0u);
  EXPECT_TRUE(Exists("Chosen/extras.txt"));
  EXPECT_THAT(device_.Log("Stowkit_log_Hooked.txt"), HasSubstr("$(APPDIR):\t\\Chosen\n"));
}

TEST_F(CustomLibraryRunTest, ARestartRequestTurnsSuccessInto1000) {
  device_.WritePackage(HookPackage(u"Help"));
  EXPECT_EQ(Run(u"/is \\Temp\\app.pkg /DHOOKRESTART 1"), 1000u)
      << device_.Log("Stowkit_log_Hooked.txt");
  // A failed run keeps its failure status.
  EXPECT_EQ(Run(u"/is \\Temp\\app.pkg /DHOOKRESTART 1 /DHOOKFAIL PkgCustomPostInstall"), 101u);
}

TEST_F(CustomLibraryRunTest, AFailingPreInstallHookStopsTheRunAfterLoggingTheSelection) {
  device_.WritePackage(HookPackage(u"Help"));
  EXPECT_EQ(Run(u"/is \\Temp\\app.pkg /DHOOKFAIL PkgCustomPreInstall"), 101u);
  std::string log = device_.Log("Stowkit_log_Hooked.txt");
  EXPECT_THAT(log, HasSubstr("Enabled Features:\nHelp\nDisabled Features:\nExtras\n"));
  EXPECT_THAT(log, HasSubstr("$(HOOKFAIL):\tPkgCustomPreInstall\n"));
  EXPECT_THAT(log, HasSubstr("Completion status = 101\n"));
  EXPECT_FALSE(Exists("Apps/help.txt"));
  EXPECT_EQ(Hooks(), "PkgCustomPreInstall 1\n");
  uint32_t status = 0;
  GetStateDword(u"Hooked", kStateStatus, status);
  EXPECT_EQ(status, 101u);
  EXPECT_TRUE(device_.Names("Temp", "PKG_").empty());
}

TEST_F(CustomLibraryRunTest, ALibraryWithOnlyThePostInstallHookInstallsNormally) {
  device_.WritePackage(HookPackage(u"Help", "libpost_install_only.so"));
  EXPECT_EQ(Run(u"/is \\Temp\\app.pkg"), 0u) << device_.Log("Stowkit_log_Hooked.txt");
  EXPECT_TRUE(Exists("Apps/help.txt"));
  EXPECT_EQ(Run(u"/xs \\Temp\\app.pkg"), 0u);
  EXPECT_FALSE(Exists("Apps/help.txt"));
}

TEST_F(CustomLibraryRunTest, ALibraryThatCannotBeLoadedFailsTheRunBeforeAnyFile) {
  PackageLayout layout = HookPackage(u"Help");
  layout.entries[0].blob = "not a library";
  layout.entries[0].final_size = uint32_t(layout.entries[0].blob.size());
  layout.entries[0].crc = testing::Crc(layout.entries[0].blob);
  device_.WritePackage(layout);
  EXPECT_EQ(Run(u"/is \\Temp\\app.pkg"), 101u);
  EXPECT_FALSE(Exists("Apps/help.txt"));
  // The run ends before it chose its default log, so it writes none; /v gives it one.
  EXPECT_FALSE(Exists("Stowkit_log_Hooked.txt"));
  EXPECT_EQ(Run(u"/is \\Temp\\app.pkg /v \\hooked.txt"), 101u);
  EXPECT_THAT(device_.Log("hooked.txt"), HasSubstr("Error loading '\\Temp\\PKG_"));
  EXPECT_TRUE(device_.Names("Temp", "PKG_").empty());
}

TEST_F(CustomLibraryRunTest, SupportFilesNeedANameAndWholeContent) {
  PackageLayout layout = testing::AppPackage(u"Support");
  EntryLayout support = testing::FileEntry("help text", false, u"readme.txt");
  support.type = kSupportFile;
  layout.entries = {testing::FileEntry("a", true, u"\\Apps\\a.txt"), support, support,
                    support};
  layout.entries[3].properties = {{kDst, u""}};
  device_.WritePackage(layout);
  // These runs end before they chose a default log: /v gives them one.
  EXPECT_EQ(Run(u"/is \\Temp\\app.pkg /v \\support.txt"), 101u);
  EXPECT_THAT(device_.Log("support.txt"),
              HasSubstr("\nSupport file entry 3 missing file name\n"));
  EXPECT_FALSE(Exists("Apps/a.txt"));

  layout.entries[3].properties = {{kDst, u"other.txt"}};
  layout.entries[3].crc ^= 1;
  device_.WritePackage(layout);
  EXPECT_EQ(Run(u"/is \\Temp\\app.pkg /v \\support.txt"), 101u);
  std::string log = device_.Log("support.txt");
  EXPECT_THAT(log, HasSubstr("Error extracting to \\Temp\\PKG_"));
  EXPECT_THAT(log, HasSubstr("\\other.txt, hr = 0x80070017\n"));
  EXPECT_TRUE(device_.Names("Temp", "PKG_").empty());
}

}  // namespace
}  // namespace stowkit
