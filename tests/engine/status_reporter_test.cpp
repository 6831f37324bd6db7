// The process-wide reporter: its lifetime, the fan-out to the log and the second sink, stage
// texts by id, and the owner window.
#include "engine/status_reporter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/log_text.h"
#include "resources/ui_strings.h"
#include "support/temp_device.h"

namespace stowkit {
namespace {

using testing::ReadLog;
using testing::TempDevice;

// Records every call as one text, as a progress dialog would receive them.
class RecordingSink final : public StatusSink {
 public:
  void Begin(std::u16string_view name, int32_t mode) override {
    calls.push_back(u"Begin " + std::u16string(name) + u" " + Number(mode));
  }
  void Status(std::u16string_view text) override { calls.push_back(u"Status " + std::u16string(text)); }
  void Detail(std::u16string_view text) override { calls.push_back(u"Detail " + std::u16string(text)); }
  void Debug(std::u16string_view text) override { calls.push_back(u"Debug " + std::u16string(text)); }
  void Progress(int32_t position, int32_t range) override {
    calls.push_back(u"Progress " + Number(position) + u"/" + Number(range));
  }
  void Refresh() override { calls.push_back(u"Refresh"); }
  void Complete(int32_t status) override { calls.push_back(u"Complete " + Number(status)); }
  HWND OwnerWindow() override { return window; }

  std::vector<std::u16string> calls;
  HWND window = reinterpret_cast<HWND>(uintptr_t{0x1234});

 private:
  static std::u16string Number(int32_t n) {
    std::string digits = std::to_string(n);
    return std::u16string(digits.begin(), digits.end());
  }
};

class StatusReporterTest : public ::testing::Test {
 protected:
  StatusReporterTest() { CreateStatusReporter(); }
  ~StatusReporterTest() override {
    DestroyStatusReporter();
    SetUiLanguage(0);
  }
  TempDevice device_;
};

TEST_F(StatusReporterTest, EveryReportReachesTheLogThenTheSecondSink) {
  RecordingSink dialog;
  report::AttachSecondSink(&dialog);
  report::SetLogPath(u"\\log.txt");
  report::Begin(u"App", 3);
  report::Status(UiStringId::kInitializing);
  report::Detail(u"item");
  report::Debug(u"note");
  // A flush writes what the log holds and asks nothing of the second sink.
  report::Flush();
  EXPECT_EQ(ReadLog(device_, "log.txt"),
            u"Begin PKG_MODE_FULL_REMOVE for App\r\nInitializing ...\r\nitem\r\nnote\r\n");
  report::Progress(1, 10);
  report::Refresh();
  report::Complete(0);
  EXPECT_EQ(dialog.calls,
            (std::vector<std::u16string>{u"Begin App 3", u"Status Initializing ...",
                                         u"Detail item", u"Debug note", u"Progress 1/10",
                                         u"Refresh", u"Complete 0"}));
  EXPECT_EQ(ReadLog(device_, "log.txt"),
            u"Begin PKG_MODE_FULL_REMOVE for App\r\nInitializing ...\r\nitem\r\nnote\r\n"
            u"Completion status = 0\r\n");
}

TEST_F(StatusReporterTest, StageTextsAreTakenInTheUiLanguage) {
  RecordingSink dialog;
  report::AttachSecondSink(&dialog);
  SetUiLanguage(1);
  std::u16string french = LoadUiString(UiStringId::kCreatingShortcuts);
  ASSERT_NE(french, u"Creating shortcuts ...");
  report::Status(UiStringId::kCreatingShortcuts);
  EXPECT_EQ(dialog.calls, std::vector<std::u16string>{u"Status " + french});
}

TEST_F(StatusReporterTest, TheOwnerWindowComesFromTheSecondSinkOnly) {
  EXPECT_EQ(report::OwnerWindow(), nullptr);
  RecordingSink dialog;
  report::AttachSecondSink(&dialog);
  EXPECT_EQ(report::OwnerWindow(), dialog.window);
  report::AttachSecondSink(nullptr);
  EXPECT_EQ(report::OwnerWindow(), nullptr);
  report::Detail(u"after detaching");
  EXPECT_TRUE(dialog.calls.empty());
}

TEST_F(StatusReporterTest, CreatingAgainKeepsTheReporterAndItsLog) {
  StatusReporter* first = GetStatusReporter();
  report::Debug(u"header");
  CreateStatusReporter();
  EXPECT_EQ(GetStatusReporter(), first);
  report::SetLogPath(u"\\log.txt");
  EXPECT_EQ(ReadLog(device_, "log.txt"), u"header\r\n");
}

TEST_F(StatusReporterTest, DestroyingClosesTheLogButLeavesTheSecondSinkAlone) {
  RecordingSink dialog;
  report::AttachSecondSink(&dialog);
  report::SetLogPath(u"\\log.txt");
  report::Detail(u"x");
  DestroyStatusReporter();
  EXPECT_EQ(GetStatusReporter(), nullptr);
  EXPECT_TRUE(DeleteFileW(u"\\log.txt"));
  report::Detail(u"no reporter");
  EXPECT_EQ(report::OwnerWindow(), nullptr);
  EXPECT_EQ(dialog.calls, std::vector<std::u16string>{u"Detail x"});
}

}  // namespace
}  // namespace stowkit
