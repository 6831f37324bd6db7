// stowkit-device reg export / reg import / products as a user runs them, on fresh devices.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/child_process.h"
#include "support/no_terminal.h"
#include "support/temp_device.h"
#include "support/tmux.h"
#include "support/tool_run.h"

namespace stowkit {
namespace {

namespace fs = std::filesystem;

using Result = testing::ToolResult;

// A registry file using every form of value line, odd values included: text that is not one
// terminated line, a four-byte value that is no REG_DWORD, a REG_DWORD that is not four
// bytes, long hex data, an empty key, names with quotes, backslashes and non-ASCII letters.
const char kRichFile[] =
    "REGEDIT4\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\App]\n"
    "@=\"default \\\"quoted\\\" \xc3\xa4\xce\xa3\"\n"
    "\"Path\"=\"\\\\Program Files\\\\App\"\n"
    "\"Count\"=dword:0000002a\n"
    "\"Wide\"=hex(4):01,02,03,04,05,06,07,08\n"
    "\"Raw\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\\\n"
    "  16,17,18,19,1a,1b,1c,1d,1e,1f\n"
    "\"Expand\"=hex(2):25,00,41,00,25,00,00,00\n"
    "\"Multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\n"
    "\"Unterminated\"=hex(1):41,00\n"
    "\"Two lines\"=hex(1):41,00,0a,00,42,00,00,00\n"
    "\"Other type\"=hex(4242):ff\n"
    "\"Nothing\"=hex:\n"
    "\"a \\\"name\\\" with \\\\\"=dword:00000001\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\App\\Empty]\n"
    "\n"
    "[HKEY_CURRENT_USER\\Settings]\n"
    "\"Theme\"=\"dark\"\n";

class RegistryToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/stowkit-regtool-XXXXXX";
    work_ = mkdtemp(pattern);
    ASSERT_EQ(Run("a", {"init"}).status, 0);
  }
  void TearDown() override { fs::remove_all(work_); }

  Result Run(const std::string& device, std::vector<std::string> args) {
    args.insert(args.begin(), {"--device", work_ + "/" + device});
    return testing::RunShell(testing::CommandLine(testing::BinPath("stowkit-device"), args), work_);
  }

  // Writes `content` to a file of the work folder and imports it into `device`.
  Result Import(const std::string& device, const std::string& content) {
    std::string file = work_ + "/in.reg";
    testing::WriteHostFile(file, content);
    return Run(device, {"reg", "import", file});
  }

  std::string Export(const std::string& device, const std::string& key = "") {
    Result result = key.empty() ? Run(device, {"reg", "export"})
                                : Run(device, {"reg", "export", key});
    EXPECT_EQ(result.status, 0) << result.err;
    return result.out;
  }

  std::string work_;
};

TEST_F(RegistryToolTest, ExportThenImportIntoAFreshDeviceGivesTheSameRegistry) {
  Result imported = Import("a", kRichFile);
  ASSERT_EQ(imported.status, 0) << imported.err;
  std::string first = Export("a");
  // Each value comes back in the form that keeps its type and bytes.
  for (const char* line : {"\"Count\"=dword:0000002a\n",
                           "\"Wide\"=hex(4):01,02,03,04,05,06,07,08\n",
                           "\"Unterminated\"=hex(1):41,00\n", "\"Other type\"=hex(4242):ff\n",
                           "\"Nothing\"=hex:\n", "\"Path\"=\"\\\\Program Files\\\\App\"\n",
                           "\"Two lines\"=hex(1):41,00,0a,00,42,00,00,00\n",
                           "\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\App\\Empty]\n"}) {
    EXPECT_NE(first.find(line), std::string::npos) << line;
  }
  EXPECT_EQ(first.rfind("REGEDIT4\n\n[HKEY_CURRENT_USER\\Settings]\n", 0), 0u) << first;

  ASSERT_EQ(Run("b", {"init"}).status, 0);
  testing::WriteHostFile(work_ + "/exported.reg", first);
  Result again = Run("b", {"reg", "import", work_ + "/exported.reg"});
  ASSERT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(Export("b"), first);

  // One key exports with its subkeys and nothing else.
  std::string app = Export("b", "hklm\\SOFTWARE\\Vendor\\App");
  EXPECT_EQ(app.rfind("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\App]\n@=", 0), 0u);
  EXPECT_NE(app.find("\\App\\Empty]"), std::string::npos);
  EXPECT_EQ(app.find("Settings"), std::string::npos);
}

TEST_F(RegistryToolTest, KeysAndValuesDifferingOnlyInCaseAreOne) {
  Result imported = Import("a",
                           "REGEDIT4\n"
                           "[HKEY_LOCAL_MACHINE\\Software\\App]\n\"Name\"=\"first\"\n"
                           "[HKLM\\SOFTWARE\\APP]\n\"NAME\"=\"second\"\n\"Other\"=dword:1\n");
  ASSERT_EQ(imported.status, 0) << imported.err;
  EXPECT_EQ(Export("a"),
            "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software]\n\n[HKEY_LOCAL_MACHINE\\Software\\App]\n"
            "\"Name\"=\"second\"\n\"Other\"=dword:00000001\n");
}

TEST_F(RegistryToolTest, DeletesAndUtf16FilesWithEitherByteOrder) {
  ASSERT_EQ(Import("a", kRichFile).status, 0);
  std::string text =
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor]\r\n"
      "[HKEY_CURRENT_USER\\Settings]\r\n\"Theme\"=-\r\n\"Gone already\"=-\r\n"
      "[-HKEY_CURRENT_USER\\Never\\Was]\r\n";
  for (bool little : {true, false}) {
    std::string utf16 = little ? "\xff\xfe" : "\xfe\xff";
    for (char c : text) utf16 += little ? std::string{c, '\0'} : std::string{'\0', c};
    Result result = Import("a", utf16);
    ASSERT_EQ(result.status, 0) << result.err;
  }
  EXPECT_EQ(Export("a"),
            "REGEDIT4\n\n[HKEY_CURRENT_USER\\Settings]\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE]\n");

  // UTF-8 with its byte-order mark.
  Result bom = Import("a", "\xef\xbb\xbfREGEDIT4\n[HKCU\\Settings]\n\"\xc3\xa9\"=\"\xc3\xa9\"\n");
  ASSERT_EQ(bom.status, 0) << bom.err;
  EXPECT_NE(Export("a").find("\"\xc3\xa9\"=\"\xc3\xa9\"\n"), std::string::npos);
}

TEST_F(RegistryToolTest, ABadLineIsReportedByNumberAndNothingIsApplied) {
  // Four good lines, one of which would delete what is there, before the bad one.
  const std::string good = "REGEDIT4\n[-HKCU\\Settings]\n[HKLM\\Good]\n\"v\"=\"1\"\n";
  struct Case {
    std::string text;
    size_t line;
    std::string reason;
  };
  const Case cases[] = {
      {"[HKXX\\Key]", 5, "unknown root key 'HKXX'"},
      {"\"x\"=dword:123456789", 5, "dword: needs 1 to 8 hex digits"},
      {"\"x\"=hex:01,zz", 5, "bad hex byte 'zz'"},
      {"\"x\"=hex:01,\\\n  02,", 5, "hex data end with a ','"},
      {"\"x\"=\"C:\\temp\"", 5, "unknown escape '\\t' in quoted text"},
      {"\"x\"=\"open", 5, "quoted text without its closing '\"'"},
      {"\"x\"=\"a\" trailing", 5, "unexpected text after the quoted value"},
      {"x=\"1\"", 5, "expected a quoted value name or @"},
      {"\"x\" \"1\"", 5, "expected '=' after the value name"},
      {"\"x\"=word:1", 5, "unknown value data 'word:1'"},
      {"[-HKLM\\Old]\n\"x\"=\"1\"", 6, "a value cannot follow a deleted key"},
      {"[-HKLM]", 5, "a root key cannot be deleted"},
      {"[HKLM\\a\\\\b]", 5, "empty key name"},
      {"[HKLM\\" + std::string(256, 'k') + "]", 5, "key name longer than 255 characters"},
      {"[HKLM\\1\\2\\3\\4\\5\\6\\7\\8\\9\\10\\11\\12\\13\\14\\15\\16\\17]", 5,
       "key more than 16 levels below its root"},
      {"[HKLM\\Unclosed", 5, "a key line must be '[KEY]' or '[-KEY]'"},
  };
  ASSERT_EQ(Import("a", "REGEDIT4\n[HKCU\\Settings]\n\"keep\"=\"me\"\n").status, 0);
  std::string before = Export("a");
  for (const Case& c : cases) {
    Result result = Import("a", good + c.text + "\n");
    EXPECT_EQ(result.status, 1);
    std::string expected = "stowkit-device: " + work_ + "/in.reg:" + std::to_string(c.line) +
                           ": " + c.reason;
    EXPECT_EQ(result.err.rfind(expected, 0), 0u) << result.err << "\nexpected: " << expected;
    EXPECT_NE(result.err.find("(nothing was imported)\n"), std::string::npos);
  }
  for (const std::string& text : {std::string("hello\n"), std::string(""),
                                  std::string("\"x\"=\"1\"\n")}) {
    Result result = Import("a", text);
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("REGEDIT4"), std::string::npos) << result.err;
  }
  EXPECT_EQ(Import("a", "REGEDIT4\n\"x\"=\"1\"\n").err,
            "stowkit-device: " + work_ + "/in.reg:2: a value line needs a key line before it "
            "(nothing was imported)\n");
  EXPECT_EQ(Export("a"), before);

  Result missing = Run("a", {"reg", "import", work_ + "/none.reg"});
  EXPECT_EQ(missing.err, "stowkit-device: cannot read '" + work_ + "/none.reg': No such file or directory\n");
  Result no_key = Run("a", {"reg", "export", "HKLM\\None"});
  EXPECT_EQ(no_key.status, 1);
  EXPECT_EQ(no_key.err, "stowkit-device: no such key 'HKLM\\None'\n");
}

TEST_F(RegistryToolTest, ProductsListsTheStateStore) {
  EXPECT_EQ(Run("a", {"products"}).out, "No products are recorded on this device.\n");
  EXPECT_EQ(Run("a", {"products", "--json"}).out, "[]\n");
  ASSERT_EQ(Import("a",
                   "REGEDIT4\n[HKLM\\SOFTWARE\\TalvenorKitwright\\Notes]\n"
                   "\"Status\"=dword:00000000\n\"Version\"=dword:0102000a\n"
                   "\"Features\"=\"Core,Help\"\n\"Languages\"=\"en,de\"\n"
                   "\"PlatformId\"=\"PocketPC\"\n"
                   "\"UninstallEXE\"=\"\\\\Windows\\\\AppMgr\\\\Notes Remove.exe\"\n"
                   "\"UninstallPKG\"=\"\\\\Windows\\\\AppMgr\\\\Notes Remove.pkg\"\n"
                   "[HKLM\\SOFTWARE\\TalvenorKitwright\\Half \"Done\"]\n"
                   "\"Status\"=dword:00000067\n\"Version\"=\"1.0\"\n"
                   // The CAB setup extension's marks alone record no product.
                   "[HKLM\\SOFTWARE\\TalvenorKitwright\\Upgrading]\n\"CEUpgradeMode\"=\"1\"\n"
                   "[HKLM\\SOFTWARE\\TalvenorKitwright\\Rolling]\n\"ceupgrademode\"=\"0\"\n\"CERollBack\"=\"1\"\n")
                .status,
            0);
  Result text = Run("a", {"products"});
  ASSERT_EQ(text.status, 0) << text.err;
  EXPECT_EQ(text.out,
            "Notes\n"
            "  status          0 (installed)\n"
            "  version         1.2.0.10\n"
            "  features        Core,Help\n"
            "  languages       en,de\n"
            "  platform id     PocketPC\n"
            "  uninstall exe   \\Windows\\AppMgr\\Notes Remove.exe\n"
            "  uninstall pkg   \\Windows\\AppMgr\\Notes Remove.pkg\n"
            "\n"
            "Half \"Done\"\n"
            "  status          103 (full removal failed)\n"
            "  version         -\n"
            "  features        -\n"
            "  languages       -\n"
            "  platform id     -\n"
            "  uninstall exe   -\n"
            "  uninstall pkg   -\n");
  Result json = Run("a", {"products", "--json"});
  ASSERT_EQ(json.status, 0) << json.err;
  EXPECT_EQ(json.out,
            "[\n"
            "  {\n"
            "    \"name\": \"Notes\",\n"
            "    \"status\": 0,\n"
            "    \"status_text\": \"installed\",\n"
            "    \"version\": \"1.2.0.10\",\n"
            "    \"features\": \"Core,Help\",\n"
            "    \"languages\": \"en,de\",\n"
            "    \"platform_id\": \"PocketPC\",\n"
            "    \"uninstall_exe\": \"\\\\Windows\\\\AppMgr\\\\Notes Remove.exe\",\n"
            "    \"uninstall_pkg\": \"\\\\Windows\\\\AppMgr\\\\Notes Remove.pkg\"\n"
            "  },\n"
            "  {\n"
            "    \"name\": \"Half \\\"Done\\\"\",\n"
            "    \"status\": 103,\n"
            "    \"status_text\": \"full removal failed\",\n"
            "    \"version\": null,\n"
            "    \"features\": null,\n"
            "    \"languages\": null,\n"
            "    \"platform_id\": null,\n"
            "    \"uninstall_exe\": null,\n"
            "    \"uninstall_pkg\": null\n"
            "  }\n"
            "]\n");

  // A record whose uninstaller is there is removed with it, not forgotten; one whose
  // uninstaller is gone only with a yes, which a run without a terminal gives by --yes.
  testing::WriteHostFile(work_ + "/u", "uninstaller");
  ASSERT_EQ(Run("a", {"push", work_ + "/u", "\\Windows\\AppMgr\\Notes Remove.exe"}).status, 0);
  ASSERT_EQ(Run("a", {"push", work_ + "/u", "\\Windows\\AppMgr\\Notes Remove.pkg"}).status, 0);
  Result kept = Run("a", {"products", "--forget", "notes", "--yes"});
  EXPECT_EQ(kept.status, 1);
  EXPECT_EQ(kept.err, "stowkit-device: products: the uninstaller of 'Notes' is there: 'remove Notes' removes the "
                      "application and its record\n");
  fs::remove(work_ + "/a/fs/Windows/AppMgr/Notes Remove.pkg");
  testing::NoTerminal no_terminal;  // also when the tests run by hand in a terminal
  Result unasked = Run("a", {"products", "--forget", "Notes"});
  EXPECT_EQ(unasked.status, 1);
  EXPECT_EQ(unasked.err, "stowkit-device: products: there is no terminal to ask whether to forget 'Notes': give --yes\n");
  // On a terminal it asks, and anything but a yes keeps the record.
  if (std::system("tmux -V >/dev/null 2>&1") == 0) {
    std::string command = testing::CommandLine(testing::BinPath("stowkit-device"),
                                               {"--device", work_ + "/a", "products", "--forget", "Notes"});
    for (const char* answer : {"n", "y"}) {
      testing::Tmux tmux(work_ + "/forget-" + answer + ".tmux");
      ASSERT_TRUE(tmux.Start(command));
      std::string asked = tmux.WaitFor("[y/N]");
      EXPECT_NE(asked.find("Forget the record of 'Notes' (nothing else is removed)? [y/N]"),
                std::string::npos) << asked;
      tmux.Keys(std::string(answer) + " Enter");
      std::string screen = tmux.WaitFor("exit ");
      EXPECT_NE(screen.find(*answer == 'y' ? "Forgot the product record of 'Notes'.\nexit 0"
                                           : "stowkit-device: products: 'Notes' is not forgotten\nexit 1"),
                std::string::npos) << screen;
    }
  } else {
    ASSERT_EQ(Run("a", {"products", "--forget", "Notes", "--yes"}).status, 0);
  }
  Result forgot = Run("a", {"products", "--forget", "Half \"Done\"", "--yes"});
  EXPECT_EQ(forgot.status, 0) << forgot.err;
  EXPECT_EQ(forgot.out, "Forgot the product record of 'Half \"Done\"'.\n");
  EXPECT_EQ(Run("a", {"products"}).out, "No products are recorded on this device.\n");
  EXPECT_EQ(Run("a", {"products", "--forget", "Upgrading", "--yes"}).err,
            "stowkit-device: products: no product 'Upgrading' is recorded\n");
  EXPECT_NE(Run("a", {"reg", "export", "HKLM\\SOFTWARE\\TalvenorKitwright\\Upgrading"}).out.find("CEUpgradeMode"),
            std::string::npos) << "a mark is the setup extension's business";

  // A registry that cannot be read is never a device without products: every command that
  // reads it fails with the reason, garbage in the file or a folder in its place.
  for (bool garbage : {true, false}) {
    std::string db = work_ + "/a/registry.db";
    for (const char* suffix : {"", "-wal", "-shm"}) fs::remove_all(db + suffix);
    if (garbage) {
      testing::WriteHostFile(db, std::string(4096, 'x'));
    } else {
      fs::create_directory(db);
    }
    std::string reason = garbage ? "could not be read." : "could not be opened.";
    for (std::vector<std::string> command : {std::vector<std::string>{"products"}, {"products", "--json"},
                                             {"remove", "Notes", "--silent"}, {"reg", "export"}, {"snapshot", "s"}}) {
      Result result = Run("a", command);
      EXPECT_EQ(result.status, 1) << command[0] << " " << result.out;
      EXPECT_EQ(result.out, "") << command[0];
      EXPECT_NE(result.err.find(reason + "\n"), std::string::npos) << result.err;
      EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    }
    EXPECT_EQ(Run("a", {"products"}).err, "stowkit-device: products: cannot read the device registry (" + work_ +
                                              "/a/registry.db): The configuration registry key " + reason + "\n");
  }
}

}  // namespace
}  // namespace stowkit
