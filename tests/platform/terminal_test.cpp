// The screen in a real terminal: a device program runs in a tmux pane, its dialog and message
// box are read back from the pane, and the box is answered by a key or by a message from
// this process. The same box without a terminal takes the scripted or the safe answer.
#include <gtest/gtest.h>

#include "coredll/device.h"
#include "coredll/windows.h"
#include "support/child_process.h"
#include "support/no_terminal.h"
#include "support/temp_device.h"
#include "support/tmux.h"

namespace stowkit {
namespace {

class TerminalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    device_.Install(testing::BinPath("windowed"), "Windows/windowed.exe");
    if (std::system("tmux -V >/dev/null 2>&1") != 0) GTEST_SKIP() << "tmux cannot start here";
  }

  // Runs the program with `arguments` in a new pane.
  void Run(testing::Tmux& tmux, const std::string& arguments) {
    std::string command = "env STOWKIT_DEVICE=" + device_.folder() + " " +
                          device_.Host("Windows/windowed.exe") + " " + arguments;
    if (!tmux.Start(command)) GTEST_SKIP() << "tmux cannot start here";
  }

  std::string Socket(const std::string& name) const { return device_.folder() + "/" + name + ".tmux"; }

  testing::TempDevice device_;
};

TEST_F(TerminalTest, ADialogAndAMessageBoxAreDrawnAndTheBoxTakesAKey) {
  testing::Tmux tmux(Socket("show"));
  Run(tmux, "show Demo");
  std::string screen = tmux.WaitFor("[Y]es  [N]o");
  EXPECT_NE(screen.find("+- Installing Demo ---"), std::string::npos) << screen;
  EXPECT_NE(screen.find("-[ok]-+"), std::string::npos) << "the Done button\n" << screen;
  EXPECT_NE(screen.find("| Copying files "), std::string::npos) << screen;
  EXPECT_NE(screen.find("| \\Program Files\\Demo\\demo.exe "), std::string::npos) << screen;
  EXPECT_NE(screen.find("|#103   [########............] "), std::string::npos)
      << "icon 103 and the bar at 4 of 10\n" << screen;
  EXPECT_NE(screen.find("+- Demo ---"), std::string::npos) << screen;
  EXPECT_NE(screen.find("| (?) Overwrite the newer version? |"), std::string::npos) << screen;

  EXPECT_NE(FindWindowW(u"Dialog", u"Demo"), nullptr) << "the box is a window of the device";
  EXPECT_NE(FindWindowW(u"Dialog", u"Installing Demo"), nullptr);
  tmux.Keys("xn");  // typed together, so read together: a key that is none of its buttons, then No
  screen = tmux.WaitFor("exit 7");
  EXPECT_NE(screen.find("exit 7"), std::string::npos) << screen;
  EXPECT_EQ(screen.find("[Y]es"), std::string::npos) << "the box has gone from the screen\n" << screen;
}

TEST_F(TerminalTest, EnterGivesTheDefaultButton) {
  testing::Tmux tmux(Socket("enter"));
  Run(tmux, "box 0x103 Question Continue?");  // Yes, No, Cancel with the second as default
  ASSERT_NE(tmux.WaitFor("[C]ancel").find("[Y]es  [N]o  [C]ancel"), std::string::npos);
  tmux.Keys("Enter");
  EXPECT_NE(tmux.WaitFor("exit 7").find("exit 7"), std::string::npos);
}

TEST_F(TerminalTest, AnotherProcessAnswersTheBoxByPostingOk) {
  testing::Tmux tmux(Socket("post"));
  Run(tmux, "box 0x40 Notice \\\"Press OK\\\"");
  ASSERT_NE(tmux.WaitFor("[O]K").find("(i) Press OK"), std::string::npos) << tmux.Screen();
  HWND box = FindWindowW(u"Dialog", u"Notice");
  ASSERT_NE(box, nullptr);
  EXPECT_TRUE(PostMessageW(box, WM_COMMAND, IDOK, 0));
  EXPECT_NE(tmux.WaitFor("exit 1").find("exit 1"), std::string::npos) << tmux.Screen();
}

TEST_F(TerminalTest, WithoutATerminalTheSameBoxTakesTheScriptedOrTheSafeAnswer) {
  testing::NoTerminal no_terminal;
  auto show = [&] {
    std::u16string line = u"show Demo";
    PROCESS_INFORMATION info = {};
    EXPECT_TRUE(CreateProcessW(u"\\Windows\\windowed.exe", line.data(), nullptr, nullptr, FALSE, 0,
                               nullptr, nullptr, nullptr, &info));
    EXPECT_EQ(WaitForSingleObject(info.hProcess, 5000), WAIT_OBJECT_0);
    DWORD code = 0;
    GetExitCodeProcess(info.hProcess, &code);
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
    return code;
  };
  std::string error;
  ASSERT_TRUE(coredll::QueueAnswers({"yes"}, &error)) << error;
  EXPECT_EQ(show(), DWORD(IDYES));
  EXPECT_EQ(show(), DWORD(IDNO));
}

}  // namespace
}  // namespace stowkit
