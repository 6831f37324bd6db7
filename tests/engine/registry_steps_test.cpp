// The registry steps on a device: which entries they gather, the write rules against the
// values already there, removal from the last line to the first, and every message they
// send. The working file must be gone after every run, successful or not.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "coredll/device.h"
#include "engine/catalog_steps.h"
#include "engine/engine.h"
#include "engine/report_capture.h"
#include "package/package_bytes.h"
#include "package/vocabulary.h"
#include "services/file_services.h"
#include "services/hresult.h"
#include "services/platform_services.h"
#include "services/registry_services.h"
#include "support/temp_device.h"

namespace stowkit {
namespace {

using testing::EntryLayout;
using testing::Lines;

const HKEY kLm = HKEY_LOCAL_MACHINE;

EntryLayout RegistryEntry(const std::string& text, uint8_t flags = kShouldInstall,
                          bool compressed = false) {
  EntryLayout e;
  e.type = kRegistry;
  e.entry_flags = flags | (compressed ? kBlobCompressed : 0);
  e.blob = compressed ? testing::RawDeflate(text) : text;
  e.final_size = uint32_t(text.size());
  e.crc = testing::Crc(text);
  return e;
}

std::u16string Text(HKEY root, std::u16string_view key, std::u16string_view name) {
  std::u16string text;
  return GetRegString(root, key, name, text) ? text : u"<missing>";
}

uint32_t Number(std::u16string_view key, std::u16string_view name) {
  uint32_t value = 0xDEADBEEF;
  GetRegDword(kLm, key, name, value);
  return value;
}

bool KeyExists(std::u16string_view subkey) {
  std::vector<std::u16string> ignored;
  return ListRegSubkeys(kLm, subkey, ignored) != 0;
}

class RegistryStepsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    engine_.application_name = u"App";
    engine_.work_folder = u"\\Temp\\work";
    ASSERT_EQ(CreateFolder(engine_.work_folder), 1);
    engine_.macros.SetMacro(u"PROGRAMFILES", u"\\Program Files");
    engine_.macros.SetMacro(u"APP", u"Example");
  }

  void Load(const std::vector<EntryLayout>& entries) {
    testing::PackageLayout layout;
    layout.entries = entries;
    testing::WriteHostFile(device_.Host("Temp/app.pkg"), testing::BuildPackage(layout));
    std::u16string error;
    ASSERT_EQ(OpenPackage(error, u"\\Temp\\app.pkg", engine_.package), S_OK);
  }

  // Nothing of the working file or its per-entry pieces stays behind.
  bool WorkFolderEmpty() { return std::filesystem::is_empty(device_.Host("Temp/work")); }

  testing::TempDevice device_;
  testing::ReportCapture report_;
  Engine engine_;
};

TEST_F(RegistryStepsTest, MergeWritesTheSelectedEntriesInCatalogOrderWithMacrosExpanded) {
  Load({RegistryEntry("// values of the application\r\n"
                      "\r\n"
                      "HKLM, Software\\$(APP), 0, Path, \"$(PROGRAMFILES)\\$(APP), v2\", ,\r\n"
                      "HKLM, Software\\$(APP), 1, Hex, 0x10, ,\r\n"
                      "HKLM, Software\\$(APP), 257, All, -1, ,\r\n"
                      "hkcu, Software\\$(APP), 256, $(APP)Name, first, ,\n"),
        RegistryEntry("HKCU, Software\\Example, 0, ExampleName, second, , ", kShouldInstall,
                      true),
        // The text before lacks a final line feed: this one still starts a line of its own.
        RegistryEntry("HKLM, Software\\Example, 0, Last, third, ,"),
        RegistryEntry("HKLM, Software\\Unselected, 0, V, x, ,", 0),
        RegistryEntry("HKLM, Software\\Ignored, 0, V, x, ,", kShouldInstall | kIgnoreBlob),
        testing::FileEntry("HKLM, Software\\NotRegistry, 0, V, x, ,", false, u"\\x")});

  EXPECT_EQ(MergeRegistry(engine_), S_OK);
  EXPECT_EQ(Text(kLm, u"Software\\Example", u"Path"), u"\\Program Files\\Example, v2");
  EXPECT_EQ(Number(u"Software\\Example", u"Hex"), 0u);
  EXPECT_EQ(Number(u"Software\\Example", u"All"), 0xFFFFFFFFu);
  EXPECT_EQ(Text(HKEY_CURRENT_USER, u"Software\\Example", u"ExampleName"), u"second");
  EXPECT_EQ(Text(kLm, u"Software\\Example", u"Last"), u"third");
  EXPECT_FALSE(KeyExists(u"Software\\Unselected"));
  EXPECT_FALSE(KeyExists(u"Software\\Ignored"));
  EXPECT_FALSE(KeyExists(u"Software\\NotRegistry"));
  EXPECT_EQ(report_.detail, (Lines{u"Software\\Example, Path, \"\\Program Files\\Example, v2\"",
                                   u"Software\\Example, Hex, 0x0",
                                   u"Software\\Example, All, 0xffffffff",
                                   u"Software\\Example, ExampleName, \"first\"",
                                   u"Software\\Example, ExampleName, \"second\"",
                                   u"Software\\Example, Last, \"third\""}));
  EXPECT_TRUE(WorkFolderEmpty());
}

TEST_F(RegistryStepsTest, InstallRulesDecideAgainstTheValuesAlreadyThere) {
  ASSERT_EQ(SetRegString(kLm, u"Rules", u"Kept", u"old"), 1);
  ASSERT_EQ(SetRegString(kLm, u"Rules", u"Replaced", u"old"), 1);
  ASSERT_EQ(SetRegString(kLm, u"Rules", u"Overwritten", u"old"), 1);
  ASSERT_EQ(SetRegString(kLm, u"Rules", u"Always", u"old"), 1);
  ASSERT_EQ(SetRegString(kLm, u"Rules\\Doomed", u"Gone", u"old"), 1);
  Load({RegistryEntry("HKLM, Rules, 0, Kept, new, NoOverwrite, \n"
                      "HKLM, Rules, 0, Added, new, NoOverwrite, \n"
                      "HKLM, Rules, 0, Overwritten, new, OnlyOverwrite, \n"
                      "HKLM, Rules, 0, NeverThere, new, OnlyOverwrite, \n"
                      "HKLM, Rules, 0, Always, new, Default, \n"
                      "HKLM, Rules\\Doomed, 0, Gone, , Delete, \n"
                      // A number where a text is: the text writer takes it as absent.
                      "HKLM, Rules, 1, Replaced, 5, NoOverwrite, \n")});

  EXPECT_EQ(MergeRegistry(engine_), S_OK);
  EXPECT_EQ(Text(kLm, u"Rules", u"Kept"), u"old");
  EXPECT_EQ(Text(kLm, u"Rules", u"Added"), u"new");
  EXPECT_EQ(Text(kLm, u"Rules", u"Overwritten"), u"new");
  EXPECT_EQ(Text(kLm, u"Rules", u"NeverThere"), u"<missing>");
  EXPECT_EQ(Text(kLm, u"Rules", u"Always"), u"new");
  EXPECT_EQ(Number(u"Rules", u"Replaced"), 5u);
  EXPECT_FALSE(KeyExists(u"Rules\\Doomed"));
}

TEST_F(RegistryStepsTest, NothingToMergeSucceedsWithoutTouchingTheRegistry) {
  // A stored empty text has no blob; a compressed one is an empty deflate stream.
  Load({RegistryEntry(""), RegistryEntry("", kShouldInstall, true),
        RegistryEntry("// only a comment\r\n\r\n   \r\n")});
  EXPECT_EQ(MergeRegistry(engine_), S_OK);
  Load({});
  EXPECT_EQ(MergeRegistry(engine_), S_OK);
  EXPECT_TRUE(report_.detail.empty());
  EXPECT_TRUE(WorkFolderEmpty());
}

TEST_F(RegistryStepsTest, ABadLineStopsTheMergeAfterTheLinesBeforeIt) {
  Load({RegistryEntry("HKLM, Soft, 0, Before, x, ,\n"
                      "  HKLM, Soft, 2, Bad, x, ,  \r\n"
                      "HKLM, Soft, 0, After, x, ,\n")});
  EXPECT_EQ(MergeRegistry(engine_), kGenericFailure);
  EXPECT_EQ(engine_.last_error_text,
            u"Error parsing registry file: line = HKLM, Soft, 2, Bad, x, ,");
  EXPECT_EQ(report_.detail.back(), engine_.last_error_text);
  EXPECT_EQ(Text(kLm, u"Soft", u"Before"), u"x");
  EXPECT_EQ(Text(kLm, u"Soft", u"After"), u"<missing>");
  EXPECT_TRUE(WorkFolderEmpty());
}

TEST_F(RegistryStepsTest, AnUnknownMacroStopsTheMergeInAKeyOrNameButNotInData) {
  Load({RegistryEntry("HKLM, Soft, 0, Data, $(NOPE)\\x, ,\n"
                      "HKLM, Soft, 0, $(NOPE), x, ,\n"
                      "HKLM, Soft, 0, After, x, ,\n")});
  EXPECT_EQ(MergeRegistry(engine_), kGenericFailure);
  EXPECT_EQ(Text(kLm, u"Soft", u"Data"), u"$(NOPE)\\x");
  EXPECT_EQ(Text(kLm, u"Soft", u"After"), u"<missing>");
  EXPECT_EQ(engine_.last_error_text, u"Unresolved macro in $(NOPE): $(NOPE)");
  EXPECT_EQ(report_.detail, (Lines{u"Unresolved macro in $(NOPE)\\x: $(NOPE)",
                                   u"Soft, Data, \"$(NOPE)\\x\"", engine_.last_error_text}));
  EXPECT_TRUE(WorkFolderEmpty());
}

TEST_F(RegistryStepsTest, AWriteTheRegistryRefusesStopsTheMergeWithItsCause) {
  // A key path with an empty level is refused by the registry (87).
  Load({RegistryEntry("HKLM, Soft\\\\Bad, 0, V, x, ,\nHKLM, Soft, 0, After, x, ,\n")});
  HRESULT refused = HResultFromError(ERROR_INVALID_PARAMETER);
  EXPECT_EQ(MergeRegistry(engine_), refused);
  EXPECT_EQ(engine_.last_error_text, u"Error writing registry value 'Soft\\\\Bad, V, \"x\"': " +
                                         ErrorText(uint32_t(refused)));
  EXPECT_EQ(report_.detail.back(), engine_.last_error_text);
  EXPECT_EQ(Text(kLm, u"Soft", u"After"), u"<missing>");
  EXPECT_TRUE(WorkFolderEmpty());
}

TEST_F(RegistryStepsTest, AnEntryThatCannotBeExtractedFailsBeforeAnyValueIsWritten) {
  EntryLayout corrupt = RegistryEntry("HKLM, Soft, 0, Second, x, ,\n");
  corrupt.crc ^= 1;
  Load({RegistryEntry("HKLM, Soft, 0, First, x, ,\n"), corrupt});
  EXPECT_EQ(MergeRegistry(engine_), kCrcMismatch);
  EXPECT_EQ(engine_.last_error_text,
            u"Error extracting registry entry to \\Temp\\work\\App.registry, hr = 0x80070017");
  EXPECT_EQ(report_.detail, Lines{engine_.last_error_text});
  EXPECT_FALSE(KeyExists(u"Soft"));
  EXPECT_TRUE(WorkFolderEmpty());
}

TEST_F(RegistryStepsTest, AWorkingFileThatCannotBeReadFailsEitherStep) {
  Load({RegistryEntry("HKLM, Soft, 0, V, x, ,\n", kShouldInstall),
        RegistryEntry("HKLM, Soft, 0, W, x, ,\n", 0)});
  ASSERT_EQ(SetRegString(kLm, u"Soft", u"W", u"x"), 1);
  ASSERT_TRUE(coredll::SetFaults("size@*\\App.registry=5", nullptr));
  const std::u16string message =
      u"Error opening registry file \\Temp\\work\\App.registry, hr = 0x80070005";

  EXPECT_EQ(MergeRegistry(engine_), HResultFromError(ERROR_ACCESS_DENIED));
  EXPECT_EQ(engine_.last_error_text, message);
  EXPECT_EQ(Text(kLm, u"Soft", u"V"), u"<missing>");
  EXPECT_TRUE(WorkFolderEmpty());

  engine_.last_error_text.clear();
  engine_.mode = kModeFullRemove;
  EXPECT_EQ(RemoveRegistryValues(engine_), HResultFromError(ERROR_ACCESS_DENIED));
  EXPECT_EQ(engine_.last_error_text, message);
  EXPECT_EQ(Text(kLm, u"Soft", u"W"), u"x");
  EXPECT_TRUE(WorkFolderEmpty());
}

class RegistryRemovalTest : public RegistryStepsTest {
 protected:
  void SetUp() override {
    RegistryStepsTest::SetUp();
    engine_.mode = kModeFullRemove;
    for (const char16_t* name : {u"A", u"B", u"C", u"D"}) {
      ASSERT_EQ(SetRegString(kLm, u"Software\\Example\\Sub", name, u"x"), 1);
    }
    ASSERT_EQ(SetRegString(kLm, u"Software\\Example", u"Kept", u"x"), 1);
    ASSERT_EQ(SetRegString(kLm, u"Software\\Example", u"Top", u"x"), 1);
    ASSERT_EQ(SetRegString(kLm, u"Software\\Other", u"V", u"x"), 1);
  }
};

TEST_F(RegistryRemovalTest, ValuesGoFromTheLastLineToTheFirstAndTheirEmptyKeysWithThem) {
  Load({RegistryEntry("HKLM, Software\\$(APP), 0, Top, x, Delete, RemoveAlways\n"
                      "HKLM, Software\\$(APP), 0, Kept, x, , NoRemove\n"
                      "HKLM, Software\\$(APP)\\Sub, 0, A, x, NoOverwrite, \n"),
        RegistryEntry("HKLM, Software\\$(APP)\\Sub, 1, B, 1, OnlyOverwrite, Default\r\n"
                      "HKLM, Software\\$(APP)\\Sub, 0, Missing, x, ,\r\n"
                      "HKLM, Software\\$(APP)\\Sub, 0, C, x, ,\r\n",
                      0, true),
        RegistryEntry("HKLM, Software\\$(APP)\\Sub, 0, D, x, ,\n", kEntryNoRemove)});

  EXPECT_EQ(RemoveRegistryValues(engine_), S_OK);
  EXPECT_EQ(report_.detail, (Lines{u"Software\\Example\\Sub, C", u"Software\\Example\\Sub, Missing",
                                   u"Software\\Example\\Sub, B", u"Software\\Example\\Sub, A",
                                   u"Software\\Example, Kept", u"Software\\Example, Top"}));
  EXPECT_EQ(Text(kLm, u"Software\\Example\\Sub", u"D"), u"x");
  for (const char16_t* name : {u"A", u"B", u"C"}) {
    EXPECT_EQ(Text(kLm, u"Software\\Example\\Sub", name), u"<missing>");
  }
  EXPECT_EQ(Text(kLm, u"Software\\Example", u"Kept"), u"x");
  EXPECT_EQ(Text(kLm, u"Software\\Example", u"Top"), u"<missing>");
  EXPECT_TRUE(WorkFolderEmpty());

  // Once the last value of a key is gone, the key goes too, up to the first key still in use.
  Load({RegistryEntry("HKLM, Software\\$(APP)\\Sub, 0, D, x, ,\n"
                      "HKLM, Software\\$(APP), 0, Kept, x, ,\n")});
  EXPECT_EQ(RemoveRegistryValues(engine_), S_OK);
  EXPECT_FALSE(KeyExists(u"Software\\Example"));
  EXPECT_TRUE(KeyExists(u"Software"));
}

TEST_F(RegistryRemovalTest, LinesThatCannotBeReadAreReportedAndTheOthersStillRemoved) {
  Load({RegistryEntry("HKLM, Software\\$(APP)\\Sub, 0, A, x, ,\n"
                      "HKLM, Software\\$(NOPE)\\Sub, 0, B, x, ,\n"
                      "HKLM, Software\\$(APP)\\Sub, 9, C, x, ,\n"
                      "HKLM, Software\\$(APP)\\Sub, 0, D, x, ,\n")});

  // The first line of the text is handled last and decides: it went well.
  EXPECT_EQ(RemoveRegistryValues(engine_), S_OK);
  EXPECT_EQ(report_.detail,
            (Lines{u"Software\\Example\\Sub, D",
                   u"Error parsing registry file: line = HKLM, Software\\$(APP)\\Sub, 9, C, x, ,",
                   u"Software\\$(NOPE)\\Sub, B",
                   u"Unresolved macro in Software\\$(NOPE)\\Sub: $(NOPE)",
                   u"Software\\Example\\Sub, A"}));
  EXPECT_EQ(engine_.last_error_text, u"Unresolved macro in Software\\$(NOPE)\\Sub: $(NOPE)");
  EXPECT_EQ(Text(kLm, u"Software\\Example\\Sub", u"A"), u"<missing>");
  EXPECT_EQ(Text(kLm, u"Software\\Example\\Sub", u"B"), u"x");
  EXPECT_EQ(Text(kLm, u"Software\\Example\\Sub", u"C"), u"x");
  EXPECT_EQ(Text(kLm, u"Software\\Example\\Sub", u"D"), u"<missing>");
  EXPECT_TRUE(WorkFolderEmpty());

  // A first line that cannot be read fails the step, after every other line was handled.
  Load({RegistryEntry("HKLM, Software\\$(NOPE), 0, E, x, ,\n"
                      "HKLM, Software\\$(APP)\\Sub, 0, D, x, ,\n")});
  EXPECT_EQ(RemoveRegistryValues(engine_), kGenericFailure);
  EXPECT_EQ(Text(kLm, u"Software\\Example\\Sub", u"D"), u"<missing>");
}

TEST_F(RegistryRemovalTest, TheRunModeChoosesTheEntries) {
  std::vector<EntryLayout> entries = {
      RegistryEntry("HKLM, Software\\Example\\Sub, 0, A, x, ,\n", kShouldInstall),
      RegistryEntry("HKLM, Software\\Example\\Sub, 0, B, x, ,\n", 0),
      RegistryEntry("HKLM, Software\\Example\\Sub, 0, C, x, ,\n", kKeepOnMinorRemove)};
  Load(entries);
  engine_.mode = kModePatchInstall;
  EXPECT_EQ(RemoveRegistryValues(engine_), S_OK);
  EXPECT_TRUE(report_.detail.empty());

  // A full install removes what the selection dropped.
  engine_.mode = kModeFullInstall;
  EXPECT_EQ(RemoveRegistryValues(engine_), S_OK);
  EXPECT_EQ(report_.detail, Lines{u"Software\\Example\\Sub, B"});

  report_.detail.clear();
  engine_.mode = kModeMinorRemove;
  EXPECT_EQ(RemoveRegistryValues(engine_), S_OK);
  EXPECT_EQ(report_.detail, (Lines{u"Software\\Example\\Sub, B", u"Software\\Example\\Sub, A"}));
  EXPECT_EQ(Text(kLm, u"Software\\Example\\Sub", u"C"), u"x");
}

TEST_F(RegistryRemovalTest, DeletesTheRegistryRefusesAreReportedAndTheWalkGoesOn) {
  Load({RegistryEntry("HKLM, Software\\Example\\Sub, 0, A, x, ,\n"
                      "HKLM, Software\\Example\\Sub, 0, B, x, , NoRemove\n"
                      "HKLM, Software\\Example\\Sub, 0, C, x, ,\n")});
  // A registry database that cannot be opened makes every registry call fail.
  namespace fs = std::filesystem;
  for (const char* suffix : {"", "-wal", "-shm"}) {
    fs::remove(device_.folder() + "/registry.db" + suffix);
  }
  fs::create_directory(device_.folder() + "/registry.db");
  coredll::SelectDevice(device_.folder());

  EXPECT_EQ(RemoveRegistryValues(engine_), S_FALSE);
  const std::u16string refused = u"Error deleting registry value 'Software\\Example\\Sub, ";
  ASSERT_EQ(report_.detail.size(), 5u);
  EXPECT_EQ(report_.detail[0], u"Software\\Example\\Sub, C");
  EXPECT_EQ(report_.detail[1].substr(0, refused.size() + 4), refused + u"C': ");
  EXPECT_GT(report_.detail[1].size(), refused.size() + 4);
  EXPECT_EQ(report_.detail[2], u"Software\\Example\\Sub, B");  // NoRemove: nothing to delete
  EXPECT_EQ(report_.detail[4].substr(0, refused.size() + 4), refused + u"A': ");
  EXPECT_EQ(engine_.last_error_text, report_.detail[4]);
  EXPECT_TRUE(WorkFolderEmpty());
}

}  // namespace
}  // namespace stowkit
