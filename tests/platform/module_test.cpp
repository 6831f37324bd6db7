// Libraries: device files and the built-in ones, as the device profile has them.
#include <gtest/gtest.h>

#include "coredll/windows.h"
#include "support/child_process.h"
#include "support/temp_device.h"

namespace stowkit {
namespace {

using testing::LibPath;
using testing::TempDevice;

void SetProfileLine(const TempDevice& device, const std::string& from, const std::string& to) {
  std::string profile = testing::ReadHostFile(device.folder() + "/device.toml");
  size_t at = profile.find(from);
  ASSERT_NE(at, std::string::npos) << from;
  profile.replace(at, from.size(), to);
  testing::WriteHostFile(device.folder() + "/device.toml", profile);
  coredll::SelectDevice(device.folder());
}

TEST(Modules, DeviceLibrariesLoadCountAndNameThemselves) {
  TempDevice device;
  device.Install(LibPath("libplain.so"), "Windows/plain.dll");
  HMODULE first = LoadLibraryW(u"PLAIN.DLL");
  ASSERT_NE(first, nullptr);
  HMODULE second = LoadLibraryW(u"\\windows\\plain.dll");
  EXPECT_EQ(second, first);
  auto answer = reinterpret_cast<DWORD (*)()>(GetProcAddressW(first, u"PlainAnswer"));
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(answer(), 42u);
  EXPECT_EQ(GetProcAddressW(first, u"DllRegisterServer"), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PROC_NOT_FOUND));
  EXPECT_EQ(GetModuleHandleW(u"plain.dll"), first);
  WCHAR path[MAX_PATH];
  ASSERT_GT(GetModuleFileNameW(first, path, MAX_PATH), 0u);
  EXPECT_EQ(std::u16string(path), u"\\Windows\\plain.dll");

  EXPECT_FALSE(DeleteFileW(u"\\Windows\\plain.dll"));  // loaded: in use
  EXPECT_TRUE(FreeLibrary(first));
  EXPECT_FALSE(DeleteFileW(u"\\Windows\\plain.dll"));  // still one reference
  EXPECT_TRUE(FreeLibrary(second));
  EXPECT_EQ(GetModuleHandleW(u"plain.dll"), nullptr);
  EXPECT_TRUE(DeleteFileW(u"\\Windows\\plain.dll"));
  EXPECT_FALSE(FreeLibrary(first));
}

TEST(Modules, LoadFailures) {
  TempDevice device;
  EXPECT_EQ(LoadLibraryW(u"\\Windows\\missing.dll"), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_MOD_NOT_FOUND));
  testing::WriteHostFile(device.Host("Windows/arm.dll"), "MZ this is an ARM library");
  EXPECT_EQ(LoadLibraryW(u"arm.dll"), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_BAD_EXE_FORMAT));
  EXPECT_TRUE(DeleteFileW(u"\\Windows\\arm.dll"));  // a failed load holds nothing
  device.Install(LibPath("libplain.so"), "Windows/plain.dll");
  ASSERT_TRUE(coredll::SetFaults("load@*plain.dll=126", nullptr));
  EXPECT_EQ(LoadLibraryW(u"plain.dll"), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_MOD_NOT_FOUND));
}

TEST(Modules, BuiltinLibrariesFollowTheProfile) {
  TempDevice device;
  HMODULE core = LoadLibraryW(u"coredll.dll");
  ASSERT_NE(core, nullptr);
  EXPECT_EQ(LoadLibraryW(u"\\Windows\\COREDLL.DLL"), core);
  EXPECT_EQ(reinterpret_cast<void*>(GetProcAddressW(core, u"CreateFileW")),
            reinterpret_cast<void*>(&CreateFileW));
  EXPECT_NE(GetProcAddressW(core, u"SetSystemPowerState"), nullptr);
  EXPECT_EQ(GetProcAddressW(core, u"NoSuchCall"), nullptr);
  WCHAR path[MAX_PATH];
  GetModuleFileNameW(core, path, MAX_PATH);
  EXPECT_EQ(std::u16string(path), u"\\Windows\\coredll.dll");
  EXPECT_TRUE(FreeLibrary(core));

  HMODULE ayg = LoadLibraryW(u"aygshell.dll");
  ASSERT_NE(ayg, nullptr);
  EXPECT_EQ(GetProcAddressW(ayg, u"ExitWindowsEx"), nullptr);  // not before Windows Mobile 5
  HMODULE toolhelp = LoadLibraryW(u"toolhelp.dll");
  ASSERT_NE(toolhelp, nullptr);
  EXPECT_NE(GetProcAddressW(toolhelp, u"Process32First"), nullptr);

  SetProfileLine(device, "toolhelp = true", "toolhelp = false");
  EXPECT_EQ(LoadLibraryW(u"toolhelp.dll"), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_MOD_NOT_FOUND));
  SetProfileLine(device, "set_system_power_state = true", "set_system_power_state = false");
  EXPECT_EQ(GetProcAddressW(LoadLibraryW(u"coredll.dll"), u"SetSystemPowerState"), nullptr);
  SetProfileLine(device, "exit_windows_ex = false", "exit_windows_ex = true");
  auto exit_windows = reinterpret_cast<PFN_ExitWindowsEx>(GetProcAddressW(LoadLibraryW(u"aygshell.dll"), u"ExitWindowsEx"));
  ASSERT_NE(exit_windows, nullptr);
  EXPECT_FALSE(exit_windows(8, 0));  // only a restart is understood
  EXPECT_TRUE(exit_windows(EWX_REBOOT, 0));
  EXPECT_EQ(testing::ReadHostFile(device.folder() + "/boots"), "1\n");
}

TEST(Shell, SpecialFoldersVersionAndPlatformType) {
  TempDevice device;
  WCHAR path[MAX_PATH];
  ASSERT_TRUE(SHGetSpecialFolderPath(nullptr, path, CSIDL_PROGRAMS, FALSE));
  EXPECT_EQ(std::u16string(path), u"\\Windows\\Start Menu\\Programs");
  EXPECT_FALSE(SHGetSpecialFolderPath(nullptr, path, 0x33, FALSE));
  ASSERT_TRUE(RemoveDirectoryW(u"\\Windows\\Favorites"));
  ASSERT_TRUE(SHGetSpecialFolderPath(nullptr, path, CSIDL_FAVORITES, TRUE));
  EXPECT_NE(GetFileAttributesW(u"\\Windows\\Favorites"), INVALID_FILE_ATTRIBUTES);

  OSVERSIONINFOW version = {};
  version.dwOSVersionInfoSize = sizeof version;
  ASSERT_TRUE(GetVersionExW(&version));
  EXPECT_EQ(version.dwPlatformId, 3u);
  EXPECT_EQ(version.dwMajorVersion, 4u);
  EXPECT_EQ(version.dwMinorVersion, 20u);
  version.dwOSVersionInfoSize = 20;
  EXPECT_FALSE(GetVersionExW(&version));

  WCHAR type[128];
  ASSERT_TRUE(SystemParametersInfoW(SPI_GETPLATFORMTYPE, sizeof type, type, 0));
  EXPECT_EQ(std::u16string(type), u"PocketPC");
  EXPECT_FALSE(SystemParametersInfoW(SPI_GETPLATFORMTYPE, 8, type, 0));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
  CoUninitialize();
  CoUninitialize();
}

TEST(Shell, ShortcutsAreCountedQuotedTextFiles) {
  TempDevice device;
  WCHAR target[] = u"\"\\Program Files\\Notes\\notes.exe\" -new";
  WCHAR link[] = u"\\Windows\\Start Menu\\Programs\\Notes.lnk";
  ASSERT_TRUE(SHCreateShortcut(link, target));
  EXPECT_EQ(testing::ReadHostFile(device.Host("Windows/Start Menu/Programs/Notes.lnk")),
            "37#\"\\Program Files\\Notes\\notes.exe\" -new");
  EXPECT_FALSE(SHCreateShortcut(link, target));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_EXISTS));

  WCHAR quoted[] = u"\"\\Windows\\pword.exe\"";
  WCHAR second[] = u"\\Temp\\Word.lnk";
  ASSERT_TRUE(SHCreateShortcut(second, quoted));
  EXPECT_EQ(testing::ReadHostFile(device.Host("Temp/Word.lnk")), "20#\"\\Windows\\pword.exe\"");

  WCHAR via[] = u"\\Temp\\Via.lnk";
  WCHAR to_link[] = u"\\Temp\\Word.lnk";
  ASSERT_TRUE(SHCreateShortcut(via, to_link));  // a shortcut to a shortcut: to its target
  EXPECT_EQ(testing::ReadHostFile(device.Host("Temp/Via.lnk")), "20#\"\\Windows\\pword.exe\"");

  WCHAR wide[] = u"\"\\Program Files\\Café\\app.exe\"";
  WCHAR third[] = u"\\Temp\\Cafe.lnk";
  ASSERT_TRUE(SHCreateShortcut(third, wide));
  EXPECT_EQ(testing::ReadHostFile(device.Host("Temp/Cafe.lnk")),
            "\xEF\xBB\xBF" "29#\"\\Program Files\\Café\\app.exe\"");
  WCHAR read_back[MAX_PATH];
  ASSERT_TRUE(SHGetShortcutTarget(u"\\Temp\\Cafe.lnk", read_back, MAX_PATH));
  EXPECT_EQ(std::u16string(read_back), u"\"\\Program Files\\Café\\app.exe\"");

  // Without quotes the target ends at the first blank, as the handheld's shell reads it.
  WCHAR unquoted[] = u"\\Program Files\\x.exe";
  WCHAR fourth[] = u"\\Temp\\Split.lnk";
  ASSERT_TRUE(SHCreateShortcut(fourth, unquoted));
  EXPECT_EQ(testing::ReadHostFile(device.Host("Temp/Split.lnk")), "22#\"\\Program\" Files\\x.exe");

  WCHAR empty[] = u"";
  EXPECT_FALSE(SHCreateShortcut(third, empty));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

}  // namespace
}  // namespace stowkit
