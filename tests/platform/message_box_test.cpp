// Message boxes without a terminal: the device's scripted answers, taken in order by any
// device program, and the safe answer with a line on standard error when none fits.
#include <gtest/gtest.h>

#include "coredll/device.h"
#include "coredll/windows.h"
#include "support/child_process.h"
#include "support/no_terminal.h"
#include "support/temp_device.h"

namespace stowkit {
namespace {

class MessageBoxTest : public ::testing::Test {
 protected:
  void Queue(const std::vector<std::string>& words) {
    std::string error;
    ASSERT_TRUE(coredll::QueueAnswers(words, &error)) << error;
  }
  // The answer, and what the box said on standard error.
  std::pair<int, std::string> Ask(UINT type, const char16_t* text = u"Go on?") {
    ::testing::internal::CaptureStderr();
    int answer = MessageBoxW(nullptr, text, u"Setup", type);
    return {answer, ::testing::internal::GetCapturedStderr()};
  }

  testing::TempDevice device_;
  testing::NoTerminal no_terminal_;
};

TEST_F(MessageBoxTest, ScriptedAnswersAreTakenInOrder) {
  Queue({"retry", "Cancel", "YES"});
  EXPECT_EQ(Ask(MB_RETRYCANCEL | MB_ICONEXCLAMATION), std::make_pair(IDRETRY, std::string()));
  EXPECT_EQ(Ask(MB_RETRYCANCEL), std::make_pair(IDCANCEL, std::string()));
  EXPECT_EQ(Ask(MB_YESNO | MB_SETFOREGROUND), std::make_pair(IDYES, std::string()));
  EXPECT_EQ(testing::ReadHostFile(device_.folder() + "/run/answers"), "");
}

TEST_F(MessageBoxTest, WithoutAnAnswerEachButtonSetGivesItsSafeOne) {
  struct Safe {
    UINT type;
    int answer;
    const char* label;
  };
  const Safe kSafe[] = {
      {MB_OK, IDOK, "OK"},       {MB_OKCANCEL, IDCANCEL, "Cancel"}, {MB_ABORTRETRYIGNORE, IDABORT, "Abort"},
      {MB_YESNOCANCEL, IDNO, "No"}, {MB_YESNO, IDNO, "No"},          {MB_RETRYCANCEL, IDCANCEL, "Cancel"},
  };
  for (const Safe& safe : kSafe) {
    auto [answer, said] = Ask(safe.type | MB_ICONQUESTION, u"Two\r\nlines");
    EXPECT_EQ(answer, safe.answer) << safe.label;
    EXPECT_EQ(said, std::string("message box \"Setup\" (Two lines): no terminal and no scripted "
                                "answer; answering ") + safe.label + "\n");
  }
}

TEST_F(MessageBoxTest, AnAnswerThatIsNotOneOfTheButtonsIsUsedUpAndTheSafeOneGiven) {
  Queue({"yes", "ok"});
  auto [answer, said] = Ask(MB_OKCANCEL);
  EXPECT_EQ(answer, IDCANCEL);
  EXPECT_NE(said.find("scripted answer 'yes' is not one of its buttons; answering Cancel"), std::string::npos)
      << said;
  EXPECT_EQ(Ask(MB_OKCANCEL).first, IDOK) << "the next box takes the next answer";
}

TEST_F(MessageBoxTest, UnknownWordsQueueNothingAndClearingEmptiesTheQueue) {
  std::string error;
  EXPECT_FALSE(coredll::QueueAnswers({"yes", "maybe"}, &error));
  EXPECT_EQ(error, "unknown answer 'maybe' (use yes, no, ok, cancel, retry, abort or ignore)");
  Queue({"yes"});
  ASSERT_TRUE(coredll::ClearAnswers(&error)) << error;
  EXPECT_EQ(Ask(MB_YESNO).first, IDNO) << "the cleared answer is not taken";
}

TEST_F(MessageBoxTest, BadButtonSetsIconsAndOwnersAreRefused) {
  EXPECT_EQ(MessageBoxW(nullptr, u"x", u"y", 6), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(MessageBoxW(nullptr, u"x", u"y", MB_OK | 0x50), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(MessageBoxW(reinterpret_cast<HWND>(uintptr_t(0x4321)), u"x", u"y", MB_OK), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_WINDOW_HANDLE));
}

TEST_F(MessageBoxTest, DeviceProgramsTakeFromTheSameQueue) {
  device_.Install(testing::BinPath("windowed"), "Windows/windowed.exe");
  Queue({"no", "ignore"});
  std::u16string line = u"box 0x24 Question \"Keep it?\"";
  PROCESS_INFORMATION info = {};
  ASSERT_TRUE(CreateProcessW(u"\\Windows\\windowed.exe", line.data(), nullptr, nullptr, FALSE, 0,
                             nullptr, nullptr, nullptr, &info));
  ASSERT_EQ(WaitForSingleObject(info.hProcess, 5000), WAIT_OBJECT_0);
  DWORD code = 0;
  GetExitCodeProcess(info.hProcess, &code);
  EXPECT_EQ(code, DWORD(IDNO));
  CloseHandle(info.hProcess);
  CloseHandle(info.hThread);
  EXPECT_EQ(Ask(MB_ABORTRETRYIGNORE).first, IDIGNORE);
}

}  // namespace
}  // namespace stowkit
