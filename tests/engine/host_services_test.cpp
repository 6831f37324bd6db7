// The table handed to custom libraries, called slot by slot as a library would, on a fresh
// device; and the C test library called through the engine's hook calls.
#include "engine/host_services.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <memory>

#include "engine/engine.h"
#include "engine/hooks.h"
#include "engine/report_capture.h"
#include "package/vocabulary.h"
#include "services/file_services.h"
#include "services/platform_services.h"
#include "support/child_process.h"
#include "support/log_text.h"
#include "support/temp_device.h"

namespace stowkit {
namespace {

using testing::LibPath;
using testing::Lines;

constexpr char16_t kUnwritten = u'#';

// A buffer pre-filled with a mark, so that what a slot did not write shows.
struct Buffer {
  Buffer() { chars.fill(kUnwritten); }
  WCHAR* data() { return chars.data(); }
  std::u16string Text() const { return std::u16string(chars.data()); }
  std::u16string Raw(size_t count) const { return std::u16string(chars.data(), count); }
  std::array<WCHAR, 16> chars;
};

class HostServicesTest : public ::testing::Test {
 protected:
  HostServicesTest() {
    engine_.package = std::make_unique<Package>();
    FillHostServices(engine_.host_services);
  }
  ~HostServicesTest() override { SetRestartRequest(0); }

  CatalogEntry& AddEntry(uint8_t type, uint8_t entry_flags) {
    auto entry = std::make_unique<CatalogEntry>();
    entry->SetEntryType(type);
    entry->SetEntryFlags(entry_flags);
    CatalogEntry& added = *entry;
    engine_.package->InsertEntry(std::move(entry), -1);
    return added;
  }

  testing::TempDevice device_;
  testing::ReportCapture report_;
  Engine engine_;
  const HostServices& services_ = engine_.host_services;
};

TEST_F(HostServicesTest, EverySlotHoldsAFunction) {
  std::array<void (*)(), STOWKIT_HOST_SERVICE_COUNT> slots;
  std::memcpy(slots.data(), &services_, sizeof slots);
  for (size_t i = 0; i < slots.size(); ++i) EXPECT_NE(slots[i], nullptr) << "slot " << i;
}

TEST_F(HostServicesTest, TextsAreCopiedAsWcsncpyDoes) {
  Buffer shorter, exact, longer, none;
  engine_.application_name = u"ab";
  EXPECT_EQ(services_.GetAppName(shorter.data(), 5), shorter.data());
  EXPECT_EQ(shorter.Raw(6), std::u16string(u"ab\0\0\0#", 6));  // zero-filled to the length

  engine_.application_name = u"abcde";
  services_.GetAppName(exact.data(), 5);
  EXPECT_EQ(exact.Raw(6), u"abcde#");  // not terminated

  engine_.application_name = u"abcdefgh";
  services_.GetAppName(longer.data(), 5);
  EXPECT_EQ(longer.Raw(6), u"abcde#");

  services_.GetAppName(none.data(), 0);
  EXPECT_EQ(none.chars[0], kUnwritten);
  EXPECT_EQ(services_.GetAppName(nullptr, 5), nullptr);
}

TEST_F(HostServicesTest, RunStateSlotsReadTheirOwnFields) {
  engine_.mode = kModeMinorRemove;
  engine_.package_version = 0x01020304;
  engine_.application_name = u"app";
  engine_.display_name = u"display";
  engine_.package_path = u"\\p.pkg";
  engine_.work_folder = u"\\Temp\\W";
  engine_.user_name = u"user";
  engine_.user_language = u"de";
  EXPECT_EQ(services_.GetMode(), 4);
  EXPECT_EQ(services_.GetPackageVersion(), 0x01020304u);

  using TextSlot = WCHAR* (*)(WCHAR*, DWORD);
  const std::pair<TextSlot, std::u16string> texts[] = {
      {services_.GetAppName, u"app"},        {services_.GetDisplayName, u"display"},
      {services_.GetPackagePath, u"\\p.pkg"}, {services_.GetWorkFolder, u"\\Temp\\W"},
      {services_.GetUserName, u"user"},       {services_.GetUserLanguage, u"de"}};
  for (const auto& [slot, expected] : texts) {
    Buffer buffer;
    EXPECT_EQ(std::u16string(slot(buffer.data(), 15)), expected);
  }
}

TEST_F(HostServicesTest, EntryInfoAndPropertiesNameOnlyExistingEntries) {
  AddEntry(kAppFile, kShouldInstall).SetTypeFlags(kSelfRegister | kReadOnly);
  AddEntry(kShortcut, kEntryNoRemove).SetProperty(kLinkName, u"\\Link");
  EXPECT_EQ(services_.GetEntryCount(), 2u);

  BYTE type = 0xAA, entry_flags = 0xAA, type_flags = 0xAA;
  EXPECT_TRUE(services_.GetEntryInfo(0, &type, &entry_flags, &type_flags));
  EXPECT_EQ(type, kAppFile);
  EXPECT_EQ(entry_flags, kShouldInstall);
  EXPECT_EQ(type_flags, kSelfRegister | kReadOnly);
  // 0xFFFFFFFF would be the last entry to the catalog's own lookup.
  for (DWORD index : {2u, 0xFFFFFFFFu}) {
    type = entry_flags = type_flags = 0xAA;
    EXPECT_FALSE(services_.GetEntryInfo(index, &type, &entry_flags, &type_flags));
    EXPECT_EQ(type | entry_flags | type_flags, 0);
  }

  Buffer value, missing, past, wide_id;
  EXPECT_TRUE(services_.GetEntryProperty(1, kLinkName, value.data(), 15));
  EXPECT_EQ(value.Text(), u"\\Link");
  EXPECT_FALSE(services_.GetEntryProperty(1, kLinkTarget, missing.data(), 15));
  EXPECT_FALSE(services_.GetEntryProperty(2, kLinkName, past.data(), 15));
  EXPECT_FALSE(services_.GetEntryProperty(1, 0x100 + kLinkName, wide_id.data(), 15));
  for (Buffer* empty : {&missing, &past, &wide_id}) EXPECT_EQ(empty->Text(), u"");
}

TEST_F(HostServicesTest, SettingAPropertyChangesOnlyAnExistingEntry) {
  CatalogEntry& entry = AddEntry(kAppFile, 0);
  services_.SetEntryProperty(0, kDst, u"\\Program Files\\a.exe");
  services_.SetEntryProperty(0, kLinkArgs, nullptr);
  services_.SetEntryProperty(0, 0x100 + kDate, u"20061205143000");
  services_.SetEntryProperty(1, kDst, u"\\elsewhere");
  services_.SetEntryProperty(0xFFFFFFFF, kDst, u"\\elsewhere");

  std::u16string text;
  EXPECT_TRUE(entry.GetProperty(kDst, text));
  EXPECT_EQ(text, u"\\Program Files\\a.exe");
  EXPECT_TRUE(entry.GetProperty(kLinkArgs, text));
  EXPECT_EQ(text, u"");
  EXPECT_FALSE(entry.GetProperty(kDate, text));
  EXPECT_EQ(engine_.package->NumEntries(), 1);
}

TEST_F(HostServicesTest, MacroReadsExpandAndSayWhetherTheyCould) {
  services_.SetMacro(u"base", u"\\b");
  services_.SetMacro(u"$(NESTED)", u"$(BASE)\\a");
  services_.SetMacro(u"Broken", u"$(NOPE)\\x");
  services_.SetMacro(u"Blank", nullptr);

  Buffer nested, lower, broken, undefined, blank;
  EXPECT_TRUE(services_.GetMacro(u"NESTED", nested.data(), 15));
  EXPECT_EQ(nested.Text(), u"\\b\\a");
  EXPECT_TRUE(services_.GetMacro(u"$(nested)", lower.data(), 15));
  EXPECT_EQ(lower.Text(), u"\\b\\a");
  EXPECT_TRUE(services_.GetMacro(u"BLANK", blank.data(), 15));
  EXPECT_EQ(blank.Text(), u"");

  EXPECT_FALSE(services_.GetMacro(u"Undefined", undefined.data(), 15));
  EXPECT_EQ(undefined.Text(), u"");
  EXPECT_TRUE(engine_.last_error_text.empty());

  EXPECT_FALSE(services_.GetMacro(u"broken", broken.data(), 15));
  EXPECT_EQ(broken.Text(), u"$(NOPE)\\x");
  EXPECT_EQ(engine_.last_error_text, u"Unresolved macro in $(NOPE)\\x: $(NOPE)");
}

TEST_F(HostServicesTest, FeatureAndLanguageSlotsNarrowTheSelection) {
  engine_.selection.features.SetAll(u"Help,Extras,Core");
  engine_.selection.features.Enable(u"Help,Extras");
  engine_.selection.languages.SetAll(u"fr,de");
  engine_.selection.languages.Enable(u"fr,de");
  AddEntry(kAppFile, kShouldInstall).SetProperty(kFeatures, u"Extras");
  AddEntry(kAppFile, kShouldInstall).SetProperty(kFeatures, u"Help");
  AddEntry(kAppFile, kShouldInstall).SetProperty(kLang, u"fr");

  EXPECT_TRUE(services_.IsFeatureEnabled(u""));
  EXPECT_TRUE(services_.IsFeatureEnabled(u"core; extras"));
  EXPECT_FALSE(services_.IsFeatureEnabled(u"Core"));
  services_.DisableFeature(u"extras");
  EXPECT_FALSE(services_.IsFeatureEnabled(u"Extras"));
  EXPECT_EQ(engine_.package->GetEntry(0)->TestEntryFlags(kShouldInstall), 0);
  EXPECT_NE(engine_.package->GetEntry(1)->TestEntryFlags(kShouldInstall), 0);
  EXPECT_EQ(report_.debug, (Lines{u"Dynamically disabling feature: extras"}));

  EXPECT_TRUE(services_.IsLanguageEnabled(u"FR"));
  services_.DisableLanguage(u"fr");
  EXPECT_FALSE(services_.IsLanguageEnabled(u"fr"));
  EXPECT_TRUE(services_.IsLanguageEnabled(u"fr,de"));
  EXPECT_EQ(engine_.package->GetEntry(2)->TestEntryFlags(kShouldInstall), 0);
}

TEST_F(HostServicesTest, SecondaryFeaturesTakeOnlyKnownNames) {
  engine_.selection.features.SetAll(u"A,B");
  engine_.selection.secondary_features.SetAll(u"A,B");
  services_.EnableSecondaryFeatures(u"b;Unknown");
  EXPECT_EQ(engine_.selection.secondary_features.EnabledText(), u"b");
  EXPECT_EQ(engine_.selection.features.EnabledText(), u"");
}

TEST_F(HostServicesTest, ErrorsAndLogLinesGoToTheReporter) {
  report::SetLogPath(u"\\log.txt");
  services_.SetError(u"Custom check failed");
  services_.Log(u"custom says hello");
  // On disk at once: the library may next wait or ask in ways the engine cannot see.
  EXPECT_EQ(testing::ReadLog(device_, "log.txt"),
            u"Custom check failed\r\ncustom says hello\r\n");
  EXPECT_EQ(engine_.last_error_text, u"Custom check failed");
  EXPECT_EQ(report_.detail, (Lines{u"Custom check failed"}));
  EXPECT_EQ(report_.debug, (Lines{u"custom says hello"}));
}

TEST_F(HostServicesTest, ReservedSlotsAnswerWithoutDoingAnything) {
  EXPECT_EQ(services_.Reserved43(), 1);
  services_.ServeMessages();
  EXPECT_EQ(services_.Reserved47(0xDEADBEEF), 0xDEADBEEFu);
  EXPECT_EQ(services_.Reserved48(7), 7u);
}

TEST_F(HostServicesTest, ARestartRequestIsKeptForTheEndOfTheRun) {
  services_.RequestRestart(1);
  EXPECT_EQ(GetRestartRequest(), 1u);
  services_.RequestRestart(0);
  EXPECT_EQ(GetRestartRequest(), 0u);
}

TEST_F(HostServicesTest, RegistrySlotsWriteReadCopyAndDelete) {
  const char16_t* key = u"Software\\Custom\\Deep";
  EXPECT_EQ(services_.SetRegString(HKEY_LOCAL_MACHINE, key, u"Text", u"value"), 1);
  EXPECT_EQ(services_.SetRegDword(HKEY_LOCAL_MACHINE, key, u"Number", 42), 1);

  Buffer text, wrong_type;
  DWORD number = 0;
  EXPECT_EQ(services_.GetRegString(HKEY_LOCAL_MACHINE, key, u"Text", text.data(), 15), 1);
  EXPECT_EQ(text.Text(), u"value");
  EXPECT_EQ(services_.GetRegDword(HKEY_LOCAL_MACHINE, key, u"Number", &number), 1);
  EXPECT_EQ(number, 42u);
  EXPECT_EQ(services_.GetRegString(HKEY_LOCAL_MACHINE, key, u"Number", wrong_type.data(), 15), 0);
  EXPECT_EQ(wrong_type.Text(), u"");
  EXPECT_EQ(GetLastError(), 1804u);
  EXPECT_EQ(services_.GetRegDword(HKEY_LOCAL_MACHINE, key, u"Text", &number), 0);
  EXPECT_EQ(number, 42u);

  EXPECT_EQ(services_.CopyRegTree(HKEY_LOCAL_MACHINE, u"Software\\Custom", HKEY_CURRENT_USER,
                                  u"Software\\Copy"), 1);
  EXPECT_EQ(services_.CopyRegTree(HKEY_LOCAL_MACHINE, nullptr, HKEY_CURRENT_USER, u"X"), 0);
  EXPECT_EQ(services_.GetRegDword(HKEY_CURRENT_USER, u"Software\\Copy\\Deep", u"Number", &number),
            1);

  // Deleting a value also takes the keys it leaves empty.
  EXPECT_EQ(services_.DeleteRegValue(HKEY_LOCAL_MACHINE, key, u"Number"), 1);
  EXPECT_EQ(services_.DeleteRegValue(HKEY_LOCAL_MACHINE, key, u"Text"), 1);
  HKEY opened;
  EXPECT_NE(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Custom", 0, 0, &opened), ERROR_SUCCESS);
  EXPECT_EQ(services_.DeleteRegKey(HKEY_CURRENT_USER, u"Software\\Copy"), 1);
  EXPECT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Copy", 0, 0, &opened), ERROR_SUCCESS);
}

TEST_F(HostServicesTest, FileSlotsCreateFindAndDelete) {
  EXPECT_EQ(services_.CreateFolder(u"\\Temp\\a\\b"), 1);
  EXPECT_EQ(services_.EnsureParentFolder(u"\\Temp\\c\\d\\f.txt"), 1);
  EXPECT_EQ(services_.FileExists(u"\\Temp\\c\\d"), 1);
  testing::WriteHostFile(device_.Host("Temp/a/b/f.txt"), "x");
  ASSERT_TRUE(SetFileAttributesW(u"\\Temp\\a\\b\\f.txt", FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(services_.FileExists(u"\\Temp\\a\\b\\*.txt"), 1);
  EXPECT_EQ(services_.DeleteFile(u"\\Temp\\a\\b\\f.txt"), 1);
  EXPECT_EQ(services_.FileExists(u"\\Temp\\a\\b\\f.txt"), 0);

  testing::WriteHostFile(device_.Host("Temp/a/b/g.txt"), "x");
  EXPECT_EQ(services_.DeleteFolder(u"\\Temp\\a", FALSE), 0);
  EXPECT_NE(services_.DeleteFolder(u"\\Temp\\a", TRUE), 0);
  EXPECT_EQ(services_.FileExists(u"\\Temp\\a"), 0);
}

TEST_F(HostServicesTest, PathSlotsFillTheBuffer) {
  Buffer joined, name, folder;
  services_.JoinPath(u"\\Windows\\", u"\\Start Menu", joined.data(), 15);
  services_.PathFileName(u"\\Windows\\x.lnk", name.data(), 15);
  services_.PathFolder(u"\\Windows\\x.lnk", folder.data(), 15);
  EXPECT_EQ(joined.Raw(15), u"\\Windows\\Start ");  // cut at the length, unterminated
  EXPECT_EQ(name.Text(), u"x.lnk");
  EXPECT_EQ(folder.Text(), u"\\Windows");
}

TEST_F(HostServicesTest, ProgramAndPlatformSlotsReachTheirServices) {
  device_.Install(LibPath("libself_register.so"), "Windows/selfreg.dll");
  EXPECT_TRUE(services_.RegisterLibrary(u"\\Windows\\selfreg.dll"));
  EXPECT_TRUE(services_.UnregisterLibrary(u"\\Windows\\selfreg.dll"));
  EXPECT_FALSE(services_.UnregisterLibrary(u"\\Windows\\selfreg.dll"));  // nothing to remove
  EXPECT_FALSE(services_.RegisterLibrary(u"\\Windows\\none.dll"));

  Buffer user;
  EXPECT_EQ(services_.FindProgramUsingFile(u"\\Windows\\none.dll", user.data(), 15), 0);
  EXPECT_EQ(user.Text(), u"");
  EXPECT_EQ(services_.CloseProgramsByName(u"none.exe"), 1);
  EXPECT_EQ(services_.CloseWindowProgram(u"NoSuchClass", WM_CLOSE, 0, 0, TRUE), 1);
  EXPECT_EQ(services_.Wait(nullptr, 10), 0);

  DWORD type = 0;
  EXPECT_EQ(services_.GetPlatformType(&type), kPlatformPocketPC);
  EXPECT_EQ(type, kPlatformPocketPC);
  EXPECT_EQ(services_.GetPlatformType(nullptr), kPlatformPocketPC);

  Buffer text;
  services_.ErrorText(HRESULT(0x80070002), text.data(), 15);
  EXPECT_EQ(text.Raw(15), ErrorText(2).substr(0, 15));
}

// The C test library, called through the engine's hook calls with the filled table.
class HookRecorderTest : public HostServicesTest {
 protected:
  void Load(const std::string& library) {
    device_.Install(LibPath(library), "Windows/custom.dll");
    engine_.custom_library = LoadLibraryW(u"\\Windows\\custom.dll");
    ASSERT_NE(engine_.custom_library, nullptr);
  }
  std::u16string HookLog() const { return testing::ReadLog(device_, "Temp/hooks/log.txt"); }
};

TEST_F(HookRecorderTest, RecordsEveryCallAndActsOnItsMacros) {
  Load("libhook_recorder.so");
  engine_.selection.features.SetAll(u"Help,Extras");
  engine_.selection.features.Enable(u"Help,Extras");
  engine_.macros.SetMacro(u"HOOKLOG", u"\\Temp\\hooks\\log.txt");
  engine_.macros.SetMacro(u"HOOKDISABLE", u"Extras");
  engine_.macros.SetMacro(u"HOOKSETMACRO", u"APPDIR=$(HOOKLOG)");
  engine_.macros.SetMacro(u"HOOKRESTART", u"1");
  engine_.macros.SetMacro(u"HOOKFAIL", u"HelpCustomPostInstall");
  engine_.macros.SetMacro(u"HOOKSFALSE", u"pkgcustompostinstall");
  engine_.macros.SetMacro(u"HOOKINUSE", u"3");

  EXPECT_EQ(CallGlobalHook(engine_, u"PkgCustomPreInstall"), S_OK);
  EXPECT_EQ(CallFeatureHook(engine_, FeatureHook::kPostInstall, u"Help"), E_FAIL);
  EXPECT_EQ(CallGlobalHook(engine_, u"PkgCustomPostInstall"), S_FALSE);
  EXPECT_EQ(CallFileInUseHook(engine_, u"\\Program Files\\App\\app.exe", 1), 3);

  EXPECT_EQ(HookLog(),
            u"PkgCustomPreInstall 1\r\nHelpCustomPostInstall 1\r\nPkgCustomPostInstall 1\r\n"
            u"PkgCustomFileInUse 1 \\Program Files\\App\\app.exe\r\n");
  EXPECT_EQ(engine_.selection.features.EnabledText(), u"Help");
  std::u16string defined;
  EXPECT_TRUE(engine_.macros.GetMacro(u"APPDIR", defined));
  EXPECT_EQ(defined, u"\\Temp\\hooks\\log.txt");
  EXPECT_EQ(GetRestartRequest(), 1u);
}

TEST_F(HookRecorderTest, ALibraryWithOneHookLacksTheOthers) {
  Load("libpost_install_only.so");
  EXPECT_EQ(CallGlobalHook(engine_, u"PkgCustomPreInstall"), S_OK);
  EXPECT_EQ(CallFeatureHook(engine_, FeatureHook::kPreInstall, u"Help"), S_OK);
  EXPECT_EQ(CallGlobalHook(engine_, u"PkgCustomPostInstall"), S_OK);
  EXPECT_EQ(report_.debug, (Lines{u"post-install-only: PkgCustomPostInstall"}));
}

}  // namespace
}  // namespace stowkit
