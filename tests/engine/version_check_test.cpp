// The version check against a real product record: when it asks, what it asks, and the
// refusal.
#include "engine/version_check.h"

#include <gtest/gtest.h>

#include "engine/report_capture.h"
#include "services/product_state.h"
#include "support/log_text.h"
#include "support/temp_device.h"

namespace stowkit {
namespace {

using testing::Lines;

constexpr Version k150 = 0x01050000;
constexpr Version k200 = 0x02000000;

class VersionCheckTest : public ::testing::Test {
 protected:
  VersionCheckRun Run(Version package_version, bool answer) {
    VersionCheckRun run;
    run.package_version = package_version;
    run.application_name = u"Notes";
    run.display_name = u"Field Notes";
    run.ask = [this, answer](HWND owner, std::u16string_view text,
                             std::u16string_view caption) {
      EXPECT_EQ(owner, report_.owner);
      questions_.emplace_back(text);
      captions_.emplace_back(caption);
      logged_when_asked_.push_back(testing::ReadLog(device_, "log.txt"));
      return answer;
    };
    return run;
  }
  void Install(Version version) { ASSERT_EQ(SetStateDword(u"Notes", kStateVersion, version), 1); }

  testing::TempDevice device_;
  testing::ReportCapture report_;
  Lines questions_, captions_, logged_when_asked_;
  std::u16string last_error_ = u"untouched";
};

TEST_F(VersionCheckTest, AnOlderPackageAsksAndNoRefusesTheInstall) {
  Install(k200);
  report::SetLogPath(u"\\log.txt");
  EXPECT_EQ(CheckVersion(Run(k150, false), last_error_), E_FAIL);
  EXPECT_EQ(questions_, (Lines{u"A newer version of this application is already installed.  "
                               u"Do you really want to overwrite it with an older version?"}));
  EXPECT_EQ(captions_, (Lines{u"Field Notes"}));
  EXPECT_EQ(report_.debug, (Lines{u"Package version = 1.5.0.0, existing version = 2.0.0.0"}));
  // The user may take any time to answer, or end the run: what it logged is on disk first.
  EXPECT_EQ(logged_when_asked_,
            (Lines{u"Package version = 1.5.0.0, existing version = 2.0.0.0\r\n"}));
  EXPECT_EQ(last_error_, u"Version '2.0.0.0' of 'Field Notes' is currently installed and is "
                         u"newer than the version '1.5.0.0' contained in this package.");
  EXPECT_EQ(report_.detail, (Lines{last_error_}));
}

TEST_F(VersionCheckTest, YesInstallsTheOlderVersion) {
  Install(k200);
  EXPECT_EQ(CheckVersion(Run(k150, true), last_error_), S_OK);
  EXPECT_EQ(questions_.size(), 1u);
  EXPECT_EQ(last_error_, u"untouched");
  EXPECT_TRUE(report_.detail.empty());
}

TEST_F(VersionCheckTest, ASilentRunNeverAsks) {
  Install(k200);
  VersionCheckRun run = Run(k150, false);
  run.silent = true;
  EXPECT_EQ(CheckVersion(run, last_error_), S_OK);
  EXPECT_TRUE(questions_.empty());
  EXPECT_EQ(report_.debug, (Lines{u"Package version = 1.5.0.0, existing version = 2.0.0.0"}));
}

TEST_F(VersionCheckTest, EqualNewerOrNoInstalledVersionDoesNotAsk) {
  EXPECT_EQ(CheckVersion(Run(k150, false), last_error_), S_OK);
  Install(k150);
  EXPECT_EQ(CheckVersion(Run(k150, false), last_error_), S_OK);
  EXPECT_EQ(CheckVersion(Run(k200, false), last_error_), S_OK);
  EXPECT_TRUE(questions_.empty());
  EXPECT_EQ(report_.debug, (Lines{u"Package version = 1.5.0.0, existing version = 0.0.0.0",
                           u"Package version = 1.5.0.0, existing version = 1.5.0.0",
                           u"Package version = 2.0.0.0, existing version = 1.5.0.0"}));
}

TEST_F(VersionCheckTest, VersionsCompareAsUnsignedNumbers) {
  Install(0x80000000);
  EXPECT_EQ(CheckVersion(Run(0x7F0A0B0C, false), last_error_), E_FAIL);
  EXPECT_EQ(report_.debug,
            (Lines{u"Package version = 127.10.11.12, existing version = 128.0.0.0"}));
}

TEST_F(VersionCheckTest, APackageThatLeavesNoUninstallerIsNotChecked) {
  Install(k200);
  VersionCheckRun run = Run(k150, false);
  run.package_flags = 0x01 | 0x10;
  EXPECT_EQ(CheckVersion(run, last_error_), S_FALSE);
  EXPECT_TRUE(questions_.empty());
  EXPECT_TRUE(report_.debug.empty());
}

}  // namespace
}  // namespace stowkit
