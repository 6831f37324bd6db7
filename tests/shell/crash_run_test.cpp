// Installs and removals killed at random moments (SIGKILL: nothing of the program runs
// after it, as when a handheld's battery is pulled mid-run), each followed by the same
// command again. The registry database stays whole after the kill and after the second run,
// the second run succeeds, and the device then holds exactly what one clean run leaves.
//
// The moments are drawn from a seeded generator; the seed is printed, and
// STOWKIT_CRASH_SEED replays a failing series.
#include <signal.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "coredll/device.h"
#include "package/package.h"
#include "package/vocabulary.h"
#include "support/device_snapshot.h"
#include "support/installer_device.h"
#include "support/no_terminal.h"

namespace stowkit {
namespace {

using ::testing::AnyOf;
using testing::DeviceSnapshot;
using testing::EntryLayout;
using testing::InstallerDevice;
using testing::PackageLayout;

constexpr int kTrials = 50;
constexpr char16_t kInstall[] = u"\"\\Windows\\stowkit.exe\" /is \\Temp\\app.pkg";
constexpr char16_t kUninstaller[] = u"\\Windows\\AppMgr\\Crash Remove.exe";
constexpr char16_t kRemoval[] =
    u"\"\\Windows\\AppMgr\\Crash Remove.exe\" /xs \"\\Windows\\AppMgr\\Crash Remove.pkg\"";

EntryLayout Entry(uint8_t type, testing::Properties properties) {
  return testing::Entry(type, kShouldInstall, std::move(properties));
}

// Bytes that deflate only a little, so extraction takes a while.
std::string Noise(size_t size, uint32_t seed) {
  std::mt19937 generator(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = char(generator() % 64 + 32);
  return bytes;
}

// A file that installs never replace, big enough for kills to land while it is written.
std::string KeptContent() { return Noise(1024 * 1024, 77); }

// Every kind of work a run does: a macro, folders, files (one of them never replaced),
// registry values, a shortcut, a support file in the work folder, the uninstaller and the
// product record.
PackageLayout CrashPackage() {
  PackageLayout layout = testing::AppPackage(u"Crash");
  layout.entries.push_back(Entry(kMacroDefs, {{kFirstMacroId, u"APPDIR=$(PROGRAMFILES)\\Crash"}}));
  layout.entries.push_back(Entry(kFolder, {{kDst, u"$(APPDIR)"}}));
  layout.entries.push_back(Entry(kFolder, {{kDst, u"$(APPDIR)\\data"}}));
  for (int i = 0; i < 8; ++i) {
    std::u16string name =
        u"$(APPDIR)\\data\\part" + std::u16string(1, char16_t(u'0' + i)) + u".bin";
    EntryLayout file = testing::FileEntry(Noise(256 * 1024, uint32_t(i)), i % 2 == 0, name);
    // Files given attributes: a run killed before they are set must not make the next run
    // take the attributes it finds for the file's own.
    if (i % 4 == 1) file.type_flags = kReadOnly;
    if (i == 6) file.type_flags = kHidden;
    if (i % 4 == 1) file.properties.push_back({kDate, u"20061205143000"});
    layout.entries.push_back(file);
  }
  EntryLayout kept = testing::FileEntry(KeptContent(), true, u"$(APPDIR)\\settings.dat");
  kept.type_flags = kNoOverwrite;
  layout.entries.push_back(kept);
  std::string registry;
  for (int i = 0; i < 40; ++i) {
    registry += "HKLM, Software\\Crash\\Key" + std::to_string(i % 5) + ", 0, Value" +
                std::to_string(i) + ", $(APPDIR)\\" + std::to_string(i) + ", ,\n";
  }
  registry += "HKCU, Software\\Crash, 1, Runs, 7, ,\n";
  layout.entries.push_back(testing::RegistryText(registry));
  layout.entries.push_back(Entry(kShortcut, {{kLinkName, u"$(PROGRAMS)\\Crash"},
                                             {kLinkTarget, u"$(APPDIR)\\data\\part0.bin"}}));
  EntryLayout support = testing::FileEntry(Noise(64 * 1024, 99), true, u"help.dat");
  support.type = kSupportFile;
  layout.entries.push_back(support);
  return layout;
}

constexpr char kKeptFile[] = "\\Program Files\\Crash\\settings.dat";

// Logs carry the time of their run, and their attributes tell whether an old version's
// uninstaller shared the file; the uninstall package holds the run's work folder (as
// SUPPORTDIR). These differ between any two runs. A NoOverwrite file that the killed run
// wrote whole is kept by the second one, which makes it writable (normal attributes) as it
// does every file it keeps: its bytes are checked on their own.
bool Varies(const std::string& path) {
  return path.rfind("\\Stowkit_log_", 0) == 0 || path.rfind("\\Unstowkit_log_", 0) == 0 ||
         path == "\\Windows\\AppMgr\\Crash Remove.pkg" || path == kKeptFile;
}

// The processes whose parent is `parent`, from /proc.
std::vector<pid_t> Children(pid_t parent) {
  std::vector<pid_t> children;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    std::string name = entry.path().filename();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream stat(entry.path() / "stat");
    std::string line;
    if (!std::getline(stat, line)) continue;
    // "pid (name) state ppid ...": the name may hold spaces and parentheses.
    size_t end = line.rfind(')');
    if (end == std::string::npos) continue;
    std::istringstream rest(line.substr(end + 1));
    char state = 0;
    pid_t ppid = 0;
    if (rest >> state >> ppid && ppid == parent) children.push_back(pid_t(std::stoi(name)));
  }
  return children;
}

// The installer started as a launcher starts it; Kill ends it without warning.
class InstallerRun {
 public:
  InstallerRun(const char16_t* program, std::u16string line) {
    started_ = CreateProcessW(program, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                              nullptr, &info_) != 0;
  }
  ~InstallerRun() {
    if (!started_) return;
    CloseHandle(info_.hThread);
    CloseHandle(info_.hProcess);
  }
  bool started() const { return started_; }
  // As a pulled battery does: the installer and every device program it started, all gone
  // before the next run starts (a dying program would still hold its work folder's lock).
  // The installer is stopped first, so it starts nothing more, and its descendants are
  // found by their parents while stopped: a child it has just started may not be in the
  // device's process list yet, and killed parents would leave it running beside the next
  // run.
  void Kill() {
    std::vector<pid_t> stopped{pid_t(info_.dwProcessId)};
    kill(stopped[0], SIGSTOP);
    for (size_t i = 0; i < stopped.size(); ++i) {
      for (pid_t child : Children(stopped[i])) {
        kill(child, SIGSTOP);
        stopped.push_back(child);
      }
    }
    for (const coredll::DeviceProcess& process : coredll::ListDeviceProcesses()) {
      if (process.pid != DWORD(getpid())) stopped.push_back(pid_t(process.pid));
    }
    for (pid_t pid : stopped) kill(pid, SIGKILL);
    for (pid_t pid : stopped) {
      if (pid == pid_t(info_.dwProcessId)) continue;  // ours to reap, in Wait
      for (int i = 0; i < 5000 && kill(pid, 0) == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    }
  }
  DWORD Wait() {
    WaitForSingleObject(info_.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(info_.hProcess, &code);
    return code;
  }

 private:
  PROCESS_INFORMATION info_ = {};
  bool started_ = false;
};

struct Command {
  const char16_t* program;
  const char16_t* line;
};

class CrashTest : public ::testing::Test {
 protected:
  CrashTest() {
    const char* chosen = std::getenv("STOWKIT_CRASH_SEED");
    seed_ = chosen ? uint32_t(std::strtoul(chosen, nullptr, 10)) : std::random_device()();
    std::printf("STOWKIT_CRASH_SEED=%u\n", seed_);
  }

  // A fresh device with the package on it, installed already when `installed`.
  std::unique_ptr<InstallerDevice> Device(bool installed) {
    auto device = std::make_unique<InstallerDevice>();
    device->WritePackage(CrashPackage());
    if (installed) {
      EXPECT_EQ(device->Run(u"/is \\Temp\\app.pkg"), 0u);
    }
    return device;
  }

  // What one clean run of `command` leaves, and how long it took.
  DeviceSnapshot CleanRun(Command command, bool installed, std::chrono::microseconds& took) {
    auto device = Device(installed);
    auto start = std::chrono::steady_clock::now();
    InstallerRun run(command.program, command.line);
    EXPECT_TRUE(run.started());
    EXPECT_EQ(run.Wait(), 0u);
    took = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() -
                                                                 start);
    return testing::TakeSnapshot(*device, Varies);
  }

  // kTrials times: a fresh device, `command` killed at a random moment of a clean run's
  // length (a little more, so some runs end first), then `command` again.
  void KillAndRerun(Command command, bool installed) {
    std::chrono::microseconds took{};
    DeviceSnapshot clean = CleanRun(command, installed, took);
    ASSERT_FALSE(HasFailure());
    std::mt19937 generator(seed_);
    std::uniform_int_distribution<int64_t> moment(0, took.count() * 6 / 5);
    for (int trial = 0; trial < kTrials; ++trial) {
      auto device = Device(installed);
      auto delay = std::chrono::microseconds(moment(generator));
      SCOPED_TRACE("trial " + std::to_string(trial) + ", killed after " +
                   std::to_string(delay.count()) + " us of " + std::to_string(took.count()));
      InstallerRun killed(command.program, command.line);
      ASSERT_TRUE(killed.started());
      std::this_thread::sleep_for(delay);
      killed.Kill();
      killed.Wait();
      ASSERT_THAT(testing::RegistryIntegrity(device->folder()), AnyOf("ok", "absent"));

      InstallerRun again(command.program, command.line);
      ASSERT_EQ(again.Wait(), 0u) << device->Log("Stowkit_log_Crash.txt")
                                  << device->Log("Unstowkit_log_Crash.txt");
      ASSERT_EQ(testing::RegistryIntegrity(device->folder()), "ok");
      ExpectSame(clean, testing::TakeSnapshot(*device, Varies));
      if (!installed) {
        EXPECT_EQ(testing::ReadHostFile(device->Host("Program Files/Crash/settings.dat")),
                  KeptContent())
            << "the kept file is whole";
      }
      ExpectUninstallPackage(clean);
      if (HasFailure()) return;
    }
  }

  // Names what differs rather than printing megabytes of file bytes.
  static void ExpectSame(const DeviceSnapshot& clean, const DeviceSnapshot& now) {
    for (const auto& [path, content] : clean.files) {
      auto found = now.files.find(path);
      if (found == now.files.end()) {
        ADD_FAILURE() << "missing after the second run: " << path;
      } else if (found->second != content) {
        ADD_FAILURE() << "differs after the second run: " << path << " ("
                      << found->second.substr(0, 40) << "... against " << content.substr(0, 40)
                      << "...)";
      }
    }
    for (const auto& [path, content] : now.files) {
      if (!clean.files.count(path)) ADD_FAILURE() << "left over: " << path;
    }
    for (const std::string& item : clean.registry) {
      if (!now.registry.count(item)) ADD_FAILURE() << "registry lacks: " << item;
    }
    for (const std::string& item : now.registry) {
      if (!clean.registry.count(item)) ADD_FAILURE() << "registry has more: " << item;
    }
  }

  // The uninstall package's bytes vary with the work folder's name, but it must be whole.
  static void ExpectUninstallPackage(const DeviceSnapshot& clean) {
    if (!clean.files.count("\\Windows\\AppMgr\\Crash Remove.pkg")) return;
    std::unique_ptr<Package> package;
    std::u16string error;
    ASSERT_EQ(OpenPackage(error, u"\\Windows\\AppMgr\\Crash Remove.pkg", package), S_OK)
        << Utf16ToUtf8(error);
    EXPECT_EQ(package->NumEntries(), CrashPackage().entries.size());
  }

  testing::NoTerminal no_terminal_;
  uint32_t seed_ = 0;
};

TEST_F(CrashTest, AnInstallKilledAnywhereIsFinishedByTheNextRun) {
  KillAndRerun({u"\\Windows\\stowkit.exe", kInstall}, false);
}

// The install over an installed copy: the old copy's uninstaller runs in between.
TEST_F(CrashTest, AnUpgradeKilledAnywhereIsFinishedByTheNextRun) {
  KillAndRerun({u"\\Windows\\stowkit.exe", kInstall}, true);
}

TEST_F(CrashTest, ARemovalKilledAnywhereIsFinishedByTheNextRun) {
  KillAndRerun({kUninstaller, kRemoval}, true);
}

// The one moment that random kills hardly ever hit: a new file made, its attributes and
// creation time not yet written. Nothing may show under its name then.
TEST_F(CrashTest, AKillAsANewFileIsMadeLeavesNothingUnderItsName) {
  const Command install = {u"\\Windows\\stowkit.exe", kInstall};
  std::chrono::microseconds took{};
  DeviceSnapshot clean = CleanRun(install, false, took);
  auto device = Device(false);
  ASSERT_TRUE(coredll::SetFaults("", nullptr));  // this process keeps none of the rule below
  setenv("STOWKIT_FAULTS", "describe@\\Program Files\\Crash\\data\\part3.bin=kill", 1);
  InstallerRun killed(install.program, install.line);
  unsetenv("STOWKIT_FAULTS");
  ASSERT_TRUE(killed.started());
  killed.Wait();
  EXPECT_TRUE(std::filesystem::exists(device->Host("Program Files/Crash/data/part2.bin")));
  EXPECT_FALSE(std::filesystem::exists(device->Host("Program Files/Crash/data/part3.bin")));

  InstallerRun again(install.program, install.line);
  ASSERT_EQ(again.Wait(), 0u);
  ExpectSame(clean, testing::TakeSnapshot(*device, Varies));
}

}  // namespace
}  // namespace stowkit
