// stowkit-device snapshot, diff, plan and check as a user runs them: a device's changes
// since a snapshot, a plan that foretells a real install exactly, and a package's whole life
// on a fresh device judged item by item; and what install and remove tell of a run that
// fails.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "coredll/device.h"
#include "coredll/windows.h"
#include "support/child_process.h"
#include "support/temp_device.h"
#include "support/tool_run.h"

namespace stowkit {
namespace {

namespace fs = std::filesystem;
using testing::ToolResult;

class DeviceQaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/stowkit-qa-XXXXXX";
    work_ = mkdtemp(pattern);
    device_ = work_ + "/dev";
    ASSERT_EQ(Device({"init"}).status, 0);
  }
  void TearDown() override { fs::remove_all(work_); }

  // `environment`: assignments put before the command, e.g. "STOWKIT_FAULTS='read=5'".
  ToolResult Device(std::vector<std::string> args, const std::string& environment = "") {
    args.insert(args.begin(), {"--device", device_});
    return testing::RunShell(environment + " " + testing::CommandLine(testing::BinPath("stowkit-device"), args),
                             work_);
  }
  ToolResult Pack(const std::vector<std::string>& args) {
    return testing::RunShell(testing::CommandLine(testing::BinPath("stowkit-pack"), args), work_);
  }

  // The example package, built as examples/demo.sh builds it, with `registry` appended to
  // its registry text and `entries` to its manifest; returns the package's path.
  std::string Example(const std::string& name, const std::string& entries = "",
                      const std::string& registry = "") {
    std::string folder = work_ + "/" + name;
    fs::copy(std::string(STOWKIT_EXAMPLES) + "/notes", folder, fs::copy_options::recursive);
    fs::copy_file(testing::LibPath("libexample_custom.so"), folder + "/libexample_custom.so");
    testing::WriteHostFile(folder + "/notes.toml", testing::ReadHostFile(folder + "/notes.toml") + entries);
    std::string text = testing::ReadHostFile(folder + "/files/notes.registry");
    testing::WriteHostFile(folder + "/files/notes.registry", text + registry);
    ToolResult built = Pack({"build", folder + "/notes.toml", "-o", folder + ".pkg"});
    EXPECT_EQ(built.status, 0) << built.err;
    return folder + ".pkg";
  }

  // Changes as "+ file    \path" (the label, without sizes, CRCs or data), one per line.
  static std::multiset<std::string> Labels(const std::string& report) {
    std::multiset<std::string> labels;
    std::istringstream lines(report);
    for (std::string line; std::getline(lines, line);) {
      if (line.size() < 2 || (line[0] != '+' && line[0] != '-' && line[0] != '~') || line[1] != ' ') continue;
      // "+ " and the kind padded to 8 come first; details follow two blanks or " = ".
      labels.insert(line.substr(0, std::min(line.find("  ", 10), line.find(" = "))));
    }
    return labels;
  }
  // The whole lines of a report that name `text`.
  static std::vector<std::string> LinesWith(const std::string& report, const std::string& text) {
    std::vector<std::string> found;
    std::istringstream lines(report);
    for (std::string line; std::getline(lines, line);) {
      if (line.find(text) != std::string::npos) found.push_back(line);
    }
    return found;
  }

  std::string work_, device_;
};

TEST_F(DeviceQaTest, DiffShowsWhatWasAddedRemovedAndChanged) {
  testing::WriteHostFile(work_ + "/one.txt", "one");
  testing::WriteHostFile(work_ + "/two.txt", "two");
  ASSERT_EQ(Device({"push", work_ + "/one.txt", "\\Temp\\one.txt"}).status, 0);
  ASSERT_EQ(Device({"push", work_ + "/one.txt", "\\Temp\\gone.txt"}).status, 0);
  testing::WriteHostFile(work_ + "/r.reg", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\Qa]\n\"Kept\"=\"same\"\n\"Count\"=dword:00000001\n");
  ASSERT_EQ(Device({"reg", "import", work_ + "/r.reg"}).status, 0);
  ToolResult snapshot = Device({"snapshot", "start"});
  ASSERT_EQ(snapshot.status, 0) << snapshot.err;
  // The files count the device programs this build has placed; the registry is ours alone.
  EXPECT_EQ(snapshot.out.rfind("Snapshot 'start': ", 0), 0u) << snapshot.out;
  EXPECT_NE(snapshot.out.find(" files, 11 folders, 2 registry keys, 2 registry values\n"), std::string::npos)
      << snapshot.out;
  EXPECT_EQ(Device({"diff", "start"}).out, "No changes.\n");

  ASSERT_EQ(Device({"push", work_ + "/two.txt", "\\Temp\\one.txt"}).status, 0);
  ASSERT_EQ(Device({"push", work_ + "/two.txt", "\\Temp\\New\\two.txt"}).status, 0);
  fs::remove(device_ + "/fs/Temp/gone.txt");
  testing::WriteHostFile(work_ + "/r.reg", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\Qa]\n\"Count\"=dword:00000002\n\"Text\"=\"new\"\n");
  ASSERT_EQ(Device({"reg", "import", work_ + "/r.reg"}).status, 0);

  ToolResult diff = Device({"diff", "start"});
  EXPECT_EQ(diff.status, 0) << diff.err;
  EXPECT_EQ(Labels(diff.out), (std::multiset<std::string>{
                                  "~ file    \\Temp\\one.txt", "- file    \\Temp\\gone.txt",
                                  "+ folder  \\Temp\\New", "+ file    \\Temp\\New\\two.txt",
                                  "~ value   HKEY_LOCAL_MACHINE\\Software\\Qa: Count",
                                  "+ value   HKEY_LOCAL_MACHINE\\Software\\Qa: Text"}))
      << diff.out;
  EXPECT_NE(diff.out.find("~ file    \\Temp\\one.txt  crc "), std::string::npos) << diff.out;
  EXPECT_NE(diff.out.find("~ value   HKEY_LOCAL_MACHINE\\Software\\Qa: Count  data dword 1 (0x1) -> dword 2 (0x2)"),
            std::string::npos) << diff.out;
  EXPECT_NE(diff.out.find("+ value   HKEY_LOCAL_MACHINE\\Software\\Qa: Text = \"new\""), std::string::npos);
  EXPECT_NE(diff.out.find("\n3 added, 1 removed, 2 changed\n"), std::string::npos);

  ToolResult json = Device({"diff", "start", "--json"});
  for (const char* expected : {"\"added\": [", "\"kind\": \"folder\"", "\"path\": \"\\\\Temp\\\\New\"",
                               "\"removed\": [", "\"field\": \"crc\"", "\"key\": \"HKEY_LOCAL_MACHINE\\\\Software\\\\Qa\""}) {
    EXPECT_NE(json.out.find(expected), std::string::npos) << expected << "\n" << json.out;
  }

  // Restored, the device is as it was, contents, times and registry alike.
  ToolResult restored = Device({"snapshot", "restore", "start"});
  EXPECT_EQ(restored.status, 0) << restored.err;
  EXPECT_EQ(restored.out, "Snapshot 'start' restored: 6 changes undone.\n");
  EXPECT_EQ(Device({"diff", "start"}).out, "No changes.\n");
  EXPECT_EQ(testing::ReadHostFile(device_ + "/fs/Temp/one.txt"), "one");
  EXPECT_EQ(testing::ReadHostFile(device_ + "/fs/Temp/gone.txt"), "one");

  // A new snapshot of the same name replaces the old one.
  ASSERT_EQ(Device({"snapshot", "start"}).status, 0);
  EXPECT_EQ(Device({"diff", "start"}).out, "No changes.\n");
  ASSERT_EQ(Device({"snapshot", "other"}).status, 0);
  EXPECT_EQ(Device({"snapshot", "list"}).out.find("other\t"), 0u);
  EXPECT_NE(Device({"snapshot", "list"}).out.find("\nstart\t"), std::string::npos);
  ToolResult deleted = Device({"snapshot", "delete", "start"});
  EXPECT_EQ(deleted.status, 0) << deleted.err;
  EXPECT_EQ(Device({"snapshot", "list"}).out.find("start"), std::string::npos);
  EXPECT_EQ(Device({"snapshot", "restore", "start"}).err,
            "stowkit-device: snapshot restore: this device has no snapshot 'start' ('snapshot list' lists them)\n");
}

TEST_F(DeviceQaTest, AttributeChangesAndUnknownSnapshots) {
  testing::WriteHostFile(work_ + "/one.txt", "one");
  ASSERT_EQ(Device({"push", work_ + "/one.txt", "\\Temp\\one.txt"}).status, 0);
  ASSERT_EQ(Device({"snapshot", "before"}).status, 0);
  coredll::SelectDevice(device_);
  ASSERT_TRUE(SetFileAttributesW(u"\\Temp\\one.txt", FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(LinesWith(Device({"diff", "before"}).out, "one.txt"),
            std::vector<std::string>{"~ file    \\Temp\\one.txt  attributes ----a -> -r---"});

  ASSERT_EQ(Device({"snapshot", "restore", "before"}).status, 0);
  EXPECT_EQ(Device({"diff", "before"}).out, "No changes.\n") << "attributes and times put back";

  // Links in the snapshots folder are never followed: not to read contents from elsewhere,
  // nor to delete what they point to.
  fs::create_directories(work_ + "/outside");
  testing::WriteHostFile(work_ + "/outside/keep", "kept");
  fs::remove_all(device_ + "/snapshots/.before.files");
  fs::create_directory_symlink(work_ + "/outside", device_ + "/snapshots/.before.files");
  EXPECT_EQ(Device({"snapshot", "restore", "before"}).status, 1);
  EXPECT_EQ(Device({"snapshot", "delete", "before"}).status, 0);
  EXPECT_EQ(testing::ReadHostFile(work_ + "/outside/keep"), "kept");
  fs::create_symlink(work_ + "/outside/keep", device_ + "/snapshots/linked");
  EXPECT_EQ(Device({"snapshot", "list"}).out, "This device has no snapshots.\n");
  EXPECT_EQ(Device({"snapshot", "delete", "linked"}).status, 1);
  EXPECT_EQ(testing::ReadHostFile(work_ + "/outside/keep"), "kept");

  ToolResult unknown = Device({"diff", "never"});
  EXPECT_EQ(unknown.status, 1);
  EXPECT_EQ(unknown.err, "stowkit-device: diff: this device has no snapshot 'never' (take one with "
                         "'stowkit-device snapshot never')\n");
  EXPECT_EQ(Device({"snapshot", "../escape"}).status, 1);
  EXPECT_FALSE(fs::exists(device_ + "/escape"));
  testing::WriteHostFile(device_ + "/snapshots/bad", "stowkit-snapshot 1\nfile\tx\n");
  EXPECT_NE(Device({"diff", "bad"}).err.find("snapshots/bad:2: not a snapshot line"), std::string::npos);
}

TEST_F(DeviceQaTest, VerifyNamesEachItemThatDiffersFromTheInstall) {
  std::string package = Example("notes");
  ASSERT_EQ(Device({"install", package, "--silent"}).status, 0);
  for (bool with_package : {false, true}) {
    std::vector<std::string> args = {"verify", "Notes"};
    if (with_package) args.insert(args.end(), {"--package", package});
    ToolResult fine = Device(args);
    EXPECT_EQ(fine.status, 0) << fine.err;
    EXPECT_EQ(fine.out, std::string("Notes 1.2.0.0: as installed (3 files") + (with_package ? " with contents" : "") +
                            ", 1 folder, 3 registry values, 1 shortcut)\n");
  }

  const std::string folder = device_ + "/fs/Program Files/Notes/";
  std::string ini = testing::ReadHostFile(folder + "notes.ini");
  ini[0] = ini[0] == 'x' ? 'y' : 'x';  // the same size, another content
  testing::WriteHostFile(folder + "notes.ini", ini);
  fs::remove(folder + "Help/notes.htm");
  fs::remove(device_ + "/fs/Windows/Start Menu/Programs/Notes.lnk");
  coredll::SelectDevice(device_);
  ASSERT_TRUE(SetFileAttributesW(u"\\Program Files\\Notes\\readme.txt", FILE_ATTRIBUTE_ARCHIVE));
  testing::WriteHostFile(work_ + "/r.reg", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\Notes]\n\"InstallDir\"=\"\\\\Else, where\"\n"
                                           "\"Version\"=-\n");
  ASSERT_EQ(Device({"reg", "import", work_ + "/r.reg"}).status, 0);

  const std::string differences =
      "file \\Program Files\\Notes\\readme.txt: attributes ----a, expected -r--a\n"
      "file \\Program Files\\Notes\\Help\\notes.htm: missing\n"
      "registry value HKEY_LOCAL_MACHINE\\Software\\Notes: InstallDir: data \"\\\\Else, where\", expected "
      "\"\\\\Program Files\\\\Notes\"\n"
      "registry value HKEY_LOCAL_MACHINE\\Software\\Notes: Version: missing\n"
      "shortcut \\Windows\\Start Menu\\Programs\\Notes.lnk: missing\n";
  ToolResult changed = Device({"verify", "Notes"});
  EXPECT_EQ(changed.status, 1) << changed.err;
  EXPECT_EQ(changed.out, differences);
  ToolResult contents = Device({"verify", "Notes", "--package", package});
  EXPECT_EQ(contents.status, 1) << contents.err;
  EXPECT_NE(contents.out.find("file \\Program Files\\Notes\\notes.ini: CRC-32 0x"), std::string::npos) << contents.out;
  EXPECT_EQ(LinesWith(contents.out, "notes.ini").size(), 1u) << contents.out;
  ToolResult json = Device({"verify", "Notes", "--json"});
  EXPECT_EQ(json.status, 1);
  for (const char* part : {"\"kind\": \"shortcut\",\n      \"item\": \"\\\\Windows\\\\Start Menu\\\\Programs\\\\Notes.lnk\",\n"
                           "      \"problem\": \"missing\",\n      \"found\": null",
                           "\"problem\": \"attributes\",\n      \"found\": \"----a\",\n      \"expected\": \"-r--a\""}) {
    EXPECT_NE(json.out.find(part), std::string::npos) << part << "\n" << json.out;
  }

  ToolResult unknown = Device({"verify", "Other"});
  EXPECT_EQ(unknown.status, 2);
  EXPECT_EQ(unknown.err, "stowkit-device: verify: no installed product 'Other' is recorded ('products' lists them)\n");
  ToolResult other = Device({"verify", "Notes", "--package", work_ + "/junk.pkg"});
  EXPECT_EQ(other.status, 2);
  EXPECT_EQ(std::count(other.err.begin(), other.err.end(), '\n'), 1) << other.err;
}

TEST_F(DeviceQaTest, PlanForetellsTheRealInstallAndTouchesNothing) {
  std::string package = Example("notes");
  ASSERT_EQ(Device({"snapshot", "before"}).status, 0);
  ToolResult plan = Device({"plan", package});
  ASSERT_EQ(plan.status, 0) << plan.err;
  EXPECT_EQ(plan.out.rfind("Plan for installing " + package + " on " + device_ +
                               " (tried on a copy; the device is unchanged)\nInstaller exit code: 0\n", 0),
            0u) << plan.out;
  EXPECT_EQ(Device({"diff", "before"}).out, "No changes.\n");
  EXPECT_EQ(plan.err, "");
  // On a terminal each stage shows while it runs, on a line wiped before the report.
  ToolResult shown = testing::RunOnTerminal(
      testing::CommandLine(testing::BinPath("stowkit-device"), {"--device", device_, "plan", package}), work_);
  EXPECT_EQ(shown.status, 0) << shown.out;
  EXPECT_NE(shown.out.find("\r\033[Kplan: copying the device\r\033[Kplan: installing " + package +
                           " on the copy\r\033[Kplan: comparing the copy with the device\r\033[KPlan for "),
            std::string::npos) << shown.out;

  ASSERT_EQ(Device({"install", package, "--silent"}).status, 0);
  ToolResult real = Device({"diff", "before"});
  EXPECT_EQ(Labels(plan.out), Labels(real.out));
  EXPECT_GT(Labels(real.out).size(), 20u);
  // Installed files and registry texts alike, to the byte; the logs and the install time
  // differ by the clock alone.
  for (const char* item : {"\\Program Files\\Notes\\", "Software\\Notes: InstallDir", "Notes Remove.pkg"}) {
    EXPECT_EQ(LinesWith(plan.out, item), LinesWith(real.out, item)) << item;
  }
}

TEST_F(DeviceQaTest, PlanOfAFailingInstallShowsWhatTheFailedRunLeaves) {
  std::string package = Example("broken", "", "HKLM, Software\\Notes, 2, Broken, 1, ,\n");
  ASSERT_EQ(Device({"snapshot", "before"}).status, 0);
  ToolResult plan = Device({"plan", package, "--json"});
  EXPECT_EQ(plan.status, 1);
  EXPECT_EQ(plan.err, "stowkit-device: plan: the install would fail with exit code 101\n");
  EXPECT_NE(plan.out.find("\"exit_code\": 101"), std::string::npos) << plan.out;
  EXPECT_NE(plan.out.find("\"succeeded\": false"), std::string::npos);
  EXPECT_NE(plan.out.find("\\\\Program Files\\\\Notes\\\\notes.ini"), std::string::npos);  // written before the failure
  EXPECT_EQ(Device({"diff", "before"}).out, "No changes.\n");
}

TEST_F(DeviceQaTest, CheckPassesTheExamplePackage) {
  ToolResult check = Device({"check", Example("notes")});
  EXPECT_EQ(check.status, 0) << check.out << check.err;
  EXPECT_EQ(check.err, "");
  ToolResult shown = testing::RunOnTerminal(
      testing::CommandLine(testing::BinPath("stowkit-device"), {"--device", device_, "check", work_ + "/notes.pkg"}),
      work_);
  EXPECT_EQ(shown.status, 0) << shown.out;
  // Each step is shown as it ends; the progress line of the step under way is wiped first.
  for (const char* step : {"install ...\r\033[K  ok    install ", "install again ...\r\033[K  ok    install again",
                           "remove ...\r\033[K  ok    remove ", "leftovers ...\r\033[K  ok    leftovers "}) {
    EXPECT_NE(shown.out.find(std::string("\r\033[Kcheck: ") + step), std::string::npos) << step << "\n"
                                                                                      << shown.out;
  }
  for (const char* expected : {"  ok    install ", "  ok    install again ", "  ok    remove ",
                               "  ok    leftovers         nothing left behind\n",
                               "Kept, as the package marks them \"NoRemove\":\n",
                               "  value   HKEY_CURRENT_USER\\Software\\Notes: LastFolder\n",
                               "  file    \\Windows\\AppMgr\\Notes Remove.exe\n",
                               "  key     HKEY_LOCAL_MACHINE\\SOFTWARE\\TalvenorKitwright\n", "\nPASS\n"}) {
    EXPECT_NE(check.out.find(expected), std::string::npos) << expected << "\n" << check.out;
  }
  EXPECT_NE(check.out.find("  ok    product record    Notes 1.2.0.0, installed, uninstaller "
                           "\\Windows\\AppMgr\\Notes Remove.exe\n"),
            std::string::npos) << check.out;
  EXPECT_EQ(check.out.find("Left behind"), std::string::npos);
  // The user's own device is never used.
  EXPECT_EQ(Device({"products"}).out, "No products are recorded on this device.\n");
}

// What a newcomer copies first: the example of docs/manifest.md and the one of `build
// --help` build, install where they say and leave nothing behind.
TEST_F(DeviceQaTest, TheManifestExamplesOfTheDocsAndTheHelpInstall) {
  std::string docs = testing::ReadHostFile(std::string(STOWKIT_DOCS) + "/manifest.md");
  size_t start = docs.find("```toml\n");
  ASSERT_NE(start, std::string::npos);
  start += 8;
  std::string from_docs = docs.substr(start, docs.find("```\n", start) - start);
  ToolResult help = Pack({"build", "--help"});
  size_t first = help.out.find("  [package]\n"), last = help.out.find("\nUnknown keys");
  ASSERT_NE(first, std::string::npos);
  ASSERT_NE(last, std::string::npos);
  std::string from_help;
  std::istringstream lines(help.out.substr(first, last - first));
  for (std::string line; std::getline(lines, line);) from_help += (line.size() > 2 ? line.substr(2) : "") + "\n";

  for (const auto& [name, manifest] : {std::pair{"docs", from_docs}, std::pair{"help", from_help}}) {
    std::string folder = work_ + "/" + name;
    fs::create_directories(folder + "/files");
    testing::WriteHostFile(folder + "/files/notes.exe", "the program");
    testing::WriteHostFile(folder + "/files/notes.registry", "HKLM, Software\\Notes, 0, InstallDir, $(APPDIR), ,\n");
    testing::WriteHostFile(folder + "/notes.toml", manifest);
    ToolResult built = Pack({"build", folder + "/notes.toml", "-o", folder + "/notes.pkg"});
    ASSERT_EQ(built.status, 0) << name << ": " << built.err << manifest;
    ToolResult check = Device({"check", folder + "/notes.pkg"});
    EXPECT_EQ(check.status, 0) << name << ": " << check.out << check.err;
    EXPECT_NE(check.out.find("  ok    leftovers         nothing left behind\n"), std::string::npos) << check.out;
    ToolResult install = Device({"install", folder + "/notes.pkg", "--silent"});
    EXPECT_EQ(install.status, 0) << name << ": " << install.err;
    EXPECT_EQ(testing::ReadHostFile(device_ + "/fs/Program Files/Notes/notes.exe"), "the program") << name;
    EXPECT_TRUE(fs::exists(device_ + "/fs/Windows/Start Menu/Programs/Notes.lnk")) << name;
    ASSERT_EQ(Device({"remove", "Notes", "--silent"}).status, 0) << name;
  }
}

// The registry text marks one value "NoRemove", which may stay; the package's custom library
// writes a file that no entry marks, and that may not.
TEST_F(DeviceQaTest, CheckNamesWhatTheRemovalLeavesBehind) {
  std::string entries =
      "[[entry]]\ntype = \"MacroDefs\"\n[entry.properties]\n\"0x30\" = \"HOOKLOG=$(MYDOCUMENTS)\\\\hooks.txt\"\n";
  std::string folder = work_ + "/leaky";
  std::string package = Example("leaky", entries, "HKLM, Software\\Notes, 0, Kept, yes, , NoRemove\n");
  // The recording library in place of the example's.
  fs::copy_file(testing::LibPath("libhook_recorder.so"), folder + "/libexample_custom.so",
                fs::copy_options::overwrite_existing);
  ASSERT_EQ(Pack({"build", folder + "/notes.toml", "-o", package}).status, 0);

  ToolResult check = Device({"check", package});
  EXPECT_EQ(check.status, 1);
  EXPECT_NE(check.out.find("  FAIL  leftovers         1 item left behind that the package did not mark "
                           "\"NoRemove\"\nLeft behind:\n  file    \\My Documents\\hooks.txt\n"),
            std::string::npos) << check.out;
  EXPECT_NE(check.out.find("  value   HKEY_LOCAL_MACHINE\\SOFTWARE\\Notes: Kept\n"), std::string::npos)
      << "kept as marked:\n" << check.out;
  EXPECT_EQ(LinesWith(check.out, "hooks.txt").size(), 1u);
  EXPECT_EQ(check.err, "stowkit-device: check: leftovers failed: 1 item left behind that the package "
                       "did not mark \"NoRemove\"\n");

  ToolResult json = Device({"check", package, "--json"});
  EXPECT_NE(json.out.find("\"passed\": false"), std::string::npos);
  EXPECT_NE(json.out.find("\"left_behind\": [\n    {\n      \"kind\": \"file\",\n      \"path\": "
                          "\"\\\\My Documents\\\\hooks.txt\""),
            std::string::npos) << json.out;
}

// A file marked "NoRemove" stays, and so does its folder; an upgrade runs the old version's
// uninstaller first, which must leave nothing of its own either.
TEST_F(DeviceQaTest, CheckAcceptsMarkedFilesAndUpgrades) {
  std::string kept_file =
      "[[entry]]\ntype = \"AppFile\"\nflags = [\"ShouldInstall\", \"NoRemove\"]\nsource = \"files/readme.txt\"\n"
      "[entry.properties]\nDst = \"$(APPDIR)\\\\Data\\\\user.txt\"\n";
  std::string old_package = Example("old", kept_file);
  std::string folder = work_ + "/new";
  std::string package = Example("new", kept_file);
  std::string toml = testing::ReadHostFile(folder + "/notes.toml");
  testing::WriteHostFile(folder + "/notes.toml", toml.replace(toml.find("1.2.0.0"), 7, "1.3.0.0"));
  ASSERT_EQ(Pack({"build", folder + "/notes.toml", "-o", package}).status, 0);

  ToolResult check = Device({"check", package, "--upgrade-from", old_package});
  EXPECT_EQ(check.status, 0) << check.out;
  EXPECT_NE(check.out.find("  ok    install " + old_package + "  exit code 0\n  ok    upgrade "),
            std::string::npos) << check.out;
  EXPECT_NE(check.out.find("Notes 1.3.0.0, installed"), std::string::npos);
  EXPECT_NE(check.out.find("  file    \\Program Files\\Notes\\Data\\user.txt\n"), std::string::npos);
  EXPECT_NE(check.out.find("  folder  \\Program Files\\Notes\n"), std::string::npos) << check.out;
}

TEST_F(DeviceQaTest, CheckStopsAtARunThatFails) {
  std::string package = Example("broken", "", "HKLM, Software\\Notes, 2, Broken, 1, ,\n");
  ToolResult check = Device({"check", package});
  EXPECT_EQ(check.status, 1);
  // The failed run's reason comes from its log.
  EXPECT_NE(check.out.find("  FAIL  install           exit code 101 (0 or 1000 expected): the run "
                           "failed in \"Merging registry values ...\": Error parsing registry file: "
                           "line = HKLM, Software\\Notes, 2, Broken, 1, , (log: \\Stowkit_log_Notes.txt)\n"
                           "FAIL\n"),
            std::string::npos) << check.out;
  EXPECT_EQ(check.out.find("install again"), std::string::npos);

  // A run that hangs is ended when its time is up, and the check says so.
  std::string entries =
      "[[entry]]\ntype = \"MacroDefs\"\n[entry.properties]\n\"0x30\" = \"HOOKWAIT=20000\"\n";
  std::string folder = work_ + "/slow";
  std::string slow = Example("slow", entries);
  fs::copy_file(testing::LibPath("libhook_recorder.so"), folder + "/libexample_custom.so",
                fs::copy_options::overwrite_existing);
  ASSERT_EQ(Pack({"build", folder + "/notes.toml", "-o", slow}).status, 0);
  auto began = std::chrono::steady_clock::now();
  ToolResult timed = Device({"check", slow, "--timeout", "1"});
  EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(15));
  EXPECT_EQ(timed.status, 1);
  EXPECT_NE(timed.out.find("  FAIL  install           still running after 1 s: ended (see --timeout)\n"),
            std::string::npos) << timed.out;
  // With the dialog too.
  began = std::chrono::steady_clock::now();
  timed = Device({"check", slow, "--timeout", "1", "--screenshots", work_ + "/shots"});
  EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(15));
  EXPECT_NE(timed.out.find("  FAIL  install           still running after 1 s: ended (see --timeout)\n"),
            std::string::npos) << timed.out;
}

// The package's life again under a full disk and kills: the example holds up under every
// fault drawn; a custom library that ignores a failed write of its own and reports success
// is caught, and the fault named.
TEST_F(DeviceQaTest, CheckFaultsPassesTheExampleAndCatchesAnIgnoredWrite) {
  ToolResult check = Device({"check", Example("notes"), "--faults", "--samples", "2", "--seed", "7"});
  EXPECT_EQ(check.status, 0) << check.out << check.err;
  EXPECT_NE(check.out.find("Faults: up to 2 moments of each phase for each kind of fault, seed 7 (--seed 7 "
                           "repeats them)\n"),
            std::string::npos) << check.out;
  for (std::string phase : {"install", "install again", "removal"}) {
    EXPECT_EQ(LinesWith(check.out, "  ok    " + phase + ", disk full from write ").size(), 2u) << check.out;
    EXPECT_EQ(LinesWith(check.out, "  ok    " + phase + ", killed at ").size(), 2u) << check.out;
  }
  EXPECT_EQ(LinesWith(check.out, "FAIL").size(), 0u) << check.out;

  // A package of nothing but the recording library and the file it appends to, marked to
  // stay; every moment of a full disk is tried.
  std::string folder = work_ + "/liar";
  fs::create_directories(folder);
  fs::copy_file(testing::LibPath("libhook_recorder.so"), folder + "/hooks.so");
  testing::WriteHostFile(folder + "/hooks.txt", "");
  testing::WriteHostFile(folder + "/liar.toml",
      "[package]\nversion = \"1.0.0.0\"\n[package.properties]\nAppName = \"Liar\"\n"
      "[[entry]]\ntype = \"MacroDefs\"\n[entry.properties]\n\"0x30\" = \"HOOKLOG=$(MYDOCUMENTS)\\\\hooks.txt\"\n"
      "[[entry]]\ntype = \"CustomDll\"\nsource = \"hooks.so\"\n[entry.properties]\nDst = \"hooks.dll\"\n"
      "[[entry]]\ntype = \"AppFile\"\nflags = [\"ShouldInstall\", \"NoRemove\"]\nsource = \"hooks.txt\"\n"
      "[entry.properties]\nDst = \"$(MYDOCUMENTS)\\\\hooks.txt\"\n");
  ASSERT_EQ(Pack({"build", folder + "/liar.toml", "-o", folder + ".pkg"}).status, 0);
  ToolResult liar = Device({"check", folder + ".pkg", "--faults", "--kind", "disk", "--samples", "1000"});
  EXPECT_EQ(liar.status, 1) << liar.out;
  EXPECT_EQ(LinesWith(liar.out, ", killed at ").size(), 0u) << liar.out;
  std::vector<std::string> caught = LinesWith(liar.out, "  FAIL  ");
  ASSERT_FALSE(caught.empty()) << liar.out;
  EXPECT_NE(caught[0].find(", disk full from write "), std::string::npos) << caught[0];
  EXPECT_NE(caught[0].find("  exit code 0: reported success but the device differs from a clean "),
            std::string::npos) << caught[0];
  EXPECT_NE(caught[0].find("\\My Documents\\hooks.txt (size, crc)"), std::string::npos) << caught[0];
  EXPECT_EQ(liar.err.rfind("stowkit-device: check: ", 0), 0u) << liar.err;
  EXPECT_NE(liar.err.find(", disk full from write "), std::string::npos) << liar.err;
}

// What CI asks of a check: another platform, installer arguments, the device kept for a
// look afterwards, and the steps as JUnit XML.
TEST_F(DeviceQaTest, CheckForCiKeepsTheDeviceAndWritesJunit) {
  std::string kept = work_ + "/kept", junit = work_ + "/check.xml";
  ToolResult check = Device({"check", Example("notes"), "--platform", "smartphone", "--keep", kept,
                             "--junit", junit, "--", "/DAPPDIR", "$(PROGRAMFILES)\\Other"});
  EXPECT_EQ(check.status, 0) << check.out << check.err;
  EXPECT_EQ(check.out.rfind("Checking " + work_ + "/notes.pkg on a fresh Smartphone device\n", 0), 0u)
      << check.out;
  EXPECT_NE(testing::ReadHostFile(kept + "/device.toml").find("platform_type = 'Smartphone'"), std::string::npos);
  std::string log = testing::ReadHostFile(kept + "/fs/Stowkit_log_Notes.txt"), ascii;
  for (size_t i = 0; i < log.size(); i += 2) ascii += log[i];  // UTF-16LE of ASCII text
  EXPECT_NE(ascii.find("/is \\Temp\\notes.pkg /DAPPDIR $(PROGRAMFILES)\\Other\r\n"),
            std::string::npos) << ascii;
  EXPECT_NE(ascii.find("\\Other\\notes.ini"), std::string::npos) << ascii;

  std::string xml = testing::ReadHostFile(junit);
  EXPECT_NE(xml.find("tests=\"6\" failures=\"0\""), std::string::npos) << xml;
  for (const char* step : {"install", "product record", "install again", "remove", "leftovers"}) {
    EXPECT_NE(xml.find("name=\"" + std::string(step) + "\""), std::string::npos) << step << "\n" << xml;
  }
  EXPECT_EQ(xml.find("<failure"), std::string::npos);
}

// The width and height a PNG file's header gives; 0 x 0 when it is not a PNG.
std::pair<uint32_t, uint32_t> PngSize(const std::string& png) {
  if (png.size() < 24 || png.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0 || png.compare(12, 4, "IHDR") != 0) {
    return {0, 0};
  }
  auto big_endian = [&](size_t at) {
    uint32_t value = 0;
    for (size_t i = at; i < at + 4; ++i) value = value << 8 | uint8_t(png[i]);
    return value;
  };
  return {big_endian(16), big_endian(20)};
}

// Pictures of each run's dialog, without a terminal: the runs are not silent, each has its
// folder, and none waits for a user.
TEST_F(DeviceQaTest, CheckScreenshotsKeepEachRunsDialog) {
  std::string kept = work_ + "/kept", shots = work_ + "/shots";
  ToolResult check = Device({"check", Example("notes"), "--screenshots", shots, "--keep", kept,
                             "--timeout", "60"});
  EXPECT_EQ(check.status, 0) << check.out << check.err;
  EXPECT_EQ(check.err, "");
  std::set<std::string> folders;
  for (const fs::directory_entry& run : fs::directory_iterator(shots)) {
    folders.insert(run.path().filename().string());
    size_t pictures = 0;
    for (const fs::directory_entry& picture : fs::directory_iterator(run.path())) {
      EXPECT_EQ(picture.path().extension(), ".png") << picture.path();
      EXPECT_EQ(PngSize(testing::ReadHostFile(picture.path().string())), std::make_pair(240u, 320u))
          << picture.path();
      ++pictures;
    }
    EXPECT_GT(pictures, 0u) << run.path();
  }
  EXPECT_EQ(folders, (std::set<std::string>{"01-install", "02-install-again", "03-remove"}));
  std::string log = testing::ReadHostFile(kept + "/fs/Stowkit_log_Notes.txt"), ascii;
  for (size_t i = 0; i < log.size(); i += 2) ascii += log[i];  // UTF-16LE of ASCII text
  EXPECT_NE(ascii.find("/i \\Temp\\notes.pkg\r\n"), std::string::npos) << ascii;
}

// After its exit code, a failed install or removal tells why: the stage it stopped in and the
// last line it logged there, from the log of that very run; a run that wrote none says so.
TEST_F(DeviceQaTest, AFailedInstallOrRemovalTellsWhyFromItsLog) {
  std::string package = Example("broken", "", "HKLM, Software\\Notes, 2, Broken, 1, ,\n");
  const std::string why = "stowkit-device: install: the run failed in \"Merging registry values ...\": Error "
                          "parsing registry file: line = HKLM, Software\\Notes, 2, Broken, 1, , (log: ";
  ToolResult failed = Device({"install", package, "--silent"});
  EXPECT_EQ(failed.status, 101);
  EXPECT_EQ(failed.err, "exit code: 101\n" + why + "\\Stowkit_log_Notes.txt)\n");
  EXPECT_EQ(Device({"install", package, "--silent", "--", "/v", "\\Temp\\install.txt"}).err,
            "exit code: 101\n" + why + "\\Temp\\install.txt)\n");
  // The same logs as a user reads them: UTF-8 with bare line feeds.
  const std::string logged = "\nError parsing registry file: line = HKLM, Software\\Notes, 2, Broken, 1, ,\n";
  for (const char* which : {"Notes", "\\Temp\\install.txt"}) {
    ToolResult log = Device({"log", which});
    EXPECT_EQ(log.status, 0) << log.err;
    EXPECT_NE(log.out.find(logged), std::string::npos) << log.out;
    EXPECT_EQ(log.out.find('\r'), std::string::npos);
    EXPECT_EQ(log.out.rfind("-----", 0), 0u) << "no byte-order mark in front";
  }
  EXPECT_EQ(Device({"log", "Other"}).err, "stowkit-device: log: cannot read '\\Stowkit_log_Other.txt': The "
                                          "system cannot find the file specified.\n");
  // Killed before it opened its log, a run leaves the last run's log as it was: not its own.
  ToolResult killed = Device({"install", package, "--silent"}, "STOWKIT_FAULTS='write@*notes_setup.dll=kill'");
  EXPECT_EQ(killed.err, "exit code: 1067\nstowkit-device: install: the run wrote no log to tell why it failed "
                        "(run it again with '-- /v \\Temp\\install.txt' to have it write one)\n");
  // Of a package it cannot open the installer logs nothing at all. (A file that does not even
  // end in a package header never reaches it.)
  testing::WriteHostFile(work_ + "/junk.pkg", "x" + testing::ReadHostFile(package));
  EXPECT_EQ(Device({"install", work_ + "/junk.pkg", "--silent"}).err,
            "exit code: 101\nstowkit-device: install: the run wrote no log to tell why it failed (run it again "
            "with '-- /v \\Temp\\install.txt' to have it write one); the package does not open: Invalid "
            "header contents for package '\\Temp\\junk.pkg'\n");

  // A removal hook that fails without saying why: the stage is all there is to tell.
  std::string entries = "[[entry]]\ntype = \"MacroDefs\"\n[entry.properties]\n\"0x30\" = \"HOOKFAIL=PkgCustomPreRemove\"\n";
  std::string hooked = Example("hooked", entries);
  fs::copy_file(testing::LibPath("libhook_recorder.so"), work_ + "/hooked/libexample_custom.so",
                fs::copy_options::overwrite_existing);
  ASSERT_EQ(Pack({"build", work_ + "/hooked/notes.toml", "-o", hooked}).status, 0);
  ASSERT_EQ(Device({"install", hooked, "--silent"}).status, 0);
  ToolResult removal = Device({"remove", "Notes", "--silent"});
  EXPECT_EQ(removal.status, 103);
  EXPECT_EQ(removal.err, "exit code: 103\nstowkit-device: remove: the run failed in \"Performing pre-uninstall "
                         "actions ...\", which logged no reason (log: \\Unstowkit_log_Notes.txt)\n");
  ToolResult removal_log = Device({"log", "Notes", "--removal"});
  EXPECT_NE(removal_log.out.find("\nPerforming pre-uninstall actions ...\n"), std::string::npos) << removal_log.out;
  EXPECT_EQ(Device({"log"}).out, removal_log.out) << "the log written last";
}

// An install that could not write its uninstaller (a full disk) fails and leaves a product
// that only the package it came from can remove: pushed, and given to the installer with /x.
TEST_F(DeviceQaTest, RemoveWithThePackageWhenNoUninstallerIsRecorded) {
  std::string package = Example("notes");
  std::vector<std::string> app_dir = {"--", "/DAPPDIR", "\\Apps\\Notes"};
  std::vector<std::string> install = {"install", package, "--silent"};
  install.insert(install.end(), app_dir.begin(), app_dir.end());
  ASSERT_EQ(Device(install, "STOWKIT_FAULTS='write@*Remove.pkg=112'").status, 101);
  ASSERT_NE(Device({"products"}).out.find("  uninstall exe   -\n"), std::string::npos);
  ASSERT_TRUE(fs::exists(device_ + "/fs/Apps/Notes/notes.ini"));

  ToolResult plain = Device({"remove", "Notes", "--silent"});
  EXPECT_EQ(plain.status, 1);
  EXPECT_NE(plain.err.find("'remove Notes --package PKG' removes it with the package it was installed from\n"),
            std::string::npos) << plain.err;
  ToolResult other = Device({"remove", "Other", "--silent", "--package", package});
  EXPECT_EQ(other.status, 1);
  EXPECT_EQ(other.err, "stowkit-device: remove: '" + package + "' is the package of 'Notes', not of 'Other'\n");

  std::vector<std::string> remove = {"remove", "Notes", "--silent", "--package", package};
  remove.insert(remove.end(), app_dir.begin(), app_dir.end());
  ToolResult removed = Device(remove);
  EXPECT_EQ(removed.status, 0) << removed.err;
  EXPECT_EQ(Device({"products"}).out, "No products are recorded on this device.\n");
  EXPECT_FALSE(fs::exists(device_ + "/fs/Apps/Notes")) << "the macros of the install reached the removal";
  std::string log = testing::ReadHostFile(device_ + "/fs/Unstowkit_log_Notes.txt"), ascii;
  for (size_t i = 0; i < log.size(); i += 2) ascii += log[i];  // UTF-16LE of ASCII text
  EXPECT_NE(ascii.find("Command line: \"\\Windows\\stowkit.exe\" /xs \\Temp\\notes.pkg /DAPPDIR \\Apps\\Notes\r\n"),
            std::string::npos) << ascii;

  // A package that asks never to be removed: the run ends well and removes nothing, so the
  // record stays, which the command says.
  std::string kept = Example("kept");
  std::string toml = testing::ReadHostFile(work_ + "/kept/notes.toml");
  testing::WriteHostFile(work_ + "/kept/notes.toml", toml.insert(toml.find("[package]\n") + 10, "flags = [\"NoRemove\"]\n"));
  ASSERT_EQ(Pack({"build", work_ + "/kept/notes.toml", "-o", kept}).status, 0);
  ASSERT_EQ(Device({"install", kept, "--silent"}).status, 0);
  ToolResult stays = Device({"remove", "Notes", "--silent", "--package", kept});
  EXPECT_EQ(stays.status, 1);
  EXPECT_EQ(stays.err, "stowkit-device: remove: the removal succeeded, yet the product record of 'Notes' is still "
                       "there (see 'stowkit-device products')\n");
}

// A check or a plan stopped by a signal takes its throwaway device away, and the installer it
// waited for; one killed outright leaves its device behind, which the next one removes.
TEST_F(DeviceQaTest, StoppedChecksAndPlansLeaveNoThrowawayDevice) {
  std::string entries = "[[entry]]\ntype = \"MacroDefs\"\n[entry.properties]\n"
                        "\"0x30\" = \"HOOKLOG=\\\\Temp\\\\hooks.txt\"\n\"0x31\" = \"HOOKWAIT=60000\"\n";
  std::string slow = Example("slow", entries);
  fs::copy_file(testing::LibPath("libhook_recorder.so"), work_ + "/slow/libexample_custom.so",
                fs::copy_options::overwrite_existing);
  ASSERT_EQ(Pack({"build", work_ + "/slow/notes.toml", "-o", slow}).status, 0);
  std::string temp = work_ + "/tmp";  // the tool's temporary folder, ours alone
  fs::create_directory(temp);
  setenv("TMPDIR", temp.c_str(), 1);
  auto devices = [&temp] {
    std::vector<fs::path> found;
    for (const fs::directory_entry& item : fs::directory_iterator(temp)) found.push_back(item.path());
    return found;
  };
  // Whether any process still runs a program of a device below `temp`.
  auto programs_left = [&temp] {
    for (const fs::directory_entry& item : fs::directory_iterator("/proc")) {
      std::string command_line = testing::ReadHostFile((item.path() / "cmdline").string());
      if (command_line.rfind(temp, 0) == 0) return true;
    }
    return false;
  };
  for (auto [command, signal] : {std::pair{"check", SIGTERM}, std::pair{"plan", SIGINT}}) {
    testing::ChildProcess run({testing::BinPath("stowkit-device"), "--device", device_, command, slow});
    bool in_hook = false;
    for (int i = 0; i < 1000 && !in_hook; ++i) {
      for (const fs::path& device : devices()) in_hook = in_hook || fs::exists(device / "device/fs/Temp/hooks.txt");
      if (!in_hook) usleep(10000);
    }
    ASSERT_TRUE(in_hook) << command << ": the install never reached its hook";
    int status = run.Stop(signal);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << command << " " << std::hex << status;
    EXPECT_TRUE(devices().empty()) << command;
    EXPECT_FALSE(programs_left()) << command;
  }

  // Killed as it pushes the package onto its fresh device.
  std::string package = Example("notes");
  ToolResult killed = Device({"check", package}, "STOWKIT_FAULTS='open@\\Temp\\notes.pkg=kill'");
  EXPECT_NE(killed.status, 0);
  EXPECT_EQ(devices().size(), 1u);
  ToolResult next = Device({"check", package});
  unsetenv("TMPDIR");
  EXPECT_EQ(next.status, 0) << next.err;
  EXPECT_TRUE(devices().empty());
}

}  // namespace
}  // namespace stowkit
