// stowkit-device answer: queuing scripted answers, refusing unknown words, clearing, and a
// device program's message box taking what was queued.
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "support/child_process.h"
#include "support/tool_run.h"

namespace stowkit {
namespace {

namespace fs = std::filesystem;

class AnswerToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/stowkit-answer-XXXXXX";
    work_ = mkdtemp(pattern);
    device_ = work_ + "/dev";
    ASSERT_EQ(Run({"init"}).status, 0);
  }
  void TearDown() override { fs::remove_all(work_); }

  testing::ToolResult Run(std::vector<std::string> args) {
    args.insert(args.begin(), {"--device", device_});
    return testing::RunShell(testing::CommandLine(testing::BinPath("stowkit-device"), args) + " </dev/null",
                             work_);
  }

  std::string Queue() const { return testing::ReadHostFile(device_ + "/run/answers"); }

  std::string work_, device_;
};

TEST_F(AnswerToolTest, AnswersAreQueuedInOrderAndCleared) {
  ASSERT_EQ(Run({"answer", "yes,Retry"}).status, 0);
  ASSERT_EQ(Run({"answer", "no", "ok, cancel"}).status, 0);
  EXPECT_EQ(Queue(), "yes\nretry\nno\nok\ncancel\n");
  ASSERT_EQ(Run({"answer", "--clear"}).status, 0);
  EXPECT_EQ(Queue(), "");
}

TEST_F(AnswerToolTest, AWrongWordQueuesNothingAndSaysWhy) {
  ASSERT_EQ(Run({"answer", "yes"}).status, 0);
  testing::ToolResult bad = Run({"answer", "no,maybe"});
  EXPECT_EQ(bad.status, 1);
  EXPECT_EQ(bad.err,
            "stowkit-device: answer: unknown answer 'maybe' (use yes, no, ok, cancel, retry, abort "
            "or ignore)\n");
  EXPECT_EQ(Run({"answer", "yes,,no"}).err.find("unknown answer ''") != std::string::npos, true);
  EXPECT_EQ(Queue(), "yes\n");
  EXPECT_EQ(Run({"answer"}).err, "stowkit-device: answer: give ANSWER[,ANSWER...] or --clear\n");
  EXPECT_NE(Run({"answer", "--clear", "yes"}).status, 0);
  EXPECT_EQ(Queue(), "yes\n");
}

TEST_F(AnswerToolTest, ADeviceProgramsMessageBoxTakesTheQueuedAnswer) {
  fs::copy_file(testing::BinPath("windowed"), device_ + "/fs/Windows/windowed.exe");
  ASSERT_EQ(Run({"answer", "retry"}).status, 0);
  testing::ToolResult asked = Run({"run", "\\Windows\\windowed.exe", "box", "0x35", "Setup", "Busy"});
  EXPECT_EQ(asked.status, 4) << "Retry\n" << asked.err;
  testing::ToolResult again = Run({"run", "\\Windows\\windowed.exe", "box", "0x35", "Setup", "Busy"});
  EXPECT_EQ(again.status, 2) << "Cancel";
  EXPECT_EQ(again.err,
            "message box \"Setup\" (Busy): no terminal and no scripted answer; answering Cancel\n"
            "exit code: 2\n");
}

}  // namespace
}  // namespace stowkit
