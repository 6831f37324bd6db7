// CABs as a user runs them: `stowkit-device cab build`, then the device's CAB installer
// (wceload) with the setup extension and the installer, `cab remove` through unload.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "package/package_bytes.h"
#include "package/vocabulary.h"
#include "services/product_state.h"
#include "services/registry_services.h"
#include "support/child_process.h"
#include "support/installer_device.h"
#include "support/no_terminal.h"
#include "support/tool_run.h"

namespace stowkit {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::MatchesRegex;
using testing::ToolResult;

constexpr char kInstallFolder[] = "Program Files/Notes$Notes";

class CabToolTest : public ::testing::Test {
 protected:
  CabToolTest() : input_(device_.folder() + "/input") {
    fs::create_directories(input_);
    EXPECT_EQ(Tool({"init"}).status, 0);  // places wceload.exe and unload.exe
  }

  ToolResult Tool(std::vector<std::string> args) const {
    args.insert(args.begin(), {"--device", device_.folder()});
    return testing::RunShell(testing::CommandLine(testing::BinPath("stowkit-device"), args),
                             device_.folder());
  }
  // Runs \Windows\wceload.exe with `args`; its exit code.
  int Wceload(std::vector<std::string> args) const {
    args.insert(args.begin(), {"run", "\\Windows\\wceload.exe"});
    return Tool(args).status;
  }

  void WriteInput(const std::string& name, const testing::PackageLayout& layout) const {
    testing::WriteHostFile(input_ + "/" + name, testing::BuildPackage(layout));
  }
  // Notes.pkg puts one file at \Apps\notes.txt.
  void WriteNotesPackage() const {
    testing::PackageLayout layout = testing::AppPackage(u"Notes");
    layout.entries.push_back(testing::FileEntry("notes", true, u"\\Apps\\notes.txt"));
    WriteInput("Notes.pkg", layout);
  }
  // Notes.pkg as above, with the recording custom library and the macro `definition` that
  // steers it (e.g. u"HOOKFAIL=PkgCustomPreInstall").
  void WriteSteeredNotesPackage(const std::u16string& definition) const {
    testing::PackageLayout layout = testing::AppPackage(u"Notes");
    testing::EntryLayout macros;
    macros.type = kMacroDefs;
    macros.properties = {{kFirstMacroId, definition}};
    testing::EntryLayout library = testing::CustomLibraryEntry("libhook_recorder.so");
    library.properties = {{kDst, u"recorder.dll"}};
    layout.entries = {macros, library, testing::FileEntry("notes", true, u"\\Apps\\notes.txt")};
    WriteInput("Notes.pkg", layout);
  }
  // The installer in the CAB is the recording program; the package stays a plain file.
  void UseRecordingInstaller() const {
    fs::copy_file(testing::BinPath("recording-installer"), input_ + "/Notes.exe");
    testing::WriteHostFile(input_ + "/Notes.pkg", "package");
  }
  std::string BuildCab(std::vector<std::string> extra = {}) const {
    std::string cab = device_.folder() + "/notes.cab";
    std::vector<std::string> args = {"cab", "build", input_, "-o", cab};
    args.insert(args.end(), extra.begin(), extra.end());
    ToolResult built = Tool(args);
    EXPECT_EQ(built.status, 0) << built.err;
    return cab;
  }
  bool Exists(const std::string& relative) const { return fs::exists(device_.Host(relative)); }
  std::string Calls() const {
    return testing::ReadHostFile(device_.Host("Temp/installer-calls.txt"));
  }
  bool Registered() const {
    std::vector<std::u16string> subkeys;
    return ListRegSubkeys(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Apps\\Notes", subkeys) != 0;
  }

  testing::NoTerminal no_terminal_;
  testing::InstallerDevice device_;
  std::string input_;
};

TEST_F(CabToolTest, ACabInstallsTheApplicationAndCabRemoveTakesItOffAgain) {
  WriteNotesPackage();
  ToolResult installed = Tool({"cab", "install", "--silent", BuildCab()});
  ASSERT_EQ(installed.status, 0) << installed.err;
  EXPECT_TRUE(Exists("Apps/notes.txt"));
  EXPECT_FALSE(Exists(kInstallFolder)) << "the unpacked installer and package are gone";
  EXPECT_FALSE(Exists("Temp/notes.cab"));
  EXPECT_TRUE(Registered());
  EXPECT_TRUE(Exists("Windows/AppMgr/Notes.dll")) << "the setup library is kept for the removal";
  std::u16string uninstaller;
  EXPECT_TRUE(GetStateString(u"Notes", kStateUninstallExe, uninstaller));

  ToolResult removed = Tool({"cab", "remove", "Notes"});
  ASSERT_EQ(removed.status, 0) << removed.err;
  EXPECT_FALSE(Exists("Apps/notes.txt"));
  EXPECT_THAT(device_.Log("Unstowkit_log_Notes.txt"),
              HasSubstr("Command line: \"\\Windows\\AppMgr\\Notes Remove.exe\" /x "
                        "\"\\Windows\\AppMgr\\Notes Remove.pkg\" /h 0x"));
  std::vector<std::u16string> products;
  ListRegSubkeys(HKEY_LOCAL_MACHINE, kStateKey, products);
  EXPECT_TRUE(products.empty()) << "no product record is left";
  EXPECT_FALSE(Registered());
  EXPECT_FALSE(Exists("Windows/AppMgr/Notes.dll"));

  ToolResult again = Tool({"cab", "remove", "Notes"});
  EXPECT_EQ(again.status, 6);
  EXPECT_THAT(again.err, HasSubstr("unload: no application 'Notes' is installed"));
}

TEST_F(CabToolTest, AReinstallRemovesTheOldCopyAsAnUpgradeFirst) {
  WriteNotesPackage();
  std::string cab = BuildCab();
  ASSERT_EQ(Tool({"cab", "install", "--silent", cab}).status, 0);
  ToolResult again = Tool({"cab", "install", "--silent", cab});
  ASSERT_EQ(again.status, 0) << again.err;
  // Install_Init set the marker, so the old copy's Uninstall_Init ran the uninstaller with /u.
  EXPECT_THAT(device_.Log("Unstowkit_log_Notes.txt"),
              HasSubstr("Command line: \"\\Windows\\AppMgr\\Notes Remove.exe\" /us "));
  std::u16string marker;
  EXPECT_TRUE(GetStateString(u"Notes", kStateUpgradeMode, marker));
  EXPECT_EQ(marker, u"0");
  EXPECT_TRUE(Exists("Apps/notes.txt"));
  EXPECT_TRUE(Registered());
  EXPECT_FALSE(Exists(kInstallFolder));
}

// The copy a package installed is no CAB's: a CAB install that fails, whether its installer
// cannot start or ends in failure, is rolled back without the uninstaller that copy left.
TEST_F(CabToolTest, AFailedCabInstallKeepsTheCopyThatAPackageInstalled) {
  WriteNotesPackage();
  ASSERT_EQ(Tool({"install", "--silent", input_ + "/Notes.pkg"}).status, 0);

  testing::WriteHostFile(input_ + "/Notes.exe", "not a program");
  ToolResult unstartable = Tool({"cab", "install", "--silent", BuildCab()});
  EXPECT_EQ(unstartable.status, 2) << unstartable.err;
  EXPECT_THAT(unstartable.err, HasSubstr("Installation cannot continue."));
  EXPECT_TRUE(Exists("Apps/notes.txt"));
  EXPECT_TRUE(Exists("Windows/AppMgr/Notes Remove.exe"));
  EXPECT_FALSE(Registered());
  EXPECT_FALSE(Exists(kInstallFolder));

  fs::remove(input_ + "/Notes.exe");
  WriteSteeredNotesPackage(u"HOOKFAIL=PkgCustomPreInstall");
  ToolResult failed = Tool({"cab", "install", BuildCab()});
  EXPECT_EQ(failed.status, 2) << failed.err;
  EXPECT_THAT(failed.err, HasSubstr("'\\Temp\\notes.cab' was not installed: the setup library "
                                    "reported the installation as failed."));
  EXPECT_FALSE(Registered());
  EXPECT_FALSE(Exists("Windows/AppMgr/Notes.dll"));
  EXPECT_TRUE(Exists("Apps/notes.txt"));
  EXPECT_FALSE(Exists(kInstallFolder));

  ToolResult removed = Tool({"remove", "--silent", "Notes"});
  EXPECT_EQ(removed.status, 0) << removed.err;
  EXPECT_FALSE(Exists("Apps/notes.txt"));
}

// A CAB install whose uninstaller cannot be written fails as a CAB install too, and the
// product it left can still be removed with its package.
TEST_F(CabToolTest, AnInstallWithoutItsUninstallerFailsAndTheProductCanStillGo) {
  WriteNotesPackage();
  std::string cab = BuildCab();
  setenv("STOWKIT_FAULTS", "write@*Remove.pkg=112", 1);
  ToolResult failed = Tool({"cab", "install", "--silent", cab});
  unsetenv("STOWKIT_FAULTS");
  EXPECT_EQ(failed.status, 2) << failed.err;
  EXPECT_FALSE(Registered());
  EXPECT_FALSE(Exists("Windows/AppMgr/Notes Remove.exe"));
  EXPECT_FALSE(Exists("Windows/AppMgr/Notes Remove.pkg"));
  uint32_t status = 0;
  EXPECT_TRUE(GetStateDword(u"Notes", kStateStatus, status));
  EXPECT_EQ(status, 101u);
  EXPECT_TRUE(Exists("Apps/notes.txt"));

  ToolResult removed = Tool({"remove", "Notes", "--silent", "--package", input_ + "/Notes.pkg"});
  EXPECT_EQ(removed.status, 0) << removed.err;
  EXPECT_FALSE(Exists("Apps/notes.txt"));
}

// A re-install that stops before its files are copied, because the old copy cannot be
// removed at that moment, leaves no upgrade under way: the old copy's later removal is a
// whole one.
TEST_F(CabToolTest, AReinstallThatCannotRemoveTheOldCopyLeavesNoUpgradeBehind) {
  WriteNotesPackage();
  std::string cab = BuildCab();
  ASSERT_EQ(Tool({"cab", "install", "--silent", cab}).status, 0);
  setenv("STOWKIT_FAULTS", "load@\\Windows\\AppMgr\\Notes.dll=126", 1);
  ToolResult kept = Tool({"cab", "install", "--silent", cab});
  unsetenv("STOWKIT_FAULTS");
  EXPECT_EQ(kept.status, 5) << kept.err;
  std::u16string marker;
  GetStateString(u"Notes", kStateUpgradeMode, marker);
  EXPECT_NE(marker, u"1");
  EXPECT_FALSE(Exists(kInstallFolder));
  EXPECT_TRUE(Registered());

  ToolResult removed = Tool({"cab", "remove", "Notes"});
  ASSERT_EQ(removed.status, 0) << removed.err;
  EXPECT_THAT(device_.Log("Unstowkit_log_Notes.txt"),
              HasSubstr("Command line: \"\\Windows\\AppMgr\\Notes Remove.exe\" /x "));
  EXPECT_FALSE(Exists("Apps/notes.txt"));
}

TEST_F(CabToolTest, TheCabIsDeletedUnlessDeleteZeroOrNodelete) {
  UseRecordingInstaller();
  std::string cab = BuildCab();
  ASSERT_EQ(Tool({"push", cab, "\\Temp\\notes.cab"}).status, 0);
  EXPECT_EQ(Wceload({"/noui", "/delete", "0", "\\Temp\\notes.cab"}), 0);
  EXPECT_TRUE(Exists("Temp/notes.cab"));
  EXPECT_EQ(Wceload({"/noui", "/nodelete", "\\Temp\\notes.cab"}), 0);
  EXPECT_TRUE(Exists("Temp/notes.cab"));
  EXPECT_EQ(Wceload({"/noui", "/delete", "1", "\\Temp\\notes.cab"}), 0);
  EXPECT_FALSE(Exists("Temp/notes.cab"));
}

TEST_F(CabToolTest, AFileThatIsNoCabIsRefusedAndKeptAndADamagedCabIsCalledDamaged) {
  testing::WriteHostFile(device_.Host("Temp/notes.cab"), "not a cabinet");
  EXPECT_EQ(Wceload({"/noui", "\\Temp\\notes.cab"}), 3);
  EXPECT_TRUE(Exists("Temp/notes.cab"));
  ToolResult shown = Tool({"run", "\\Windows\\wceload.exe", "\\Temp\\notes.cab"});
  EXPECT_THAT(shown.err, HasSubstr("'\\Temp\\notes.cab' is not a CAB file that can be read."));

  // A CAB whose compressed data is damaged lists its members but cannot unpack them.
  WriteNotesPackage();
  std::string bytes = testing::ReadHostFile(BuildCab());
  for (size_t i = bytes.size() / 2; i < bytes.size() / 2 + 300; ++i) bytes[i] ^= 0x5a;
  testing::WriteHostFile(device_.Host("Temp/damaged.cab"), bytes);
  ToolResult damaged = Tool({"run", "\\Windows\\wceload.exe", "\\Temp\\damaged.cab"});
  EXPECT_EQ(damaged.status, 3);
  EXPECT_THAT(damaged.err, HasSubstr("'\\Temp\\damaged.cab' was not installed: the CAB is damaged: "
                                     "its _setup.xml cannot be unpacked."));
}

TEST_F(CabToolTest, SilentRunsAndAPackageBesideAQuotedCab) {
  UseRecordingInstaller();
  fs::remove(input_ + "/Notes.pkg");
  std::string cab = BuildCab({"--key", "Notes"});
  ASSERT_EQ(Tool({"push", cab, "\\Temp\\my notes.cab"}).status, 0);
  testing::WriteHostFile(device_.Host("Temp/Notes.pkg"), "package");
  // The tool quotes the path for the device's command line.
  EXPECT_EQ(Wceload({"/noui", "\\Temp\\my notes.cab"}), 0);
  EXPECT_THAT(Calls(), MatchesRegex("\"\\\\Program Files\\\\Notes\\$Notes\\\\Notes.exe\" /is "
                                    "\"\\\\Temp\\\\Notes.pkg\" /h 0x[0-9a-f]+\n"));
  EXPECT_FALSE(Exists("Temp/Notes.pkg")) << "the package used is deleted afterwards";
  EXPECT_FALSE(Exists("Temp/my notes.cab"));
}

TEST_F(CabToolTest, TheProvisioningMarkerMakesTheInstallerSilent) {
  UseRecordingInstaller();
  std::string cab = BuildCab();
  ASSERT_EQ(Tool({"cab", "install", cab}).status, 0);
  EXPECT_THAT(Calls(), HasSubstr("Notes.exe\" /i \"\\Program Files\\Notes$Notes\\Notes.pkg\""));
  ASSERT_TRUE(
      SetRegString(HKEY_LOCAL_MACHINE, u"Software\\TalvenorClientProvision", u"ROOTC", u"1"));
  ASSERT_EQ(Tool({"cab", "install", cab}).status, 0);
  EXPECT_THAT(Calls(), HasSubstr("Notes.exe\" /is \"\\Program Files\\Notes$Notes\\Notes.pkg\""));
}

int Boots(const testing::TempDevice& device) {
  return std::stoi("0" + testing::ReadHostFile(device.folder() + "/boots"));
}

TEST_F(CabToolTest, ARestartRequestRestartsTheDeviceOnceWceloadHasEnded) {
  WriteSteeredNotesPackage(u"HOOKRESTART=1");
  int boots = Boots(device_);
  ToolResult installed = Tool({"cab", "install", "--silent", BuildCab()});
  ASSERT_EQ(installed.status, 0) << installed.err;
  EXPECT_TRUE(Exists("Apps/notes.txt"));
  // The second start waits for wceload, which has ended by now, then for a second.
  for (int i = 0; i < 100 && Boots(device_) == boots; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_EQ(Boots(device_), boots + 1);
}

TEST_F(CabToolTest, ListAndExtractReadAHostCabWithoutADevice) {
  WriteNotesPackage();
  std::string cab = BuildCab();
  std::string out = device_.folder() + "/out";
  // Host files alone: even a device folder that is not one does not stand in the way.
  auto host_tool = [&](const std::vector<std::string>& args) {
    return testing::RunShell("STOWKIT_DEVICE=/nonexistent/device " +
                                 testing::CommandLine(testing::BinPath("stowkit-device"), args),
                             device_.folder());
  };
  ToolResult listed = host_tool({"cab", "list", cab});
  ASSERT_EQ(listed.status, 0) << listed.err;
  EXPECT_EQ(listed.out, "Notes.exe\nNotes.pkg\n_setup.dll\n_setup.xml\n");

  ToolResult extracted = host_tool({"cab", "extract", cab, "-o", out});
  ASSERT_EQ(extracted.status, 0) << extracted.err;
  EXPECT_EQ(testing::ReadHostFile(out + "/Notes.pkg"), testing::ReadHostFile(input_ + "/Notes.pkg"));
  EXPECT_EQ(testing::ReadHostFile(out + "/Notes.exe"), testing::ReadHostFile(testing::BinPath("stowkit")));
  EXPECT_THAT(testing::ReadHostFile(out + "/_setup.xml"), HasSubstr("Notes"));

  for (const std::string command : {"list", "extract"}) {
    std::vector<std::string> args = {"cab", command, input_ + "/Notes.pkg"};
    if (command == "extract") args.insert(args.end(), {"-o", out});
    ToolResult refused = host_tool(args);
    EXPECT_EQ(refused.status, 1) << command;
    EXPECT_EQ(refused.err, "stowkit-device: cab " + command + ": '" + input_ +
                               "/Notes.pkg' is not a CAB, or it is damaged\n");
  }
}

// "name date time" for each member of the CAB file `bytes`, its DOS date and time as numbers.
std::vector<std::string> MemberDates(const std::string& bytes) {
  auto u16 = [&](size_t at) { return unsigned(uint8_t(bytes[at])) | unsigned(uint8_t(bytes[at + 1])) << 8; };
  std::vector<std::string> dates;
  size_t at = u16(16) | size_t(u16(18)) << 16;  // coffFiles
  for (unsigned i = 0, files = u16(28); i < files && at + 16 < bytes.size(); ++i) {
    std::string name = bytes.c_str() + at + 16;
    dates.push_back(name + " " + std::to_string(u16(at + 10)) + " " + std::to_string(u16(at + 12)));
    at += 16 + name.size() + 1;
  }
  return dates;
}

TEST_F(CabToolTest, BuildGivesEveryMemberOneValidDateAndTheSameBytesEachTime) {
  WriteNotesPackage();
  std::string first = testing::ReadHostFile(BuildCab());
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  EXPECT_EQ(testing::ReadHostFile(BuildCab()), first);
  // 2000-01-01 00:00:00: ((2000 - 1980) << 9) | (1 << 5) | 1, and time 0.
  EXPECT_EQ(MemberDates(first), (std::vector<std::string>{"Notes.exe 10273 0", "Notes.pkg 10273 0",
                                                          "_setup.dll 10273 0", "_setup.xml 10273 0"}));
  // 2025-12-06 05:46:40 UTC, as reproducible builds name the time.
  setenv("SOURCE_DATE_EPOCH", "1765000000", 1);
  std::string dated = testing::ReadHostFile(BuildCab());
  unsetenv("SOURCE_DATE_EPOCH");
  unsigned date = (45u << 9) | (12u << 5) | 6u, time = (5u << 11) | (46u << 5) | 20u;
  EXPECT_EQ(MemberDates(dated).front(),
            "Notes.exe " + std::to_string(date) + " " + std::to_string(time));
}

TEST_F(CabToolTest, BuildRefusesNoPackageAKeyThatIsNotItsAppNameAndATrailingBackslash) {
  ToolResult refused = Tool({"cab", "build", input_, "-o", device_.folder() + "/x.cab"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_THAT(refused.err, HasSubstr("must hold exactly one .pkg, or name the key with --key"));
  EXPECT_FALSE(fs::exists(device_.folder() + "/x.cab"));

  WriteNotesPackage();
  ToolResult slash = Tool({"cab", "build", input_, "-o", device_.folder() + "/x.cab",
                           "--install-dir", "\\Apps\\Notes\\"});
  EXPECT_EQ(slash.status, 1);
  EXPECT_EQ(slash.err, "stowkit-device: cab build: --install-dir '\\Apps\\Notes\\' ends in '\\': "
                       "name the folder without it\n");
  EXPECT_FALSE(fs::exists(device_.folder() + "/x.cab"));
  BuildCab({"--install-dir", "\\Apps\\Notes"});

  // A key the installer does not record the product under.
  fs::rename(input_ + "/Notes.pkg", input_ + "/Other.pkg");
  ToolResult other = Tool({"cab", "build", input_, "-o", device_.folder() + "/y.cab"});
  EXPECT_EQ(other.status, 1);
  EXPECT_EQ(other.err, "stowkit-device: cab build: the key 'Other' differs from the package's "
                       "AppName 'Notes', by which the CAB's removal finds the product\n");
  EXPECT_FALSE(fs::exists(device_.folder() + "/y.cab"));
}

}  // namespace
}  // namespace stowkit
