// The four exports of libtrellant.so, loaded into the test as the CAB installer loads it;
// a recording program stands in for the installer and the uninstaller.
#include "stowkit/setup_exports.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "coredll/windows.h"
#include "services/product_state.h"
#include "services/registry_services.h"
#include "support/child_process.h"
#include "support/no_terminal.h"
#include "support/temp_device.h"

namespace stowkit {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

constexpr char16_t kFolder[] = u"\\Program Files\\Notes$Notes for CE";
constexpr char kHostFolder[] = "Program Files/Notes$Notes for CE";
constexpr char kRun[] = "\"\\Program Files\\Notes$Notes for CE\\Notes.exe\" ";
constexpr char kRemover[] = "\"\\Windows\\AppMgr\\Notes Remove.exe\" ";

class SetupExportsTest : public ::testing::Test {
 protected:
  SetupExportsTest() {
    device_.Install(testing::LibPath("libtrellant.so"), "Windows/trellant.dll");
    library_ = LoadLibraryW(u"\\Windows\\trellant.dll");
    install_init_ = Find<pfnINSTALL_INIT>(szINSTALL_INIT);
    install_exit_ = Find<pfnINSTALL_EXIT>(szINSTALL_EXIT);
    uninstall_init_ = Find<pfnUNINSTALL_INIT>(szUNINSTALL_INIT);
    uninstall_exit_ = Find<pfnUNINSTALL_EXIT>(szUNINSTALL_EXIT);
  }
  ~SetupExportsTest() override { FreeLibrary(library_); }

  template <typename Function>
  Function Find(const char16_t* name) {
    return reinterpret_cast<Function>(GetProcAddressW(library_, name));
  }

  // The recording program as a device file, its folder created.
  void PlaceRecorder(const std::string& relative) const {
    std::filesystem::create_directories(
        std::filesystem::path(device_.Host(relative)).parent_path());
    device_.Install(testing::BinPath("recording-installer"), relative);
  }
  void PlaceFile(const std::string& relative) const {
    std::filesystem::create_directories(
        std::filesystem::path(device_.Host(relative)).parent_path());
    testing::WriteHostFile(device_.Host(relative), "content");
  }
  void SetExitCode(int code) const {
    testing::WriteHostFile(device_.Host("Temp/installer-exit.txt"), std::to_string(code));
  }
  // The command lines the recording program was started with, waiting up to 5 s for `count`.
  std::vector<std::string> Calls(size_t count = 0) const {
    std::vector<std::string> lines;
    for (int i = 0; i < 500; ++i) {
      std::istringstream text(testing::ReadHostFile(device_.Host("Temp/installer-calls.txt")));
      lines.clear();
      for (std::string line; std::getline(text, line);) lines.push_back(line);
      if (lines.size() >= count) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return lines;
  }
  std::u16string Marker(const std::u16string& product = u"Notes") const {
    std::u16string value = u"(none)";
    GetStateString(product, kStateUpgradeMode, value);
    return value;
  }
  bool RollBackMarked(const std::u16string& product) const {
    uint32_t process = 0;
    return GetStateDword(product, kStateRollBack, process) != 0;
  }
  bool Exists(const std::string& relative) const {
    return std::filesystem::exists(device_.Host(relative));
  }

  testing::NoTerminal no_terminal_;
  testing::TempDevice device_;
  HMODULE library_ = nullptr;
  pfnINSTALL_INIT install_init_ = nullptr;
  pfnINSTALL_EXIT install_exit_ = nullptr;
  pfnUNINSTALL_INIT uninstall_init_ = nullptr;
  pfnUNINSTALL_EXIT uninstall_exit_ = nullptr;
};

TEST_F(SetupExportsTest, OnlyTheFirstCallOverAnInstalledCopyMarksAnUpgrade) {
  ASSERT_NE(install_init_, nullptr);
  EXPECT_EQ(install_init_(nullptr, TRUE, FALSE, kFolder), codeINSTALL_INIT_CONTINUE);
  EXPECT_TRUE(std::filesystem::is_directory(device_.Host(kHostFolder)));
  EXPECT_EQ(install_init_(nullptr, FALSE, TRUE, kFolder), codeINSTALL_INIT_CONTINUE);
  EXPECT_EQ(Marker(), u"(none)");
  EXPECT_EQ(install_init_(nullptr, TRUE, TRUE, kFolder), codeINSTALL_INIT_CONTINUE);
  EXPECT_EQ(Marker(), u"1");
}

TEST_F(SetupExportsTest, InstallExitRunsTheInstallerOnThePackageThenDeletesBoth) {
  PlaceRecorder(std::string(kHostFolder) + "/Notes.exe");
  PlaceFile(std::string(kHostFolder) + "/Notes.pkg");
  SetStateString(u"Notes", kStateUpgradeMode, u"1");
  EXPECT_EQ(install_exit_(nullptr, kFolder, 0, 0, 0, 0, 0), codeINSTALL_EXIT_DONE);
  EXPECT_THAT(Calls(), ElementsAre(std::string(kRun) +
                                   "/i \"\\Program Files\\Notes$Notes for CE\\Notes.pkg\" /h 0x0"));
  EXPECT_EQ(Marker(), u"0");
  EXPECT_FALSE(Exists(kHostFolder));
}

TEST_F(SetupExportsTest, ExitCode1000HandsTheRestartToASecondStartWithThisProcessId) {
  PlaceRecorder(std::string(kHostFolder) + "/Notes.exe");
  SetStateString(u"Notes", kStateUpgradeMode, u"1");
  SetExitCode(1000);
  EXPECT_EQ(install_exit_(nullptr, kFolder, 0, 0, 0, 0, 0), codeINSTALL_EXIT_DONE);
  std::vector<std::string> calls = Calls(2);
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[1], kRun + std::string("/p ") + std::to_string(GetCurrentProcessId()));
  EXPECT_EQ(Marker(), u"0");
}

TEST_F(SetupExportsTest, AnyOtherExitCodeChangesNothing) {
  PlaceRecorder(std::string(kHostFolder) + "/Notes.exe");
  SetStateString(u"Notes", kStateUpgradeMode, u"1");
  SetExitCode(5);
  EXPECT_EQ(install_exit_(nullptr, kFolder, 0, 0, 0, 0, 0), codeINSTALL_EXIT_DONE);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // no second start comes
  EXPECT_EQ(Calls().size(), 1u);
  EXPECT_EQ(Marker(), u"1");
  EXPECT_FALSE(Exists(kHostFolder)) << "the clean-up runs all the same";
}

TEST_F(SetupExportsTest, AFailedInstallerRollsTheCabBackAndEndsTheUpgrade) {
  for (int code : {101, 102, 103, 104}) {
    PlaceRecorder(std::string(kHostFolder) + "/Notes.exe");
    SetStateString(u"Notes", kStateUpgradeMode, u"1");
    SetExitCode(code);
    EXPECT_EQ(install_exit_(nullptr, kFolder, 0, 0, 0, 0, 0), codeINSTALL_EXIT_UNINSTALL) << code;
    EXPECT_EQ(Marker(), u"0") << code;
    EXPECT_FALSE(Exists(kHostFolder)) << code;
  }
}

TEST_F(SetupExportsTest, AFolderWithoutDollarLooksForFennaway) {
  PlaceRecorder("Program Files/Plain/Fennaway.exe");
  EXPECT_EQ(install_exit_(nullptr, u"\\Program Files\\Plain", 0, 0, 0, 0, 0),
            codeINSTALL_EXIT_DONE);
  EXPECT_THAT(Calls(), ElementsAre("\"\\Program Files\\Plain\\Fennaway.exe\" /i "
                                   "\"\\Program Files\\Plain\\Fennaway.pkg\" /h 0x0"));
}

TEST_F(SetupExportsTest, AnInstallerThatCannotStartIsShownAndRollsTheCabBack) {
  PlaceFile("Program Files/Plain/Fennaway.pkg");
  // What an earlier install of the product left, which the roll-back must not touch.
  PlaceRecorder("Windows/AppMgr/Fennaway Remove.exe");
  SetStateString(u"Fennaway", kStateUninstallExe, u"\\Windows\\AppMgr\\Fennaway Remove.exe");
  SetStateString(u"Fennaway", kStateUninstallPkg, u"\\Windows\\AppMgr\\Fennaway Remove.pkg");
  SetStateString(u"Fennaway", kStateUpgradeMode, u"1");
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(install_exit_(nullptr, u"\\Program Files\\Plain", 0, 0, 0, 0, 0),
            codeINSTALL_EXIT_UNINSTALL);
  EXPECT_THAT(
      ::testing::internal::GetCapturedStderr(),
      HasSubstr("message box \"Error\" (Error 2 running: [\\Program Files\\Plain\\Fennaway.exe "
                "/i \"\\Program Files\\Plain\\Fennaway.pkg\" /h 0x0] .  Installation "
                "cannot continue.)"));
  EXPECT_FALSE(Exists("Program Files/Plain"));
  EXPECT_EQ(Marker(u"Fennaway"), u"0");

  // The CAB installer's roll-back, in the same process.
  EXPECT_EQ(uninstall_init_(nullptr, u"\\Program Files\\Plain"), codeUNINSTALL_INIT_CONTINUE);
  EXPECT_TRUE(Calls().empty());
  EXPECT_TRUE(Exists("Windows/AppMgr/Fennaway Remove.exe"));
  EXPECT_FALSE(RollBackMarked(u"Fennaway"));
  EXPECT_FALSE(Exists("Program Files/Plain"));
}

class UninstallInitTest : public SetupExportsTest {
 protected:
  UninstallInitTest() {
    PlaceRecorder("Windows/AppMgr/Notes Remove.exe");
    PlaceFile("Windows/AppMgr/Notes Remove.pkg");
    PlaceFile(std::string(kHostFolder) + "/left.txt");
    SetStateString(u"Notes", kStateUninstallExe, u"\\Windows\\AppMgr\\Notes Remove.exe");
    SetStateString(u"Notes", kStateUninstallPkg, u"\\Windows\\AppMgr\\Notes Remove.pkg");
  }
};

TEST_F(UninstallInitTest, AnUpgradeRemovesWithUAndResetsTheMarker) {
  SetStateString(u"Notes", kStateUpgradeMode, u"1");
  EXPECT_EQ(uninstall_init_(nullptr, kFolder), codeUNINSTALL_INIT_CONTINUE);
  EXPECT_THAT(Calls(), ElementsAre(std::string(kRemover) +
                                   "/u \"\\Windows\\AppMgr\\Notes Remove.pkg\" /h 0x0"));
  EXPECT_EQ(Marker(), u"0");
  EXPECT_FALSE(Exists("Windows/AppMgr/Notes Remove.exe"));
  EXPECT_FALSE(Exists("Windows/AppMgr/Notes Remove.pkg"));
  EXPECT_FALSE(Exists(kHostFolder));
  EXPECT_EQ(uninstall_exit_(nullptr), codeUNINSTALL_EXIT_DONE);
}

TEST_F(UninstallInitTest, OtherwiseItRemovesWithX) {
  SetStateString(u"Notes", kStateUpgradeMode, u"yes");
  // A roll-back that a CAB installer ending early never did is no reason to keep anything.
  SetStateDword(u"Notes", kStateRollBack, GetCurrentProcessId() + 1);
  EXPECT_EQ(uninstall_init_(nullptr, kFolder), codeUNINSTALL_INIT_CONTINUE);
  EXPECT_THAT(Calls(), ElementsAre(std::string(kRemover) +
                                   "/x \"\\Windows\\AppMgr\\Notes Remove.pkg\" /h 0x0"));
  EXPECT_EQ(Marker(), u"yes");
  EXPECT_FALSE(RollBackMarked(u"Notes"));
}

TEST_F(UninstallInitTest, WithoutAnUninstallerNothingStartsButTheFolderGoes) {
  DeleteRegValue(HKEY_LOCAL_MACHINE, ProductKey(u"Notes"), kStateUninstallExe);
  SetStateString(u"Notes", kStateUpgradeMode, u"1");
  EXPECT_EQ(uninstall_init_(nullptr, kFolder), codeUNINSTALL_INIT_CONTINUE);
  EXPECT_TRUE(Calls().empty());
  EXPECT_EQ(Marker(), u"1");
  EXPECT_FALSE(Exists(kHostFolder));
  // Half a pair cannot run, but the half that is recorded is still the product's to take.
  EXPECT_FALSE(Exists("Windows/AppMgr/Notes Remove.pkg"));
  EXPECT_TRUE(Exists("Windows/AppMgr/Notes Remove.exe")) << "not recorded, so not known as ours";

  SetStateString(u"Notes", kStateUninstallExe, u"\\Windows\\AppMgr\\Notes Remove.exe");
  DeleteRegValue(HKEY_LOCAL_MACHINE, ProductKey(u"Notes"), kStateUninstallPkg);
  PlaceFile("Windows/AppMgr/Notes Remove.pkg");
  EXPECT_EQ(uninstall_init_(nullptr, kFolder), codeUNINSTALL_INIT_CONTINUE);
  EXPECT_TRUE(Calls().empty());
  EXPECT_FALSE(Exists("Windows/AppMgr/Notes Remove.exe"));
  EXPECT_TRUE(Exists("Windows/AppMgr/Notes Remove.pkg"));
}

TEST_F(UninstallInitTest, AnUninstallerThatCannotStartIsShownAndTheRemovalGoesOn) {
  std::filesystem::remove(device_.Host("Windows/AppMgr/Notes Remove.exe"));
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(uninstall_init_(nullptr, kFolder), codeUNINSTALL_INIT_CONTINUE);
  EXPECT_THAT(::testing::internal::GetCapturedStderr(),
              HasSubstr("(Error 2 running: [\\Windows\\AppMgr\\Notes Remove.exe /x "
                        "\"\\Windows\\AppMgr\\Notes Remove.pkg\" /h 0x0].  Uninstallation cannot "
                        "continue.)"));
  EXPECT_FALSE(Exists(kHostFolder));
}

}  // namespace
}  // namespace stowkit
