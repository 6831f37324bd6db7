// Whole runs of the installer program on a device: the exit code, the log, the product
// record and the work folder, as a user or a launcher sees them from outside.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "coredll/device.h"
#include "package/vocabulary.h"
#include "services/product_state.h"
#include "support/installer_device.h"
#include "support/no_terminal.h"
#include "support/tool_run.h"

namespace stowkit {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using testing::AppPackage;
using testing::InstallerDevice;
using testing::PackageLayout;

// The stage texts of an install, in the order the log shows them.
constexpr const char* kInstallStages[] = {
    "Initializing ...",
    "Performing pre-install actions ...",
    "Removing unselected features ...",
    "Unregistering application files ...",
    "Removing application files ...",
    "Removing registry values ...",
    "Removing shortcuts ...",
    "Removing application folders ...",
    "Creating application folders ...",
    "Extracting application files ...",
    "Merging registry values ...",
    "Registering application files ...",
    "Creating shortcuts ...",
    "Performing post-install actions ...",
    "Configuring uninstall ...",
};

constexpr const char* kRemovalStages[] = {
    "Initializing ...",
    "Performing pre-uninstall actions ...",
    "Removing unselected features ...",
    "Unregistering application files ...",
    "Removing application files ...",
    "Removing registry values ...",
    "Removing shortcuts ...",
    "Removing application folders ...",
    "Performing post-uninstall actions ...",
};

// Each text appears after the one before it.
template <size_t N>
void ExpectInOrder(const std::string& log, const char* const (&texts)[N]) {
  size_t at = 0;
  for (const char* text : texts) {
    size_t found = log.find(text, at);
    ASSERT_NE(found, std::string::npos) << "missing or out of order: " << text << "\n" << log;
    at = found + 1;
  }
}

PackageLayout FeaturePackage() {
  PackageLayout layout = AppPackage(u"Notes", 0x01020000);
  layout.properties.push_back({kAllFeatures, u"Core,Help,Extras"});
  layout.properties.push_back({kEnabledFeatures, u"Core,Extras"});
  layout.properties.push_back({kAllLanguages, u"en,de"});
  layout.properties.push_back({kEnabledLanguages, u"en"});
  layout.properties.push_back({kPlatformId, u"PocketPC"});
  return layout;
}

uint32_t StateNumber(const std::u16string& product, std::u16string_view name) {
  uint32_t value = 0xDEADBEEF;
  GetStateDword(product, name, value);
  return value;
}

std::u16string StateText(const std::u16string& product, std::u16string_view name) {
  std::u16string text;
  GetStateString(product, name, text);
  return text;
}

class RunTest : public ::testing::Test {
 protected:
  testing::NoTerminal no_terminal_;
  InstallerDevice device_;
};

// Through `stowkit-device run`, checked from outside: exit code, log and product record.
TEST(DeviceRunTest, InstallThenRemoveThroughTheDeviceTool) {
  InstallerDevice device;
  device.WritePackage(FeaturePackage());
  auto run = [&](const std::string& mode) {
    return testing::RunShell(
        testing::CommandLine(testing::BinPath("stowkit-device"),
                             {"--device", device.folder(), "run", "\\Windows\\stowkit.exe", mode,
                              "\\Temp\\app.pkg"}),
        device.folder());
  };

  testing::ToolResult install = run("/is");
  ASSERT_EQ(install.status, 0) << install.err;
  std::string log = device.Log("Stowkit_log_Notes.txt");
  EXPECT_EQ(log.rfind("-----------------------------------------\nDate        : ", 0), 0u) << log;
  EXPECT_THAT(log, HasSubstr("Command line: \"\\Windows\\stowkit.exe\" /is \\Temp\\app.pkg\n"));
  EXPECT_THAT(log, HasSubstr("Begin PKG_MODE_FULL_INSTALL for Notes Display\n"));
  ExpectInOrder(log, kInstallStages);
  EXPECT_THAT(log, HasSubstr("Enabled Features:\nCore,Extras\nDisabled Features:\nHelp\n"));
  EXPECT_THAT(log, HasSubstr("$(SUPPORTDIR):\t\\Temp\\PKG_"));
  EXPECT_THAT(log, HasSubstr("$(WINDIR):\t\\Windows\n"));
  EXPECT_THAT(log, HasSubstr("Flushing registry changes completed\nCompletion status = 0\n"));

  EXPECT_EQ(StateNumber(u"Notes", kStateStatus), 0u);
  EXPECT_EQ(StateNumber(u"Notes", kStateVersion), 0x01020000u);
  EXPECT_EQ(StateText(u"Notes", kStateFeatures), u"Core,Extras");
  EXPECT_EQ(StateText(u"Notes", kStateLanguages), u"en");
  EXPECT_EQ(StateText(u"Notes", kStatePlatformId), u"PocketPC");

  testing::ToolResult removal = run("/xs");
  ASSERT_EQ(removal.status, 0) << removal.err;
  std::string removal_log = device.Log("Unstowkit_log_Notes.txt");
  EXPECT_THAT(removal_log, HasSubstr("Begin PKG_MODE_FULL_REMOVE for Notes Display\n"));
  ExpectInOrder(removal_log, kRemovalStages);
  EXPECT_THAT(removal_log, HasSubstr("Completion status = 0\n"));
  uint32_t status = 0;
  EXPECT_EQ(GetStateDword(u"Notes", kStateStatus, status), 0) << "the record is deleted";
  EXPECT_TRUE(device.Names("Temp", "PKG_").empty());
}

TEST_F(RunTest, TheLogSpeaksThePackagesLanguage) {
  PackageLayout german = AppPackage(u"Deutsch");
  german.properties.push_back({kUserLanguage, u"de"});
  device_.WritePackage(german);
  ASSERT_EQ(device_.Run(u"/is \\Temp\\app.pkg"), 0u);
  std::string log = device_.Log("Stowkit_log_Deutsch.txt");
  EXPECT_THAT(log, HasSubstr("Initialisierung ...\n"));
  EXPECT_THAT(log, HasSubstr("Aktionen vor der Installation werden ausgeführt ...\n"));
  EXPECT_THAT(log, Not(HasSubstr("Initializing ...")));

  PackageLayout chinese = AppPackage(u"Chinese");
  chinese.properties.push_back({kUserLanguage, u"zh_tw"});
  device_.WritePackage(chinese);
  // A /l switch is overruled by the package's language.
  ASSERT_EQ(device_.Run(u"/is \\Temp\\app.pkg /l FR"), 0u);
  log = device_.Log("Stowkit_log_Chinese.txt");
  EXPECT_THAT(log, HasSubstr("正在初始化 ...\n"));
  EXPECT_THAT(log, HasSubstr("正在執行安裝前動作 ...\n"));
}

TEST_F(RunTest, AnOlderPackageAsksBeforeReplacingANewerVersion) {
  device_.WritePackage(AppPackage(u"App", 0x02000000));
  ASSERT_EQ(device_.Run(u"/is \\Temp\\app.pkg"), 0u);
  device_.WritePackage(AppPackage(u"App", 0x01000000));

  // A refusal ends the run before it chose its default log: only /v gives it one.
  std::filesystem::remove(device_.Host("Stowkit_log_App.txt"));
  ASSERT_TRUE(coredll::QueueAnswers({"no", "no"}, nullptr));
  EXPECT_EQ(device_.Run(u"/i \\Temp\\app.pkg"), 101u);
  EXPECT_FALSE(std::filesystem::exists(device_.Host("Stowkit_log_App.txt")));
  EXPECT_EQ(device_.Run(u"/i \\Temp\\app.pkg /v \\refused.txt"), 101u);
  std::string log = device_.Log("refused.txt");
  EXPECT_THAT(log, HasSubstr("Package version = 1.0.0.0, existing version = 2.0.0.0\n"));
  EXPECT_THAT(log, HasSubstr("Version '2.0.0.0' of 'App Display' is currently installed and is "
                             "newer than the version '1.0.0.0' contained in this package.\n"));
  EXPECT_THAT(log, HasSubstr("Completion status = 101\n"));
  EXPECT_EQ(StateNumber(u"App", kStateStatus), 101u);
  EXPECT_EQ(StateNumber(u"App", kStateVersion), 0x02000000u);

  // A silent run never asks: the queued answer stays for the next question.
  ASSERT_TRUE(coredll::QueueAnswers({"no"}, nullptr));
  EXPECT_EQ(device_.Run(u"/is \\Temp\\app.pkg"), 0u);
  // Equal versions: no question either, so the "no" is still queued and would refuse.
  EXPECT_EQ(device_.Run(u"/i \\Temp\\app.pkg"), 0u);
  // Now the downgrade question comes: the "no" queued above answers it.
  device_.WritePackage(AppPackage(u"App", 0x00090000));
  EXPECT_EQ(device_.Run(u"/i \\Temp\\app.pkg"), 101u);
}

TEST_F(RunTest, APackageThatCannotBeOpenedFailsByMode) {
  testing::WriteHostFile(device_.Host("Temp/broken.pkg"), "not a package at all");
  EXPECT_EQ(device_.Run(u"/is \\Temp\\broken.pkg"), 101u);
  EXPECT_EQ(device_.Run(u"/xs \\Temp\\broken.pkg"), 103u);
  EXPECT_EQ(device_.Run(u"/us \\Temp\\missing.pkg"), 104u);
  // Nothing was created for these runs.
  EXPECT_TRUE(device_.Names("Temp", "PKG_").empty());
}

TEST_F(RunTest, AnInvalidCommandLineLeavesNoLog) {
  device_.WritePackage(AppPackage(u"App"));
  EXPECT_EQ(device_.Run(u"\\Temp\\app.pkg /v \\bad.txt"), 0x80070057u);
  EXPECT_EQ(device_.Run(u"/q \\Temp\\app.pkg"), 0x80070057u);
  EXPECT_TRUE(device_.Names("", "").size() > 0);
  EXPECT_TRUE(device_.Names("", "bad").empty());
  EXPECT_TRUE(device_.Names("", "Stowkit_log").empty());
}

TEST_F(RunTest, APatchPackageInstallsInPatchMode) {
  PackageLayout patch = AppPackage(u"Patched");
  patch.flags = kPatch;
  device_.WritePackage(patch);
  EXPECT_EQ(device_.Run(u"/is \\Temp\\app.pkg /v \\patch.txt"), 0u);
  std::string log = device_.Log("patch.txt");
  EXPECT_THAT(log, HasSubstr("Begin PKG_MODE_PATCH_INSTALL for Patched Display\n"));
  EXPECT_EQ(StateNumber(u"Patched", kStateStatus), 0u);
}

TEST_F(RunTest, ANoRemovePackageIsNotRemoved) {
  PackageLayout kept = AppPackage(u"Kept");
  kept.flags = kPackageNoRemove;
  device_.WritePackage(kept);
  ASSERT_EQ(device_.Run(u"/is \\Temp\\app.pkg"), 0u);
  EXPECT_EQ(device_.Run(u"/xs \\Temp\\app.pkg"), 0u);
  EXPECT_EQ(StateNumber(u"Kept", kStateStatus), 0u) << "the record stays";
  EXPECT_THAT(device_.Log("Stowkit_log_Kept.txt"), Not(HasSubstr("Begin PKG_MODE_FULL_REMOVE")));
}

TEST_F(RunTest, TheWorkFolderIsGoneAfterEveryRun) {
  device_.WritePackage(AppPackage(u"App", 0x02000000));
  ASSERT_EQ(device_.Run(u"/is \\Temp\\app.pkg"), 0u);
  EXPECT_TRUE(device_.Names("Temp", "PKG_").empty());

  device_.WritePackage(AppPackage(u"App", 0x01000000));
  ASSERT_TRUE(coredll::QueueAnswers({"no"}, nullptr));
  ASSERT_EQ(device_.Run(u"/i \\Temp\\app.pkg"), 101u);
  EXPECT_TRUE(device_.Names("Temp", "PKG_").empty());
  // The refusal comes after Initialize made the folder.
  EXPECT_THAT(device_.Log("Stowkit_log_App.txt"), HasSubstr("Initializing ...\n"));
}

}  // namespace
}  // namespace stowkit
