// The wait-and-restart start (/p): the installer waits for the given process, tells the user
// that the device restarts, and restarts it.
#include <chrono>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "support/device_programs.h"
#include "support/installer_device.h"
#include "support/no_terminal.h"
#include "support/tmux.h"
#include "support/tool_run.h"

namespace stowkit {
namespace {

using Clock = std::chrono::steady_clock;

int Boots(const testing::TempDevice& device) {
  return std::stoi("0" + testing::ReadHostFile(device.folder() + "/boots"));
}

TEST(RestartTest, WaitsForTheProcessThenRestartsTheDevice) {
  testing::NoTerminal no_terminal;
  testing::InstallerDevice device;
  device.Install(testing::BinPath("probe"), "Windows/probe.exe");
  testing::StartedPrograms programs(device);
  HANDLE waiting = programs.Start(u"wait", u"\\Windows\\probe.exe");
  ASSERT_TRUE(programs.WaitForFile("Temp/waiting.flag"));
  int boots = Boots(device);
  ASSERT_TRUE(coredll::QueueAnswers({"ok"}, nullptr));

  // The restart ends every other device process, the one waited for among them; it is
  // ended here first, a moment after the installer has started waiting for it.
  Clock::time_point start = Clock::now();
  std::thread ender([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    TerminateProcess(waiting, 3);
  });
  DWORD code = device.Run(u"/p " + Utf8ToUtf16(std::to_string(programs.last_pid())));
  ender.join();
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();

  EXPECT_EQ(code, 0u);
  EXPECT_EQ(Boots(device), boots + 1);
  EXPECT_GT(seconds, 1.3) << "the process, then one second";
}

TEST(RestartTest, AProcessThatIsGoneIsNotWaitedFor) {
  testing::NoTerminal no_terminal;
  testing::InstallerDevice device;
  int boots = Boots(device);
  EXPECT_EQ(device.Run(u"/p 999999 /is \\Temp\\ignored.pkg"), 0u);
  EXPECT_EQ(Boots(device), boots + 1);
  EXPECT_TRUE(device.Names("", "Stowkit_log").empty()) << "nothing else on the line is read";
}

// In a terminal the notice waits for a key; nobody presses one, so its time-out closes it.
TEST(RestartTest, TheNoticeClosesItselfAfterFifteenSeconds) {
  if (std::system("tmux -V >/dev/null 2>&1") != 0) GTEST_SKIP() << "tmux cannot start here";
  testing::InstallerDevice device;
  int boots = Boots(device);
  testing::Tmux tmux(device.folder() + "/notice.tmux");
  std::string command = testing::CommandLine(
      testing::BinPath("stowkit-device"),
      {"--device", device.folder(), "run", "\\\\Windows\\\\stowkit.exe", "/p", "999999"});
  if (!tmux.Start(command)) GTEST_SKIP() << "tmux cannot start here";

  std::string screen = tmux.WaitFor("[O]K");
  Clock::time_point shown = Clock::now();
  EXPECT_NE(screen.find("+- Restart Required -"), std::string::npos) << screen;
  EXPECT_NE(screen.find("Your device will restart shortly"), std::string::npos) << screen;
  screen = tmux.WaitFor("exit 0", 25);
  double seconds = std::chrono::duration<double>(Clock::now() - shown).count();
  EXPECT_NE(screen.find("exit 0"), std::string::npos) << screen;
  EXPECT_GT(seconds, 13.0);
  EXPECT_EQ(Boots(device), boots + 1);
}

}  // namespace
}  // namespace stowkit
