// The command-line parse: the mode switch and the package, every other switch, the language
// from the device or the line, wait-and-restart lines, invalid lines and the log header.
#include "shell/command_line_parser.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "engine/install_job.h"
#include "engine/status_reporter.h"
#include "resources/ui_strings.h"
#include "services/file_services.h"
#include "support/device_profile.h"
#include "support/log_text.h"
#include "support/temp_device.h"
#include "text/utf.h"

namespace stowkit {
namespace {

using testing::ReadLog;
using testing::TempDevice;

constexpr HRESULT kInvalid = HRESULT(0x80070057);
constexpr std::u16string_view kProgram = u"\"\\Windows\\stowkit.exe\" ";

class CommandLineTest : public ::testing::Test {
 protected:
  CommandLineTest() { CreateStatusReporter(); }
  ~CommandLineTest() override {
    DestroyInstallJob();
    DestroyStatusReporter();
    SetUiLanguage(0);
  }
  // Parses the program's path followed by `arguments`.
  HRESULT Parse(std::u16string_view arguments) {
    return ParseCommandLine(std::u16string(kProgram) + std::u16string(arguments));
  }
  const InstallJob& Job() { return *GetInstallJob(); }
  void SetLocale(const std::string& locale) {
    ASSERT_TRUE(testing::SetProfileLine(device_, "locale_id = 1033", "locale_id = " + locale));
  }
  // Everything logged so far, by opening the log now.
  std::u16string Logged() {
    report::SetLogPath(u"\\seen.txt");
    return ReadLog(device_, "seen.txt");
  }
  static std::u16string ModulePath() {
    std::u16string path;
    GetModulePath(path);
    return path;
  }

  TempDevice device_;
};

TEST_F(CommandLineTest, SilentInstallOfAQuotedPathWithBlanks) {
  ASSERT_EQ(Parse(u"/is \"\\Temp\\My App.pkg\""), S_OK);
  EXPECT_EQ(Job().mode, 1);
  EXPECT_EQ(Job().silent, 1u);
  EXPECT_EQ(Job().package_path, u"\\Temp\\My App.pkg");
  EXPECT_EQ(Job().log_path, u"");
  EXPECT_EQ(Job().owner_window, nullptr);
  EXPECT_EQ(Job().wait_process_id, 0u);
  EXPECT_EQ(Job().macros.Count(), 0);
}

TEST_F(CommandLineTest, TheModeLetterAndTheSilentLetterIgnoreCaseAndEitherPrefix) {
  ASSERT_EQ(Parse(u"-XS a.pkg"), S_OK);
  EXPECT_EQ(Job().mode, 3);
  EXPECT_EQ(Job().silent, 1u);
  ASSERT_EQ(Parse(u"/u a.pkg"), S_OK);
  EXPECT_EQ(Job().mode, 4);
  EXPECT_EQ(Job().silent, 0u);
  ASSERT_EQ(Parse(u"/ix a.pkg"), S_OK);  // a third letter other than "s" is ignored
  EXPECT_EQ(Job().mode, 1);
  EXPECT_EQ(Job().silent, 0u);
  EXPECT_EQ(Job().package_path, u"a.pkg");
}

TEST_F(CommandLineTest, WithoutAPackageTokenTheProgramItselfIsThePackage) {
  ASSERT_EQ(Parse(u"/X"), S_OK);
  EXPECT_EQ(Job().mode, 3);
  EXPECT_EQ(Job().package_path, ModulePath());
  ASSERT_EQ(Parse(u"/i /v \\log.txt"), S_OK);
  EXPECT_EQ(Job().package_path, ModulePath());
  EXPECT_EQ(Job().log_path, u"\\log.txt");
}

TEST_F(CommandLineTest, TheFirstShortSwitchMustBeTheModeSwitch) {
  EXPECT_EQ(Parse(u"/v \\log.txt /i a.pkg"), kInvalid);
  EXPECT_EQ(Parse(u"/Da value /i a.pkg"), kInvalid);
  EXPECT_EQ(Parse(u"/q a.pkg"), kInvalid);
  EXPECT_EQ(Parse(u"a.pkg"), kInvalid);
  EXPECT_EQ(Parse(u""), kInvalid);
  EXPECT_EQ(ParseCommandLine(u""), kInvalid);
  // Longer switches are passed over like plain tokens.
  ASSERT_EQ(Parse(u"/DLONGNAME value /i a.pkg"), S_OK);
  std::u16string value;
  EXPECT_TRUE(Job().macros.GetMacro(u"LONGNAME", value));
  EXPECT_EQ(value, u"value");
  EXPECT_EQ(Job().package_path, u"a.pkg");
}

TEST_F(CommandLineTest, AnInvalidLineIsLoggedAndKeepsWhatWasSet) {
  SetUiLanguage(3);
  ASSERT_EQ(Parse(u"/q a.pkg /v \\log.txt /DX 1"), kInvalid);
  EXPECT_EQ(Job().mode, 1);  // the defaults were set before the switch was refused
  EXPECT_EQ(Job().log_path, u"");
  EXPECT_EQ(Job().macros.Count(), 0);
  EXPECT_EQ(UiLanguage(), 0);
  std::u16string log = Logged();
  std::u16string detail = u"Invalid command line: " + std::u16string(kProgram) +
                          u"/q a.pkg /v \\log.txt /DX 1\r\n";
  ASSERT_GE(log.size(), detail.size());
  EXPECT_EQ(log.substr(log.size() - detail.size()), detail);
}

TEST_F(CommandLineTest, TheLogStartsWithTheHeaderThoughTheHeaderCameFirst) {
  ASSERT_EQ(Parse(u"/i a.pkg /v \\Logs\\run.txt"), S_OK);
  EXPECT_EQ(Job().log_path, u"\\Logs\\run.txt");
  report::Detail(u"after");
  report::Flush();
  std::string log = Utf16ToUtf8(ReadLog(device_, "Logs/run.txt"));
  std::regex header(
      "-{41}\r\n"
      "Date        : (0[1-9]|1[0-2])/[0-3][0-9]/[0-9]{4} [0-2][0-9]:[0-5][0-9]:[0-5][0-9]\r\n"
      "Command line: \"\\\\Windows\\\\stowkit\\.exe\" /i a\\.pkg /v \\\\Logs\\\\run\\.txt\r\n"
      "\r\n\r\n"
      "after\r\n");
  EXPECT_TRUE(std::regex_match(log, header)) << log;
}

TEST_F(CommandLineTest, AValuelessLogSwitchOpensNothing) {
  ASSERT_EQ(Parse(u"/i a.pkg /v"), S_OK);
  EXPECT_EQ(Job().log_path, u"");
  EXPECT_EQ(GetStatusReporter()->LogSink().LogPath(), u"");
}

TEST_F(CommandLineTest, TheLanguageSwitchDecidesOverTheLocale) {
  SetLocale("1036");  // French
  ASSERT_EQ(Parse(u"/i a.pkg"), S_OK);
  EXPECT_EQ(Job().language, 1);
  EXPECT_EQ(UiLanguage(), 1);
  ASSERT_EQ(Parse(u"/i a.pkg /l xx"), S_OK);
  EXPECT_EQ(Job().language, 0);
  EXPECT_EQ(UiLanguage(), 0);
  ASSERT_EQ(Parse(u"/i a.pkg -L ja"), S_OK);
  EXPECT_EQ(Job().language, 5);
  ASSERT_EQ(Parse(u"/i a.pkg /l \""), S_OK);  // a lone quote: the language '', English
  EXPECT_EQ(Job().language, 0);
  for (auto [code, language] : {std::pair{u"fr", 1}, {u"IT", 2}, {u"De", 3}, {u"es", 4}}) {
    ASSERT_EQ(Parse(u"/i a.pkg /l " + std::u16string(code)), S_OK);
    EXPECT_EQ(Job().language, language);
  }
}

TEST_F(CommandLineTest, TheLocaleGivesTheLanguageByItsPrimaryLanguage) {
  for (auto [locale, language] : {std::pair{"1031", 3}, {"2058", 4}, {"1041", 5}, {"1040", 2},
                                  {"3084", 1}, {"1033", 0}, {"1049", 0}}) {
    SetLocale(locale);
    ASSERT_EQ(Parse(u"/i a.pkg"), S_OK);
    EXPECT_EQ(Job().language, language) << locale;
    ASSERT_TRUE(testing::SetProfileLine(device_, std::string("locale_id = ") + locale,
                                        "locale_id = 1033"));
  }
}

TEST_F(CommandLineTest, TheOwnerWindowIsHexadecimal) {
  ASSERT_EQ(Parse(u"/i a.pkg /h 0x1F2e"), S_OK);
  EXPECT_EQ(Job().owner_window, reinterpret_cast<HWND>(uintptr_t{0x1f2e}));
}

TEST_F(CommandLineTest, EachMacroDefinitionTakesTheNextTokenAndALaterOneWins) {
  ASSERT_EQ(Parse(u"/i a.pkg /DApp \\A -dAPP \"\\B c\" /DA /DB /Dc v /DLast"), S_OK);
  std::u16string value;
  EXPECT_TRUE(Job().macros.GetMacro(u"app", value));
  EXPECT_EQ(value, u"\\B c");
  EXPECT_TRUE(Job().macros.GetMacro(u"A", value));
  EXPECT_EQ(value, u"/DB");  // the value is taken as it stands and the scan goes on after it
  EXPECT_TRUE(Job().macros.GetMacro(u"C", value));
  EXPECT_EQ(value, u"v");
  EXPECT_FALSE(Job().macros.GetMacro(u"B", value));
  EXPECT_FALSE(Job().macros.GetMacro(u"LAST", value));
  // A lone quote at the end is a token of its own, an empty one.
  ASSERT_EQ(Parse(u"/i a.pkg /DEmpty \""), S_OK);
  EXPECT_TRUE(Job().macros.GetMacro(u"EMPTY", value));
  EXPECT_EQ(value, u"");
}

TEST_F(CommandLineTest, AWaitLineSetsOnlyTheProcessToWaitFor) {
  SetUiLanguage(2);
  ASSERT_EQ(Parse(u"/p 1234"), S_OK);
  EXPECT_EQ(Job().wait_process_id, 1234u);
  EXPECT_EQ(Job().package_path, u"");
  EXPECT_EQ(UiLanguage(), 2);
  DestroyInstallJob();
  ASSERT_EQ(Parse(u"-P 77x /i a.pkg"), S_OK);  // leading digits count; the rest is not read
  EXPECT_EQ(Job().wait_process_id, 77u);
  EXPECT_EQ(Job().package_path, u"");
}

TEST_F(CommandLineTest, AWaitSwitchThatIsNotFirstOrHasNoIdIsNoWaitLine) {
  ASSERT_EQ(Parse(u"/i a.pkg /p 1234"), S_OK);
  EXPECT_EQ(Job().wait_process_id, 0u);
  EXPECT_EQ(Job().package_path, u"a.pkg");
  EXPECT_EQ(Parse(u"/p 0"), kInvalid);
  EXPECT_EQ(Parse(u"/p abc"), kInvalid);
  EXPECT_EQ(Parse(u"/p 99999999999"), kInvalid);  // no process id is that large
  // Read as an ordinary line, "/p" is then the first short switch, and not a mode switch.
  EXPECT_EQ(Parse(u"/p 0 /i a.pkg"), kInvalid);
  EXPECT_EQ(Job().wait_process_id, 0u);
}

TEST_F(CommandLineTest, AnExistingJobIsFilledRatherThanReplaced) {
  EXPECT_EQ(GetInstallJob(), nullptr);
  InstallJob& job = CreateInstallJob();
  job.macros.SetMacro(u"KEPT", u"1");
  ASSERT_EQ(Parse(u"/i a.pkg"), S_OK);
  EXPECT_EQ(GetInstallJob(), &job);
  EXPECT_EQ(Job().macros.Count(), 1);
  DestroyInstallJob();
  EXPECT_EQ(GetInstallJob(), nullptr);
}

}  // namespace
}  // namespace stowkit
