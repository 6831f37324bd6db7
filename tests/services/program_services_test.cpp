// Self-registration, shortcuts and program starts on a real device with real libraries and
// device programs.
#include "services/program_services.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "support/child_process.h"
#include "support/temp_device.h"

namespace stowkit {
namespace {

using testing::BinPath;
using testing::LibPath;
using testing::TempDevice;

constexpr const char16_t* kSelfRegisterKey = u"Software\\StowkitTests\\SelfRegister";

// The text of the test library's registry value, or "(none)".
std::u16string RegisteredState() {
  HKEY key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSelfRegisterKey, 0, 0, &key) != ERROR_SUCCESS) {
    return u"(none)";
  }
  WCHAR text[64] = {};
  DWORD size = sizeof text;
  LONG result = RegQueryValueExW(key, u"State", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size);
  RegCloseKey(key);
  return result == ERROR_SUCCESS ? std::u16string(text) : u"(none)";
}

class ProgramServicesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    device_.Install(BinPath("probe"), "Windows/probe.exe");
    device_.Install(LibPath("libself_register.so"), "Windows/selfreg.dll");
    device_.Install(LibPath("libplain.so"), "Windows/plain.dll");
  }
  // A restart ends every device process a test left running.
  void TearDown() override { SetSystemPowerState(nullptr, POWER_STATE_RESET, 0); }

  std::string HostText(const std::string& relative) const {
    return testing::ReadHostFile(device_.Host(relative));
  }
  std::set<std::string> HostNames(const std::string& relative) const {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(device_.Host(relative))) {
      names.insert(entry.path().filename().string());
    }
    return names;
  }

  TempDevice device_;
};

TEST_F(ProgramServicesTest, SelfRegistrationCallsTheLibraryAndPassesItsResultOn) {
  EXPECT_EQ(RegisterServer(u"\\Windows\\selfreg.dll"), S_OK);
  EXPECT_EQ(RegisteredState(), u"registered");
  EXPECT_EQ(UnregisterServer(u"\\Windows\\SELFREG.DLL"), S_OK);
  EXPECT_EQ(RegisteredState(), u"(none)");
  // Nothing left to remove: the library's own failure comes back unchanged.
  EXPECT_EQ(UnregisterServer(u"\\Windows\\selfreg.dll"), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
  EXPECT_TRUE(DeleteFileW(u"\\Windows\\selfreg.dll"));  // unloaded after every call
}

TEST_F(ProgramServicesTest, SelfRegistrationFailuresArePlatformErrors) {
  HRESULT no_entry = RegisterServer(u"\\Windows\\plain.dll");
  EXPECT_EQ(uint32_t(no_entry) >> 16, 0x8007u);
  EXPECT_EQ(no_entry, HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND));
  EXPECT_EQ(UnregisterServer(u"\\Windows\\plain.dll"), HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND));
  EXPECT_TRUE(DeleteFileW(u"\\Windows\\plain.dll"));  // released on the failure path too

  EXPECT_EQ(RegisterServer(u"\\Windows\\none.dll"), HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND));
  testing::WriteHostFile(device_.Host("Windows/arm.dll"), "MZ a library for another processor");
  EXPECT_EQ(RegisterServer(u"\\Windows\\arm.dll"), HRESULT_FROM_WIN32(ERROR_BAD_EXE_FORMAT));
}

TEST_F(ProgramServicesTest, ShortcutTextIsTheCountedQuotedTarget) {
  EXPECT_EQ(CreateShortcut(u"\\Windows\\Start Menu\\Programs\\Notes.lnk",
                           u"\\Program Files\\Notes\\notes.exe", u"-new", u"\\icon.ico,2"), 1);
  EXPECT_EQ(HostText("Windows/Start Menu/Programs/Notes.lnk"),
            "37#\"\\Program Files\\Notes\\notes.exe\" -new");
  // A target that is quoted already stays as it is; empty arguments add no blank.
  EXPECT_EQ(CreateShortcut(u"\\Temp\\Word.lnk", u"\"\\Windows\\pword.exe\"", u"", u""), 1);
  EXPECT_EQ(HostText("Temp/Word.lnk"), "20#\"\\Windows\\pword.exe\"");
  EXPECT_EQ(CreateShortcut(u"\\Temp\\Args.lnk", u"\"\\a b.exe\"", u"x  y", u""), 1);
  EXPECT_EQ(HostText("Temp/Args.lnk"), "15#\"\\a b.exe\" x  y");
}

TEST_F(ProgramServicesTest, ShortcutNamesEndInOneLnkExtension) {
  EXPECT_EQ(CreateShortcut(u"\\Temp\\Upper.LNK", u"\\a.exe", u"", u""), 1);
  EXPECT_EQ(CreateShortcut(u"\\Temp\\Bare", u"\\a.exe", u"", u""), 1);
  EXPECT_EQ(CreateShortcut(u"\\Temp\\Dotted.lnk.txt", u"\\a.exe", u"", u""), 1);
  EXPECT_EQ(HostNames("Temp"),
            (std::set<std::string>{"Upper.LNK", "Bare.lnk", "Dotted.lnk.txt.lnk"}));
  EXPECT_EQ(HostText("Temp/Bare.lnk"), "8#\"\\a.exe\"");
}

TEST_F(ProgramServicesTest, ShortcutsAreReplacedAndTheirFolderCreated) {
  const char16_t* link = u"\\Windows\\Start Menu\\Programs\\Tools\\App.lnk";
  EXPECT_EQ(CreateShortcut(link, u"\\a.exe", u"", u""), 1);
  EXPECT_EQ(HostText("Windows/Start Menu/Programs/Tools/App.lnk"), "8#\"\\a.exe\"");
  EXPECT_EQ(CreateShortcut(link, u"\\b.exe", u"-x", u""), 1);
  EXPECT_EQ(HostText("Windows/Start Menu/Programs/Tools/App.lnk"), "11#\"\\b.exe\" -x");
  ASSERT_TRUE(SetFileAttributesW(link, FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(CreateShortcut(link, u"\\c.exe", u"", u""), 1);
  EXPECT_EQ(HostText("Windows/Start Menu/Programs/Tools/App.lnk"), "8#\"\\c.exe\"");
}

TEST_F(ProgramServicesTest, ShortcutFailuresLeaveThePlatformError) {
  std::u16string long_target(300, u'x');
  EXPECT_EQ(CreateShortcut(u"\\Temp\\Long.lnk", long_target, u"", u""), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILENAME_EXCED_RANGE));
}

TEST_F(ProgramServicesTest, DeleteShortcutOutcomes) {
  EXPECT_EQ(DeleteShortcut(u"\\Temp\\Missing.lnk"), 1);
  EXPECT_EQ(DeleteShortcut(u"\\Temp\\Missing"), 1);
  ASSERT_EQ(CreateShortcut(u"\\Temp\\Locked", u"\\a.exe", u"", u""), 1);
  ASSERT_TRUE(SetFileAttributesW(u"\\Temp\\Locked.lnk", FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(DeleteShortcut(u"\\Temp\\LOCKED"), 1);
  EXPECT_EQ(GetFileAttributesW(u"\\Temp\\Locked.lnk"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(DeleteShortcut(u"\\No Such Folder\\App.lnk"), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
}

TEST_F(ProgramServicesTest, RunProgramWithWaitReturnsTheExitCode) {
  DWORD code = 77;
  EXPECT_NE(RunProgram(u"\\Windows\\probe.exe", u"exit 1000", true, 0, &code), 0);
  EXPECT_EQ(code, 1000u);
  EXPECT_NE(RunProgram(u"\\Windows\\probe.exe", u"exit 0x80070057", true, 0, &code), 0);
  EXPECT_EQ(code, 0x80070057u);
  EXPECT_NE(RunProgram(u"\\Windows\\probe.exe", u"exit 3", true, 0, nullptr), 0);
}

TEST_F(ProgramServicesTest, RunProgramPutsTheQuotedProgramFirst) {
  DWORD code = 77;
  ASSERT_NE(RunProgram(u"\\Windows\\probe.exe", u"cmdline \\Temp\\line.txt", true, 0, &code), 0);
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(HostText("Temp/line.txt"), "\"\\Windows\\probe.exe\" cmdline \\Temp\\line.txt");
}

TEST_F(ProgramServicesTest, RunProgramWithoutWaitSeesItStillRunning) {
  DWORD code = 0;
  EXPECT_NE(RunProgram(u"\\Windows\\probe.exe", u"wait", false, 0, &code), 0);
  EXPECT_EQ(code, STILL_ACTIVE);
}

TEST_F(ProgramServicesTest, RunProgramThatCannotStart) {
  DWORD code = 77;
  EXPECT_EQ(RunProgram(u"\\Windows\\none.exe", u"", true, 0, &code), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(code, 0u);
}

}  // namespace
}  // namespace stowkit
