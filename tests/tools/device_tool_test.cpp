// stowkit-device as a user runs it: a fresh device, files pushed and pulled, listings, and
// one clear line for every refusal.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "support/child_process.h"
#include "support/temp_device.h"
#include "support/tool_run.h"

namespace stowkit {
namespace {

namespace fs = std::filesystem;

using Result = testing::ToolResult;

class DeviceToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/stowkit-tool-XXXXXX";
    work_ = mkdtemp(pattern);
    device_ = work_ + "/dev";
  }
  void TearDown() override { fs::remove_all(work_); }

  Result Run(std::vector<std::string> args) {
    args.insert(args.begin(), {"--device", device_});
    return testing::RunShell(testing::CommandLine(testing::BinPath("stowkit-device"), args), work_);
  }

  std::string work_, device_;
};

TEST_F(DeviceToolTest, InitPushListPull) {
  Result init = Run({"init"});
  ASSERT_EQ(init.status, 0) << init.err;
  EXPECT_TRUE(fs::is_directory(device_ + "/fs/Windows/Start Menu/Programs"));
  EXPECT_EQ(Run({"init"}).status, 0);  // again: nothing lost, nothing changed

  std::string bytes("binary\0data\xff", 12);
  testing::WriteHostFile(work_ + "/x", bytes);
  ASSERT_EQ(Run({"push", work_ + "/x", "\\temp\\A.TXT"}).status, 0);

  Result ls = Run({"ls", "\\TEMP"});
  EXPECT_EQ(ls.status, 0);
  EXPECT_EQ(ls.out, "A.TXT\n");
  Result long_ls = Run({"ls", "-l", "\\Temp\\a.txt"});
  EXPECT_EQ(long_ls.status, 0);
  EXPECT_EQ(long_ls.out.substr(0, 17), "----a         12 ");
  EXPECT_NE(long_ls.out.find(" A.TXT\n"), std::string::npos);
  EXPECT_NE(Run({"ls", "\\"}).out.find("Windows\\\n"), std::string::npos);

  ASSERT_EQ(Run({"pull", "\\Temp\\a.txt", work_ + "/y"}).status, 0);
  EXPECT_EQ(testing::ReadHostFile(work_ + "/y"), bytes);
  Result piped = Run({"pull", "\\Temp\\a.txt", "-"});
  EXPECT_EQ(piped.status, 0) << piped.err;
  EXPECT_EQ(piped.out, bytes);
  EXPECT_FALSE(fs::exists(work_ + "/-"));

  ASSERT_EQ(Run({"push", work_ + "/x", "\\Program Files\\New\\Deep\\b.bin"}).status, 0);
  EXPECT_EQ(testing::ReadHostFile(device_ + "/fs/Program Files/New/Deep/b.bin"), bytes);
}

TEST_F(DeviceToolTest, EscapesAreRefusedAndWriteNothingOutside) {
  ASSERT_EQ(Run({"init"}).status, 0);
  testing::WriteHostFile(work_ + "/x", "payload");
  fs::create_directory(work_ + "/outside");
  fs::create_directory_symlink(work_ + "/outside", device_ + "/fs/Temp/link");

  Result up = Run({"push", work_ + "/x", "\\..\\outside"});
  EXPECT_EQ(up.status, 1);
  EXPECT_EQ(up.err,
            "stowkit-device: cannot push to '\\..\\outside': The filename, directory "
            "name, or volume label syntax is incorrect.\n");
  Result through = Run({"push", work_ + "/x", "\\Temp\\link\\planted"});
  EXPECT_EQ(through.status, 1);
  EXPECT_NE(through.err.find("Access is denied."), std::string::npos);
  EXPECT_EQ(std::count(through.err.begin(), through.err.end(), '\n'), 1);

  EXPECT_FALSE(fs::exists(work_ + "/outside/planted"));
  EXPECT_FALSE(fs::exists(device_ + "/outside"));
  EXPECT_FALSE(fs::exists(work_ + "/outside.txt"));
  EXPECT_TRUE(fs::is_empty(work_ + "/outside"));

  // Links planted in the device folder's own layout are not followed either.
  fs::create_directory_symlink(work_ + "/outside", device_ + "/snapshots");
  Result snapshot = Run({"snapshot", "before"});
  EXPECT_EQ(snapshot.status, 1);
  EXPECT_EQ(std::count(snapshot.err.begin(), snapshot.err.end(), '\n'), 1) << snapshot.err;
  fs::remove(device_ + "/snapshots");
  fs::create_directory(device_ + "/snapshots");
  fs::create_symlink(work_ + "/outside/named", device_ + "/snapshots/named");
  EXPECT_EQ(Run({"snapshot", "named"}).status, 0);
  EXPECT_FALSE(fs::is_symlink(device_ + "/snapshots/named")) << "the link itself is replaced";

  fs::remove_all(device_ + "/run");
  fs::create_directory(device_ + "/run");
  fs::create_symlink(work_ + "/outside/lock", device_ + "/run/answers.lock");
  EXPECT_EQ(Run({"answer", "yes"}).status, 1);
  fs::remove(device_ + "/run/answers.lock");
  fs::create_symlink(work_ + "/outside/answers", device_ + "/run/answers");
  EXPECT_EQ(Run({"answer", "yes"}).status, 0);
  EXPECT_FALSE(fs::is_symlink(device_ + "/run/answers"));

  fs::remove_all(device_ + "/run");
  fs::create_directory_symlink(work_ + "/outside", device_ + "/run");
  Result answer = Run({"answer", "yes"});
  EXPECT_EQ(answer.status, 1);
  EXPECT_EQ(Run({"push", work_ + "/x", "\\Temp\\x"}).status, 1) << "not a device any more";
  EXPECT_TRUE(fs::is_empty(work_ + "/outside"));
}

TEST_F(DeviceToolTest, ClearErrors) {
  Result no_device = Run({"ls", "\\"});
  EXPECT_EQ(no_device.status, 1);
  EXPECT_NE(no_device.err.find("is not a device folder"), std::string::npos);
  // Named by the environment instead, the same folder gets the same answer.
  Result chosen = testing::RunShell("STOWKIT_DEVICE=" + testing::ShellQuote(device_) + " " +
                                        testing::CommandLine(testing::BinPath("stowkit-device"), {"products"}),
                                    work_);
  EXPECT_EQ(chosen.status, 1);
  EXPECT_EQ(chosen.out, "");
  EXPECT_EQ(chosen.err, "stowkit-device: '" + device_ + "' is not a device folder (create it with "
                        "'stowkit-device --device " + device_ + " init')\n");
  ASSERT_EQ(Run({"init"}).status, 0);

  Result missing = Run({"pull", "\\Temp\\none.txt", work_ + "/y"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err,
            "stowkit-device: cannot pull '\\Temp\\none.txt': The system cannot find the file "
            "specified.\n");
  EXPECT_FALSE(fs::exists(work_ + "/y"));
  Result no_source = Run({"push", work_ + "/nope", "\\Temp\\x"});
  EXPECT_EQ(no_source.status, 1);
  EXPECT_EQ(no_source.err, "stowkit-device: cannot read '" + work_ + "/nope': No such file or directory\n");
  EXPECT_EQ(Run({"ls", "\\Nowhere"}).status, 1);
  EXPECT_EQ(Run({"init", "--platform", "smartphone"}).status, 1);

  // A file that is no package is refused before anything reaches the device.
  testing::WriteHostFile(work_ + "/notes.txt", "just some text, long enough to hold a header");
  for (const char* command : {"install", "plan", "check"}) {
    Result other = Run({command, work_ + "/notes.txt"});
    EXPECT_EQ(other.status, 1) << command;
    EXPECT_EQ(other.out, "") << command;
    EXPECT_EQ(other.err, "stowkit-device: " + std::string(command) + ": '" + work_ +
                             "/notes.txt' is not a package (it does not end in a package header)\n");
  }
  Result removal = Run({"remove", "Notes", "--package", work_ + "/notes.txt"});
  EXPECT_EQ(removal.status, 1);
  EXPECT_NE(removal.err.find("is not a package"), std::string::npos) << removal.err;
  EXPECT_FALSE(fs::exists(device_ + "/fs/Temp/notes.txt"));

  for (std::vector<std::string> words : {std::vector<std::string>{"frobnicate"}, {"reg", "frobnicate"}}) {
    Result unknown = Run(words);
    EXPECT_EQ(unknown.status, 1);
    EXPECT_EQ(unknown.out, "");
    EXPECT_EQ(unknown.err, "stowkit-device: unknown command 'frobnicate' (see --help)\n");
  }
  Result nothing = Run({});
  EXPECT_EQ(nothing.status, 1);
  EXPECT_EQ(nothing.err.rfind("stowkit-device: ", 0), 0u) << nothing.err;
  EXPECT_EQ(std::count(nothing.err.begin(), nothing.err.end(), '\n'), 1) << nothing.err;
  Result version = Run({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "stowkit-device " STOWKIT_VERSION "\n");
  Result run_help = Run({"run", "--help"});
  EXPECT_EQ(run_help.status, 0);
  EXPECT_NE(run_help.out.find("Usage: stowkit-device run PROGRAM [ARGS...]\n"), std::string::npos)
      << run_help.out;
}

// Ready means the device programs are in place too: a device that cannot take them is not.
TEST_F(DeviceToolTest, InitThatCannotWriteIsNotReady) {
  setenv("STOWKIT_FAULTS", "open@\\Windows\\stowkit.exe=5", 1);
  Result denied = Run({"init"});
  unsetenv("STOWKIT_FAULTS");
  EXPECT_EQ(denied.status, 1);
  EXPECT_EQ(denied.out, "");
  EXPECT_EQ(denied.err, "stowkit-device: cannot place '\\Windows\\stowkit.exe': Access is denied.\n");
  Result again = Run({"init"});
  EXPECT_EQ(again.status, 0);
  EXPECT_EQ(again.out, "Device ready: " + device_ + "\n");
}

TEST_F(DeviceToolTest, DoctorNamesEachFaultOfADevice) {
  ASSERT_EQ(Run({"init"}).status, 0);
  testing::WriteHostFile(work_ + "/v.reg",
                         "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Vendor]\n\"Path\"=\"x\"\n");
  ASSERT_EQ(Run({"reg", "import", work_ + "/v.reg"}).status, 0);
  Result sound = Run({"doctor"});
  EXPECT_EQ(sound.status, 0) << sound.out << sound.err;
  EXPECT_EQ(sound.out, device_ + ": no problems found\n");

  fs::create_directory_symlink(work_, device_ + "/fs/Temp/out");
  fs::remove(device_ + "/boots");
  // One process gone without an exit code, one that ended normally and left its code.
  std::string gone = device_ + "/run/proc/" + std::to_string(getpid()) + "-1";
  std::string ended = device_ + "/run/proc/" + std::to_string(getpid()) + "-2";
  fs::create_directories(device_ + "/run/proc");
  testing::WriteHostFile(gone + ".toml", "pid = 1\nprogram = '\\Windows\\gone.exe'\n");
  testing::WriteHostFile(ended + ".toml", "pid = 1\nprogram = '\\Windows\\ended.exe'\n");
  testing::WriteHostFile(ended + ".exit", "0\n");
  // A value whose folded copy no longer matches its name, as a hand edit would leave it.
  ASSERT_EQ(testing::RunShell("sqlite3 dev/registry.db \"UPDATE vals SET folded = 'PAT'\"", work_)
                .status, 0);
  Result faulty = Run({"doctor"});
  EXPECT_EQ(faulty.status, 1);
  EXPECT_EQ(faulty.out,
            "boots: missing\n"
            "fs/Temp/out: a link (to " + work_ + ") in the device folder\n"
            "run/proc/" + std::to_string(getpid()) + "-1.toml: process " +
                std::to_string(getpid()) + " (\\Windows\\gone.exe) is gone without an exit "
                "code (a stale record)\n"
            "registry.db: value 'Path' is not filed under its folded name, so lookups miss it\n");
  EXPECT_EQ(faulty.err, "stowkit-device: 4 problems found in " + device_ + "\n");

  for (const char* log : {"/registry.db-wal", "/registry.db-shm"}) fs::remove(device_ + log);
  testing::WriteHostFile(device_ + "/registry.db", std::string(4096, 'x'));
  Result damaged = Run({"doctor"});
  EXPECT_EQ(damaged.status, 1);
  EXPECT_NE(damaged.out.find("registry.db: file is not a database\n"), std::string::npos)
      << damaged.out;
}

TEST_F(DeviceToolTest, FailedPushLeavesNoHalfFile) {
  ASSERT_EQ(Run({"init"}).status, 0);
  testing::WriteHostFile(work_ + "/x", "payload");
  setenv("STOWKIT_FAULTS", "write@\\Temp\\*=112", 1);
  Result full = Run({"push", work_ + "/x", "\\Temp\\full.bin"});
  unsetenv("STOWKIT_FAULTS");
  EXPECT_EQ(full.status, 1);
  EXPECT_NE(full.err.find("There is not enough space on the disk."), std::string::npos);
  EXPECT_FALSE(fs::exists(device_ + "/fs/Temp/full.bin"));
}

}  // namespace
}  // namespace stowkit

namespace stowkit {
namespace {

class DeviceRunTest : public DeviceToolTest {
 protected:
  void SetUp() override {
    DeviceToolTest::SetUp();
    ASSERT_EQ(Run({"init"}).status, 0);
    fs::copy_file(testing::BinPath("probe"), device_ + "/fs/Windows/probe.exe");
  }
};

TEST_F(DeviceRunTest, ExitCodesAreReportedWholeAndAsStatus) {
  Result ok = Run({"run", "\\Windows\\probe.exe", "exit", "0"});
  EXPECT_EQ(ok.status, 0);
  EXPECT_EQ(ok.err, "");
  Result thousand = Run({"run", "probe.exe", "exit", "1000"});
  EXPECT_EQ(thousand.status, 1000 % 256);
  EXPECT_EQ(thousand.err, "exit code: 1000\n");
  Result big = Run({"run", "probe.exe", "exit", "0x80070057"});
  EXPECT_EQ(big.err, "exit code: 2147942487\n");
}

// As the device's launchers build it: the program's path in quotes, then the arguments.
TEST_F(DeviceRunTest, ArgumentsArriveAsOneWindowsCommandLine) {
  ASSERT_EQ(Run({"run", "probe.exe", "cmdline", "\\Temp\\c.txt", "two words", "-x", "say \"hi\""}).status, 0);
  EXPECT_EQ(testing::ReadHostFile(device_ + "/fs/Temp/c.txt"),
            "\"probe.exe\" cmdline \\Temp\\c.txt \"two words\" -x \"say \\\"hi\\\"\"");
}

TEST_F(DeviceRunTest, MissingProgramsAndEmptyTables) {
  Result missing = Run({"run", "\\Windows\\none.exe"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "stowkit-device: cannot run '\\Windows\\none.exe': The system cannot find "
                         "the file specified.\n");
  Result ps = Run({"ps"});
  EXPECT_EQ(ps.status, 0);
  EXPECT_EQ(std::count(ps.out.begin(), ps.out.end(), '\n'), 1);  // the heading alone
}

}  // namespace
}  // namespace stowkit
