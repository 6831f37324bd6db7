// The uninstaller an install leaves behind, and what the next install and a removal do with
// it: upgrades through the old version's uninstaller, removal from the host, the clean-up of
// the platform's registrations, and a self-contained installer.
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>

#include "coredll/device.h"
#include "package/vocabulary.h"
#include "services/product_state.h"
#include "services/registry_services.h"
#include "support/installer_device.h"
#include "support/no_terminal.h"
#include "support/tool_run.h"

namespace stowkit {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;
using testing::EntryLayout;
using testing::InstallerDevice;
using testing::PackageLayout;

using testing::Entry;
using testing::RegistryText;

// An application with a folder, two files (one kept on removal), a shortcut, registry
// values (one kept on removal) and its own macro.
PackageLayout App(uint32_t version, const std::string& content) {
  PackageLayout layout = testing::AppPackage(u"App", version);
  layout.entries.push_back(Entry(kMacroDefs, 0, {{kFirstMacroId, u"APPDIR=$(PROGRAMFILES)\\App"}}));
  layout.entries.push_back(Entry(kFolder, kShouldInstall, {{kDst, u"$(APPDIR)"}}));
  layout.entries.push_back(testing::FileEntry(content, true, u"$(APPDIR)\\app.txt"));
  EntryLayout kept = testing::FileEntry("settings", false, u"$(APPDIR)\\settings.ini");
  kept.entry_flags |= kEntryNoRemove;
  layout.entries.push_back(kept);
  layout.entries.push_back(RegistryText(
      "HKLM, Software\\App, 0, Path, $(APPDIR), ,\n"
      "HKLM, Software\\App, 1, Build, 7, ,\n"
      "HKCU, Software\\App, 0, User, x, , NoRemove\n"));
  layout.entries.push_back(Entry(kShortcut, kShouldInstall,
                                 {{kLinkName, u"$(PROGRAMS)\\App"},
                                  {kLinkTarget, u"$(APPDIR)\\app.txt"}}));
  return layout;
}

std::set<std::string> DeviceFiles(const InstallerDevice& device) {
  std::set<std::string> files;
  for (const auto& item : fs::recursive_directory_iterator(device.Host(""))) {
    files.insert(item.path().string().substr(device.Host("").size()));
  }
  return files;
}

std::string Registry(const InstallerDevice& device) {
  return testing::RunShell(testing::CommandLine(testing::BinPath("stowkit-device"),
                                                {"--device", device.folder(), "reg", "export"}),
                           device.folder())
      .out;
}

std::u16string State(std::u16string_view name) {
  std::u16string text;
  GetStateString(u"App", name, text);
  return text;
}

class UninstallerTest : public ::testing::Test {
 protected:
  testing::ToolResult Tool(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {"--device", device_.folder()});
    return testing::RunShell(
        testing::CommandLine(testing::BinPath("stowkit-device"), arguments), device_.folder());
  }

  testing::NoTerminal no_terminal_;
  InstallerDevice device_;
};

TEST_F(UninstallerTest, AnUpgradeRemovesTheOldVersionThroughItsOwnUninstaller) {
  device_.WritePackage(App(0x01000000, "version one"));
  ASSERT_EQ(device_.Run(u"/is \\Temp\\app.pkg"), 0u);
  EXPECT_EQ(State(kStateUninstallExe), u"\\Windows\\AppMgr\\App Remove.exe");
  EXPECT_EQ(State(kStateUninstallPkg), u"\\Windows\\AppMgr\\App Remove.pkg");
  DWORD attributes = GetFileAttributesW(u"\\Windows\\AppMgr\\App Remove.exe");
  EXPECT_NE(attributes & FILE_ATTRIBUTE_HIDDEN, 0u);

  device_.WritePackage(App(0x02000000, "version two"));
  ASSERT_EQ(device_.Run(u"/is \\Temp\\app.pkg /DINSTALLUSERPID 77"), 0u);
  std::string log = device_.Log("Stowkit_log_App.txt");
  EXPECT_THAT(log, HasSubstr("Removing previous application version ...\n\n"
                             "\\Windows\\AppMgr\\App Remove.exe\n"
                             "/us \"\\Windows\\AppMgr\\App Remove.pkg\" /v "
                             "\"\\Stowkit_log_App.txt\" /h 0x0 /DINSTALLUSERPID 77\n"));
  // The old version's removal writes into the same log, between the new version's lines.
  EXPECT_THAT(log, HasSubstr("Begin PKG_MODE_MINOR_REMOVE for App Display\n"));
  EXPECT_LT(log.find("PKG_MODE_MINOR_REMOVE"), log.find("Creating application folders"));
  EXPECT_EQ(testing::ReadHostFile(device_.Host("Program Files/App/app.txt")), "version two");
  uint32_t version = 0;
  GetStateDword(u"App", kStateVersion, version);
  EXPECT_EQ(version, 0x02000000u);
  EXPECT_EQ(State(kStateUninstallPkg), u"\\Windows\\AppMgr\\App Remove.pkg");
  EXPECT_TRUE(fs::exists(device_.Host("Windows/AppMgr/App Remove.exe")));
}

// The new version's own code uses a library of the old one while the old uninstaller runs:
// the library's holder is the installer that waits for the uninstaller, which must never
// be closed for it (that would end the upgrade, with the old version half gone).
TEST_F(UninstallerTest, AnUpgradeWhoseLibraryHoldsAnOldFileIsNeverEndedByTheOldUninstaller) {
  auto with_library = [](uint32_t version, bool custom) {
    PackageLayout layout = App(version, "text");
    EntryLayout library = testing::FileEntry(testing::ReadHostFile(testing::LibPath("libplain.so")),
                                             false, u"$(APPDIR)\\plain.dll");
    layout.entries.push_back(library);
    if (custom) layout.entries.push_back(testing::CustomLibraryEntry("libhook_recorder.so"));
    return layout;
  };
  device_.WritePackage(with_library(0x01000000, false));
  ASSERT_EQ(device_.Run(u"/is \\Temp\\app.pkg"), 0u);
  std::string v2 = device_.folder() + "/app.pkg";
  testing::WriteHostFile(v2, testing::BuildPackage(with_library(0x02000000, true)));
  testing::ToolResult upgrade =
      Tool({"install", v2, "--silent", "--", "/DHOOKLOAD", "\\Program Files\\App\\plain.dll"});
  ASSERT_EQ(upgrade.status, 0) << upgrade.err << device_.Log("Stowkit_log_App.txt");
  uint32_t version = 0, status = 99;
  GetStateDword(u"App", kStateVersion, version);
  GetStateDword(u"App", kStateStatus, status);
  EXPECT_EQ(version, 0x02000000u);
  EXPECT_EQ(status, 0u);
  EXPECT_TRUE(fs::exists(device_.Host("Program Files/App/plain.dll")));
  EXPECT_EQ(State(kStateUninstallPkg), u"\\Windows\\AppMgr\\App Remove.pkg");
}

// An uninstaller that cannot be written (the disk is full, a write fails) fails the install
// and leaves no part of itself; the package the product came from still takes it off.
TEST_F(UninstallerTest, AnInstallWhoseUninstallerCannotBeWrittenFailsAndLeavesNoPart) {
  std::string host_package = device_.folder() + "/app.pkg";
  testing::WriteHostFile(host_package, testing::BuildPackage(App(0x01000000, "one")));
  for (const char* rule : {"write@*Remove.pkg=112", "write@*Remove.exe#3=112"}) {
    SCOPED_TRACE(rule);
    setenv("STOWKIT_FAULTS", rule, 1);
    testing::ToolResult install = Tool({"install", host_package, "--silent"});
    unsetenv("STOWKIT_FAULTS");
    EXPECT_EQ(install.status, 101) << install.err;
    uint32_t status = 0;
    GetStateDword(u"App", kStateStatus, status);
    EXPECT_EQ(status, 101u);
    EXPECT_EQ(State(kStateUninstallExe), u"");
    EXPECT_EQ(State(kStateUninstallPkg), u"");
    std::string log = device_.Log("Stowkit_log_App.txt");
    EXPECT_THAT(log, HasSubstr("Error generating uninstall "));
    EXPECT_THAT(log, HasSubstr("hr = 0x80070070\n"));
    for (const auto& item : fs::directory_iterator(device_.Host("Windows/AppMgr"))) {
      ADD_FAILURE() << "left in AppMgr: " << item.path().filename();
    }
  }
  EXPECT_TRUE(fs::exists(device_.Host("Program Files/App/app.txt")));
  ASSERT_EQ(device_.Run(u"/xs \\Temp\\app.pkg"), 0u);
  EXPECT_FALSE(fs::exists(device_.Host("Program Files/App/app.txt")));
  uint32_t status = 0;
  EXPECT_EQ(GetStateDword(u"App", kStateStatus, status), 0) << "no product record";
}

TEST_F(UninstallerTest, ARunWithTheDialogPassesTheDialogAsOwnerAndAsksNothingSilently) {
  device_.WritePackage(App(0x01000000, "one"));
  ASSERT_EQ(device_.Run(u"/is \\Temp\\app.pkg"), 0u);
  ASSERT_EQ(device_.Run(u"/i \\Temp\\app.pkg"), 0u);
  std::string log = device_.Log("Stowkit_log_App.txt");
  EXPECT_THAT(log, HasSubstr("\n/u \"\\Windows\\AppMgr\\App Remove.pkg\" /v "));
  EXPECT_THAT(log, Not(HasSubstr("/h 0x0\n"))) << "the dialog owns the old uninstaller's";
}

TEST_F(UninstallerTest, RemovalFromTheHostTakesEverythingButWhatIsKept) {
  std::set<std::string> files_before = DeviceFiles(device_);
  std::string registry_before = Registry(device_);
  device_.WritePackage(App(0x01000000, "one"));
  ASSERT_EQ(device_.Run(u"/is \\Temp\\app.pkg"), 0u);
  device_.WritePackage(App(0x02000000, "two"));
  ASSERT_EQ(device_.Run(u"/is \\Temp\\app.pkg"), 0u);
  testing::WriteHostFile(device_.Host("Program Files/App/foreign.txt"), "not the package's");
  fs::remove(device_.Host("Temp/app.pkg"));

  testing::ToolResult removal = Tool({"remove", "App", "--silent"});
  ASSERT_EQ(removal.status, 0) << removal.err;
  uint32_t status = 0;
  EXPECT_EQ(GetStateDword(u"App", kStateStatus, status), 0) << "no product record";

  std::set<std::string> left = DeviceFiles(device_);
  std::set<std::string> expected = files_before;
  // Kept on purpose: the file marked NoRemove and the foreign file (so their folder), the
  // logs, and the uninstaller pair, which cannot delete itself while it runs.
  for (const char* kept : {"Program Files/App", "Program Files/App/settings.ini",
                           "Program Files/App/foreign.txt", "Windows/AppMgr",
                           "Windows/AppMgr/App Remove.exe", "Windows/AppMgr/App Remove.pkg",
                           "Stowkit_log_App.txt", "Unstowkit_log_App.txt"}) {
    expected.insert(kept);
  }
  EXPECT_EQ(left, expected);
  std::string registry = Registry(device_);
  EXPECT_THAT(registry, HasSubstr("[HKEY_CURRENT_USER\\Software\\App]\n\"User\"=\"x\"\n"));
  // Besides the value marked NoRemove no value is left; what stays are empty keys (the
  // product store's own among them).
  ASSERT_EQ(registry_before, "REGEDIT4\n");
  DeleteRegKey(HKEY_CURRENT_USER, u"Software\\App");
  registry = Registry(device_);
  EXPECT_EQ(registry.find('='), std::string::npos) << registry;
  EXPECT_THAT(registry, Not(HasSubstr("\\App]"))) << registry;

  testing::ToolResult again = Tool({"remove", "App"});
  EXPECT_EQ(again.status, 1);
  EXPECT_THAT(again.err, HasSubstr("no uninstaller is recorded for 'App'"));
}

// A device named relative to the shell's folder, as users type it: the installer still finds
// its own program to copy as the uninstaller, so the removal that follows works.
TEST_F(UninstallerTest, ADeviceNamedRelativeToTheWorkingFolderInstallsAndRemoves) {
  std::string folder = device_.folder();
  testing::WriteHostFile(folder + "/app.pkg", testing::BuildPackage(App(1, "one")));
  std::string tool = testing::BinPath("stowkit-device");
  testing::ToolResult installed = testing::RunShell(
      testing::CommandLine(tool, {"--device", ".", "install", "app.pkg", "--silent"}), folder);
  ASSERT_EQ(installed.status, 0) << installed.err;
  EXPECT_TRUE(fs::exists(device_.Host("Windows/AppMgr/App Remove.exe")));
  std::string name = fs::path(folder).lexically_normal().filename().string();
  testing::ToolResult removed = testing::RunShell(
      testing::CommandLine(tool, {"--device", "../" + name + "/", "remove", "App", "--silent"}),
      folder);
  ASSERT_EQ(removed.status, 0) << removed.err;
  EXPECT_FALSE(fs::exists(device_.Host("Program Files/App/app.txt")));
}

TEST_F(UninstallerTest, TheUninstallPackageCarriesNoContentAndTheWholeMacroTable) {
  PackageLayout layout = App(0x01000000, "one");
  EntryLayout support = testing::FileEntry("notes for the hooks", true, u"notes.txt");
  support.type = kSupportFile;
  layout.entries.push_back(support);
  layout.entries.push_back(testing::CustomLibraryEntry("libpost_install_only.so"));
  device_.WritePackage(layout);
  ASSERT_EQ(device_.Run(u"/is \\Temp\\app.pkg"), 0u);
  std::string pkg = device_.Host("Windows/AppMgr/App Remove.pkg");
  auto pack = [&](const std::string& command) {
    return testing::RunShell(
        testing::CommandLine(testing::BinPath("stowkit-pack"), {command, pkg}), device_.folder());
  };
  testing::ToolResult dump = pack("dump");
  ASSERT_EQ(dump.status, 0) << dump.err;
  EXPECT_THAT(dump.out, HasSubstr("Flags: 0x20 - ( Remove)"));
  EXPECT_THAT(dump.out, HasSubstr(": $(WINDIR)=\\Windows\n"));
  EXPECT_THAT(dump.out, HasSubstr(": $(APPDIR)=$(PROGRAMFILES)\\App\n"));
  EXPECT_THAT(dump.out, Not(HasSubstr("$(SUPPORTDIR)="))) << "the work folder is the run's own";
  EXPECT_EQ(dump.out.find("Entry 2: MacroDefs"), std::string::npos) << "one MacroDefs entry";
  // Paths were stored back expanded; AppFile entries hold no blob.
  EXPECT_THAT(dump.out, HasSubstr("Dst: \\Program Files\\App\\app.txt"));
  EXPECT_THAT(dump.out, HasSubstr("Entry Flags: 0x07 - ( BlobCompressed IgnoreBlob ShouldInstall)"));
  // The registry text, the support file and the library keep their blobs.
  testing::ToolResult verify = pack("verify");
  EXPECT_EQ(verify.status, 0) << verify.out << verify.err;
  EXPECT_THAT(verify.out, HasSubstr("OK, 3 blobs verified"));
}

TEST_F(UninstallerTest, ANoRemovePackageLeavesNoUninstaller) {
  PackageLayout layout = App(0x01000000, "one");
  layout.flags = kPackageNoRemove;
  device_.WritePackage(layout);
  ASSERT_EQ(device_.Run(u"/is \\Temp\\app.pkg"), 0u);
  EXPECT_EQ(State(kStateUninstallExe), u"");
  EXPECT_EQ(State(kStateUninstallPkg), u"");
  EXPECT_FALSE(fs::exists(device_.Host("Windows/AppMgr/App Remove.exe")));
}

// The platform's registrations of earlier copies, as a CAB install leaves them.
void Register(const std::u16string& name) {
  SetRegString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Apps\\" + name, u"InstallDir", u"x");
}

bool Registered(const std::u16string& name) {
  std::u16string text;
  return GetRegString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Apps\\" + name, u"InstallDir", text) != 0;
}

TEST_F(UninstallerTest, APatchKeepsThePreviousVersionButRunsItsCleanUpEntries) {
  device_.WritePackage(App(0x01000000, "one"));
  ASSERT_EQ(device_.Run(u"/is \\Temp\\app.pkg"), 0u);
  for (const char16_t* name : {u"Photo Viewer", u"viewer", u"Viewer Tools", u"Editor"}) {
    Register(name);
  }
  ASSERT_TRUE(fs::create_directories(device_.Host("Windows/AppMgr/PHOTO VIEWER")));

  PackageLayout patch = App(0x01000100, "patched");
  patch.flags = kPatch;
  patch.entries.push_back(Entry(kAppCleanup, 0, {{kDst, u"Viewer"}}));
  device_.WritePackage(patch);
  ASSERT_EQ(device_.Run(u"/is \\Temp\\app.pkg"), 0u);
  std::string log = device_.Log("Stowkit_log_App.txt");
  EXPECT_THAT(log, Not(HasSubstr("Removing previous application version")));
  EXPECT_THAT(log, Not(HasSubstr("PKG_MODE_MINOR_REMOVE")));
  EXPECT_THAT(log, HasSubstr("Delete regkey SOFTWARE\\Apps\\VIEWER: retcode = "));
  EXPECT_FALSE(Registered(u"viewer")) << "the exact name, in any case";
  EXPECT_TRUE(Registered(u"Photo Viewer"));

  patch.entries.back().properties = {{kDst, u"*Viewer*; Nothing"}};
  device_.WritePackage(patch);
  ASSERT_EQ(device_.Run(u"/is \\Temp\\app.pkg"), 0u);
  EXPECT_FALSE(Registered(u"Photo Viewer"));
  EXPECT_FALSE(Registered(u"Viewer Tools"));
  EXPECT_TRUE(Registered(u"Editor"));
  EXPECT_FALSE(fs::exists(device_.Host("Windows/AppMgr/PHOTO VIEWER")));
}

TEST_F(UninstallerTest, ASelfContainedInstallerInstallsItself) {
  std::string folder = device_.folder() + "/self";
  fs::create_directories(folder + "/files");
  testing::WriteHostFile(folder + "/files/a.txt", "inside the installer");
  testing::WriteHostFile(folder + "/app.toml",
                         "[package.properties]\nAppName = \"Self\"\n"
                         "[[entry]]\ntype = \"AppFile\"\nflags = [\"BlobCompressed\", "
                         "\"ShouldInstall\"]\nsource = \"files/a.txt\"\n"
                         "[entry.properties]\nDst = \"\\\\Apps\\\\a.txt\"\n");
  testing::ToolResult build = testing::RunShell(
      testing::CommandLine(testing::BinPath("stowkit-pack"),
                           {"build", folder + "/app.toml", "-o", folder + "/setup.exe",
                            "--self-contained", testing::BinPath("stowkit")}),
      folder);
  ASSERT_EQ(build.status, 0) << build.err;
  device_.Install(folder + "/setup.exe", "Temp/setup.exe");
  fs::permissions(device_.Host("Temp/setup.exe"), fs::perms::owner_exec, fs::perm_options::add);

  testing::ToolResult run = Tool({"run", "\\Temp\\setup.exe", "/is"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(testing::ReadHostFile(device_.Host("Apps/a.txt")), "inside the installer");
  // The uninstaller is the program part alone.
  EXPECT_EQ(fs::file_size(device_.Host("Windows/AppMgr/Self Remove.exe")),
            fs::file_size(testing::BinPath("stowkit")));
}

// The same on a file system that really is full: a device folder on a small tmpfs of its
// own, filled until the uninstaller's program no longer fits.
class FullDiskTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char work[] = "/tmp/stowkit-work-XXXXXX";
    work_ = mkdtemp(work);
    char pattern[] = "/tmp/stowkit-full-XXXXXX";
    mount_ = mkdtemp(pattern);
    if (mount("stowkit-full", mount_.c_str(), "tmpfs", 0, "size=48m") != 0) {
      std::string why = std::strerror(errno);
      fs::remove(mount_);
      mount_.clear();
      GTEST_SKIP() << "no small file system can be mounted here (" << why
                   << "); the fault-rule test covers the same failure";
    }
    device_ = mount_ + "/device";
  }
  void TearDown() override {
    fs::remove_all(work_);
    if (mount_.empty()) return;
    umount2(mount_.c_str(), MNT_DETACH);
    fs::remove(mount_);
  }

  testing::ToolResult Tool(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {"--device", device_});
    return testing::RunShell(testing::CommandLine(testing::BinPath("stowkit-device"), arguments),
                             work_);
  }

  // Leaves `bytes` free on the small file system.
  void FillLeaving(uint64_t bytes) {
    struct statvfs disk = {};
    ASSERT_EQ(statvfs(mount_.c_str(), &disk), 0);
    uint64_t free_bytes = uint64_t(disk.f_bavail) * disk.f_frsize;
    ASSERT_GT(free_bytes, bytes);
    int fd = open((mount_ + "/filler").c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(posix_fallocate(fd, 0, off_t(free_bytes - bytes)), 0);
    close(fd);
  }

  testing::NoTerminal no_terminal_;
  std::string work_;  // a host folder for the package, off the small file system
  std::string mount_, device_;
};

TEST_F(FullDiskTest, AnUninstallerThatDoesNotFitFailsTheInstallAndTheProductCanStillGo) {
  ASSERT_EQ(Tool({"init"}).status, 0);
  std::string package = work_ + "/app.pkg";
  testing::WriteHostFile(package, testing::BuildPackage(App(0x01000000, "one")));
  // Room for the package, its files, registry and log, but for half the program at most.
  FillLeaving(fs::file_size(testing::BinPath("stowkit")) / 2);

  testing::ToolResult install = Tool({"install", package, "--silent"});
  EXPECT_EQ(install.status, 101) << install.err;
  EXPECT_TRUE(fs::exists(device_ + "/fs/Program Files/App/app.txt"));
  for (const auto& item : fs::directory_iterator(device_ + "/fs/Windows/AppMgr")) {
    ADD_FAILURE() << "left in AppMgr: " << item.path().filename();
  }
  std::string registry = Tool({"reg", "export"}).out;
  EXPECT_THAT(registry, HasSubstr("\"Status\"=dword:00000065"));
  EXPECT_THAT(registry, Not(HasSubstr("UninstallEXE")));

  fs::remove(mount_ + "/filler");
  testing::ToolResult removal = Tool({"run", "\\Windows\\stowkit.exe", "/xs", "\\Temp\\app.pkg"});
  EXPECT_EQ(removal.status, 0) << removal.err;
  EXPECT_FALSE(fs::exists(device_ + "/fs/Program Files/App/app.txt"));
  EXPECT_THAT(Tool({"reg", "export"}).out, Not(HasSubstr("TalvenorKitwright\\App]")));
}

}  // namespace
}  // namespace stowkit
