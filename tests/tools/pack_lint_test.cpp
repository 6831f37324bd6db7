// stowkit-pack lint: each finding in a package made to have it, silence on the example
// package, and the exit status, --allow and --json around them.
#include <filesystem>
#include <regex>
#include <set>
#include <sstream>

#include "pack_tool_fixture.h"
#include "package/package_bytes.h"

namespace stowkit {
namespace {

namespace fs = std::filesystem;
using testing::ToolResult;

constexpr char kPackage[] = R"([package]
version = "1.0.0.0"
[package.properties]
AppName = "Lint"
AllFeatures = "Core,Help"
EnabledFeatures = "Core,Help"
AllLanguages = "en,de"
EnabledLanguages = "en"
)";

// A TOML entry of `type` with flags ShouldInstall (and more), `properties` as "Key = value"
// lines and an optional source file.
std::string Entry(const std::string& type, const std::vector<std::string>& properties,
                  const std::string& source = "", const std::string& flags = "\"ShouldInstall\"") {
  std::string text = "\n[[entry]]\ntype = \"" + type + "\"\nflags = [" + flags + "]\n";
  if (!source.empty()) text += "source = \"" + source + "\"\n";
  text += "[entry.properties]\n";
  for (const std::string& property : properties) text += property + "\n";
  return text;
}

std::string Dst(const std::string& path) { return "Dst = '" + path + "'"; }

class LintTest : public testing::PackToolTest {
 protected:
  void SetUp() override {
    PackToolTest::SetUp();
    Write("a.txt", "content");
  }

  // Builds p.pkg from `manifest` and lints it with `more` arguments.
  ToolResult Lint(const std::string& manifest, std::vector<std::string> more = {}) {
    Write("p.toml", manifest);
    ToolResult built = Pack({"build", "p.toml", "-o", "p.pkg"});
    EXPECT_EQ(built.status, 0) << built.err;
    more.insert(more.begin(), {"lint", "p.pkg"});
    return Pack(more);
  }

  // "code@N" (N the entry number lint shows) or "code@package" for each finding line.
  static std::multiset<std::string> Findings(const ToolResult& result) {
    static const std::regex line(R"(^(error|warning) +(\S+) +(package|entry (\d+) \(\w+\)) .*)");
    std::multiset<std::string> found;
    std::istringstream lines(result.out);
    for (std::string text; std::getline(lines, text);) {
      std::smatch m;
      if (std::regex_match(text, m, line)) found.insert(m[2].str() + "@" + (m[4].matched ? m[4].str() : "package"));
    }
    return found;
  }

  void CopyLibrary(const std::string& library, const std::string& name) {
    fs::copy_file(testing::LibPath(library), work_ + "/" + name, fs::copy_options::overwrite_existing);
  }
};

TEST_F(LintTest, TheExamplePackageIsClean) {
  fs::copy(std::string(STOWKIT_EXAMPLES) + "/notes", work_, fs::copy_options::recursive);
  CopyLibrary("libexample_custom.so", "libexample_custom.so");
  MustBuild("notes.toml", "notes.pkg");
  ToolResult lint = Pack({"lint", "notes.pkg"});
  EXPECT_EQ(lint.status, 0) << lint.err;
  EXPECT_EQ(lint.out, "No findings.\n");
  EXPECT_EQ(lint.err, "");
}

TEST_F(LintTest, DestinationsThatDoNotExpandOrAreTooLong) {
  std::string manifest =
      kPackage + Entry("MacroDefs", {"\"0x30\" = \"APPDIR=$(PROGRAMFILES)\\\\Lint\"", "\"0x31\" = \"LOOP=$(LOOP)\\\\x\"",
                                   "\"0x32\" = \"BROKEN=$(GONE)\\\\y\""}, "", "") +
      Entry("Folder", {Dst("$(APPDIR)")}) +
      Entry("AppFile", {Dst("$(APDIR)\\a.txt")}, "a.txt") +
      Entry("Shortcut", {"LinkName = '$(PROGRAMS)\\Lint'", "LinkTarget = '$(APPDIR)\\$(NOPE)'"}) +
      Entry("AppFile", {Dst("$(LOOP)\\b.txt")}, "a.txt") +
      Entry("AppFile", {Dst("$(PROGRAMFILES)\\" + std::string(244, 'x'))}, "a.txt") +  // 259 characters
      Entry("AppFile", {Dst("$(PROGRAMFILES)\\" + std::string(245, 'y'))}, "a.txt") +  // 260
      Entry("AppFile", {Dst("$(SUPPORTDIR)\\$(LANG)\\c.txt")}, "a.txt") +
      Entry("AppFile", {Dst("$(BROKEN)\\d.txt")}, "a.txt") +
      // A path in another installer's syntax, and one with no root: both land under "\".
      Entry("AppFile", {Dst("%InstallDir%\\e.txt")}, "a.txt") +
      Entry("AppCleanup", {Dst("\\Temp\\x.log, logs\\y.log")}) +
      Entry("Shortcut", {"LinkName = ' Programs\\Lint'", "LinkTarget = '\\a.txt'"});
  ToolResult lint = Lint(manifest);
  EXPECT_EQ(lint.status, 1);
  EXPECT_EQ(Findings(lint), (std::multiset<std::string>{"undefined-macro@3", "undefined-macro@4",
                                                        "undefined-macro@5", "long-path@7",
                                                        "undefined-macro@8", "undefined-macro@9",
                                                        "not-a-device-path@10",
                                                        "not-a-device-path@11",
                                                        "not-a-device-path@12"}))
      << lint.out;
  EXPECT_NE(lint.out.find("Dst \"%InstallDir%\\e.txt\" begins with neither \\ nor a macro: it "
                          "installs as \"\\%InstallDir%\\e.txt\""),
            std::string::npos) << lint.out;
  EXPECT_NE(lint.out.find("Dst \"logs\\y.log\" begins"), std::string::npos) << lint.out;
  EXPECT_NE(lint.out.find("Dst \"$(APDIR)\\a.txt\" refers to $(APDIR), which nothing defines"),
            std::string::npos) << lint.out;
  EXPECT_NE(lint.out.find("LinkTarget \"$(APPDIR)\\$(NOPE)\" refers to $(NOPE)"), std::string::npos);
  EXPECT_NE(lint.out.find("has 260 characters"), std::string::npos);
  EXPECT_NE(lint.out.find("$(LANG) (the package has no \"UserLanguage\" to define it)"), std::string::npos);
  EXPECT_NE(lint.out.find("Dst \"$(BROKEN)\\d.txt\" refers to $(GONE) (in the value of a macro it uses)"),
            std::string::npos) << lint.out;

  // The user's language defines LANG, as the installer does.
  size_t at = manifest.find("AppName");
  manifest.insert(at, "UserLanguage = \"en\"\n");
  EXPECT_EQ(Findings(Lint(manifest)).count("undefined-macro@8"), 0u);
}

TEST_F(LintTest, EntriesThatWriteTheSamePathOrLackANameOrCarryTooManyMacros) {
  ToolResult lint = Lint(
      kPackage +
      Entry("AppFile", {Dst("$(PROGRAMFILES)\\L\\a.txt"), "Features = 'Help'"}, "a.txt") +
      Entry("AppFile", {Dst("\\Program Files\\l\\A.TXT"), "Features = '!Help'"}, "a.txt") +  // one or the other
      Entry("AppFile", {Dst("$(PROGRAMFILES)\\L\\a.txt"), "Lang = 'de'"}, "a.txt") +          // 3: with 1
      Entry("AppFile", {Dst("\\x.txt"), "Lang = 'en'"}, "a.txt") +
      Entry("AppFile", {Dst("\\X.txt"), "Lang = 'de'"}, "a.txt") +                             // a language each
      Entry("Shortcut", {"LinkName = '$(PROGRAMS)\\S'", "LinkTarget = '\\x.txt'"}) +
      Entry("Shortcut", {"LinkName = '$(PROGRAMS)\\s.lnk'", "LinkTarget = '\\x.txt'"}) +       // 7: with 6
      Entry("Folder", {Dst("\\F")}) + Entry("Folder", {Dst("\\f")}) +                           // 9: with 8
      Entry("SupportFile", {Dst("s.dat")}, "a.txt") + Entry("SupportFile", {Dst("s.dat")}, "a.txt") +  // 11
      Entry("SupportFile", {}, "a.txt") +                                                       // 12: no name
      Entry("Shortcut", {"LinkName = '\\Nowhere'"}) +                                           // 13: no target
      Entry("RemoveFile", {"Dst = ' '"}));                                                      // 14: blank
  // No Folder entry makes \Program Files\L, so the first three leave it behind too.
  EXPECT_EQ(Findings(lint),
            (std::multiset<std::string>{"duplicate-destination@3", "duplicate-destination@7",
                                        "duplicate-destination@9", "duplicate-destination@11",
                                        "missing-name@12", "missing-name@13", "missing-name@14",
                                        "folder-left-behind@1", "folder-left-behind@2",
                                        "folder-left-behind@3"}))
      << lint.out;
  EXPECT_NE(lint.out.find("\"\\Program Files\\L\\a.txt\" is also written by entry 1 (AppFile)"),
            std::string::npos) << lint.out;

  // 8 device folders and 72 definitions of the package's own fill the 80 the uninstall
  // package carries; SUPPORTDIR, which belongs to one run, is not carried.
  std::vector<std::string> definitions;
  for (int i = 0; i < 73; ++i) {
    definitions.push_back("\"" + std::to_string(0x30 + i) + "\" = \"M" + std::to_string(i) + "=x\"");
  }
  EXPECT_TRUE(Findings(Lint(kPackage + Entry("MacroDefs", {definitions.begin(), definitions.end() - 1}, "", ""))).empty());
  ToolResult many = Lint(kPackage + Entry("MacroDefs", definitions, "", ""));
  EXPECT_EQ(Findings(many), std::multiset<std::string>{"too-many-macros@package"});
  EXPECT_NE(many.out.find("81 macro definitions"), std::string::npos) << many.out;
}

TEST_F(LintTest, ContentsThatAreMissingDamagedOrDoNotParse) {
  Write("r.registry",
        "// comment\n"
        "\n"
        "HKLM, Software\\$(KEYNAME), 0, Path, $(PROGRAMFILES)\\x, , \n"
        "HKLM, Software\\Lint, 2, Wrong type, 1, ,\n"
        "HKLM, Software\\Lint, 0, $(NAME), \"$(NOPE), quoted\", NoOverwrite, NoRemove\n"
        "HKXX, Software\\Lint, 0, Root, 1, ,\n"
        "HKCU, Software\\Lint, 1, Seven, 1, , , eight\n");
  ToolResult lint = Lint(kPackage + Entry("AppFile", {Dst("\\a.txt")}, "", "\"ShouldInstall\", \"IgnoreBlob\"") +
                         Entry("Registry", {}, "r.registry", "\"ShouldInstall\", \"BlobCompressed\""));
  EXPECT_EQ(Findings(lint), (std::multiset<std::string>{"missing-content@1", "undefined-macro@2",
                                                        "bad-registry-line@2", "undefined-macro@2",
                                                        "undefined-macro@2", "bad-registry-line@2",
                                                        "bad-registry-line@2"}))
      << lint.out;
  for (const char* expected : {"line 3 key \"Software\\$(KEYNAME)\" refers to $(KEYNAME)",
                               "line 4 does not parse", "line 5 name \"$(NAME)\"",
                               "line 5 data \"$(NOPE), quoted\" refers to $(NOPE)", "line 6 does not parse",
                               "line 7 does not parse"}) {
    EXPECT_NE(lint.out.find(expected), std::string::npos) << expected << "\n" << lint.out;
  }

  // An uninstall package carries its files without content, as it should.
  std::string removal = kPackage + Entry("AppFile", {Dst("\\a.txt")}, "", "\"IgnoreBlob\"");
  removal.insert(removal.find("version"), "flags = [\"Remove\"]\n");
  EXPECT_TRUE(Findings(Lint(removal)).empty());

  // One byte of a stored blob changed after the build.
  Lint(kPackage + Entry("AppFile", {Dst("\\a.txt")}, "a.txt"));
  std::string bytes = Read("p.pkg");
  bytes[0] ^= 0x20;
  Write("p.pkg", bytes);
  ToolResult damaged = Pack({"lint", "p.pkg"});
  EXPECT_EQ(Findings(damaged), std::multiset<std::string>{"bad-blob@1"});
  EXPECT_NE(damaged.out.find("CRC mismatch"), std::string::npos);

  // Records that no build writes, as verify refuses them: a blob past the end of the file,
  // no blob with a CRC, content of another size than FinalSize (a library of "ten bytes"
  // that inflates to 2 GiB among them), and no blob with a size, which missing-content names.
  testing::PackageLayout layout;
  layout.entries = {testing::FileEntry("content", true, u"\\a.txt"), testing::Entry(1, 0x04, {{1, u"\\b.txt"}}),
                    testing::FileEntry("content", true, u"\\c.txt"), testing::Entry(6, 0x01, {{1, u"setup.dll"}}),
                    testing::Entry(1, 0x04, {{1, u"\\e.txt"}})};
  layout.entries[1].crc = 1;
  layout.entries[2].final_size = 3;
  layout.entries[3].blob = testing::ZerosDeflate(2048, layout.entries[3].crc);
  layout.entries[3].final_size = 10;
  layout.entries[4].final_size = 7;
  std::string laid = testing::BuildPackage(layout);
  testing::Set32(laid, testing::RecordAt(laid, 0) + 8, uint32_t(laid.size()) + 1);
  Write("laid.pkg", laid);
  ToolResult refused = Pack({"lint", "laid.pkg"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(Findings(refused), (std::multiset<std::string>{"bad-blob@1", "bad-blob@2", "bad-blob@3",
                                                           "bad-blob@4", "missing-content@5"}))
      << refused.out;
  for (const char* expected : {"the blob runs past the end of the file", "yet its FinalCRC is 0x00000001",
                               "its content is larger than its FinalSize of 3 bytes",
                               "its content is larger than its FinalSize of 10 bytes"}) {
    EXPECT_NE(refused.out.find(expected), std::string::npos) << expected << "\n" << refused.out;
  }
}

TEST_F(LintTest, FeaturesAndLanguagesTheListsDoNotName) {
  std::string package = kPackage;
  package.replace(package.find("\"Core,Help\"\nAll"), 11, "\"Core,Extra\"");
  ToolResult lint = Lint(package + Entry("AppFile", {Dst("\\1"), "Features = 'help, Core'"}, "a.txt") +
                         Entry("AppFile", {Dst("\\2"), "Features = 'Nope'"}, "a.txt") +
                         Entry("AppFile", {Dst("\\3"), "Features = '!Gone'"}, "a.txt") +
                         Entry("AppFile", {Dst("\\4"), "Lang = 'fr;en'"}, "a.txt"));
  EXPECT_EQ(Findings(lint), (std::multiset<std::string>{"unknown-feature@package", "unknown-feature@2",
                                                        "unknown-feature@3", "unknown-language@4"}))
      << lint.out;
  EXPECT_NE(lint.out.find("EnabledFeatures names feature 'Extra', which AllFeatures does not list"),
            std::string::npos) << lint.out;
  EXPECT_NE(lint.out.find("is tied to feature 'Gone'"), std::string::npos);

  // Without an AllFeatures list the installer knows the enabled names alone.
  std::string enabled_only = "[package]\n[package.properties]\nAppName = \"Lint\"\nEnabledFeatures = \"A\"\n";
  EXPECT_TRUE(Findings(Lint(enabled_only + Entry("AppFile", {Dst("\\1"), "Features = 'a'"}, "a.txt"))).empty());
  EXPECT_EQ(Findings(Lint(enabled_only + Entry("AppFile", {Dst("\\1"), "Features = 'B'"}, "a.txt"))),
            std::multiset<std::string>{"unknown-feature@1"});
}

TEST_F(LintTest, EntriesNothingInstallsAndFoldersRemovalLeavesBehind) {
  Write("r.registry", "HKLM, Software\\Lint, 0, Path, x, , \n");
  std::string manifest =
      kPackage + Entry("MacroDefs", {"\"0x30\" = \"APPDIR=$(PROGRAMFILES)\\\\Lint\""}, "", "") +
      Entry("Folder", {Dst("$(APPDIR)\\")}) +
      Entry("AppFile", {Dst("$(APPDIR)\\a.txt")}, "a.txt") +                       // made
      Entry("AppFile", {Dst("$(PROGRAMFILES)\\Lint2\\b.txt")}, "a.txt") +        // 4: not made
      Entry("AppFile", {Dst("$(WINDIR)\\c.txt")}, "a.txt") +                       // the device's
      Entry("AppFile", {Dst("\\Windows\\Start Menu\\d.txt")}, "a.txt") +         // above PROGRAMS
      Entry("AppFile", {Dst("\\Keep\\e.txt")}, "a.txt", "\"ShouldInstall\", \"NoRemove\"") +
      Entry("AppFile", {Dst("$(SUPPORTDIR)\\W\\f.txt")}, "a.txt") +              // goes with the run
      Entry("AppFile", {Dst("$(APPDIR)\\Sub\\g.txt")}, "a.txt") +                // 9: goes with 2
      Entry("Shortcut", {"LinkName = '$(PROGRAMS)\\Lint'", "LinkTarget = '$(APPDIR)\\a.txt'"},
            "", "") +                                                              // 10: never
      Entry("AppFile", {Dst("$(APPDIR)\\h.txt"), "Features = 'Help'"}, "a.txt", "") +  // a choice
      Entry("Registry", {"Lang = 'de'"}, "r.registry", "") +                              // a choice
      Entry("RemoveFile", {Dst("\\old.txt")}, "", "");                              // 13: never
  ToolResult lint = Lint(manifest);
  EXPECT_EQ(lint.status, 0);  // warnings only
  EXPECT_EQ(Findings(lint), (std::multiset<std::string>{"folder-left-behind@4", "never-installed@10",
                                                        "never-installed@13"}))
      << lint.out;
  EXPECT_NE(lint.out.find("installs into \"\\Program Files\\Lint2\", which is in no folder a "
                          "Folder entry makes: removal leaves the folder behind"),
            std::string::npos) << lint.out;
  EXPECT_NE(lint.out.find("has no \"ShouldInstall\" flag and no Features or Lang"),
            std::string::npos) << lint.out;

  // An uninstall package installs nothing and leaves its folders to the package it undoes.
  std::string removal = kPackage + Entry("AppFile", {Dst("\\Gone\\a.txt")}, "", "\"IgnoreBlob\"");
  removal.insert(removal.find("version"), "flags = [\"Remove\"]\n");
  EXPECT_TRUE(Findings(Lint(removal)).empty());
}

TEST_F(LintTest, CustomLibraryHooks) {
  CopyLibrary("libmisspelt_hooks.so", "misspelt.so");
  ToolResult lint = Lint(kPackage + Entry("CustomDll", {Dst("setup.dll")}, "misspelt.so", ""));
  EXPECT_EQ(lint.status, 0);  // warnings only
  EXPECT_EQ(Findings(lint), (std::multiset<std::string>{"misspelt-hook@1", "misspelt-hook@1", "misspelt-hook@1",
                                                        "misspelt-hook@1", "unpaired-hook@1"}))
      << lint.out;
  for (const char* expected :
       {"'PkgCustomPreinstall', which is never called: the hook is 'PkgCustomPreInstall'",
        "'PkgCustomPostInstal', which is never called: it looks like 'PkgCustomPostInstall'",
        "'helpCustomPreRemove', which is never called: the package spells the feature 'Help'",
        "'ExtrasCustomPostInstall', which is never called: the package lists no feature 'Extras'",
        "exports PkgCustomPostInstall but neither PkgCustomPreRemove nor PkgCustomPostRemove"}) {
    EXPECT_NE(lint.out.find(expected), std::string::npos) << expected << "\n" << lint.out;
  }

  CopyLibrary("libplain.so", "plain.so");
  EXPECT_EQ(Findings(Lint(kPackage + Entry("CustomDll", {Dst("setup.dll")}, "plain.so", ""))),
            std::multiset<std::string>{"no-hooks@1"});
  CopyLibrary("libhook_recorder.so", "recorder.so");
  ToolResult extra = Lint(kPackage + Entry("CustomDll", {Dst("a.dll")}, "plain.so", "") +
                          Entry("CustomDll", {}, "recorder.so", ""));
  // The recorder's hooks for "Extras" are looked up for no feature of this package.
  EXPECT_EQ(Findings(extra), (std::multiset<std::string>{"extra-custom-library@1", "missing-name@2",
                                                         "misspelt-hook@2", "misspelt-hook@2",
                                                         "misspelt-hook@2", "misspelt-hook@2"}))
      << extra.out;
}

TEST_F(LintTest, CustomLibrariesTheDeviceCannotLoad) {
  Write("text.dll", "not a library at all");
  Write("windows.dll", std::string("MZ\x90\0", 4) + std::string(200, '\0'));
  std::string arm = testing::ReadHostFile(testing::LibPath("libplain.so"));
  arm[18] = 40;  // e_machine: ARM
  arm[19] = 0;
  Write("arm.so", arm);
  std::string cut = testing::ReadHostFile(testing::LibPath("libplain.so"));
  Write("cut.so", cut.substr(0, cut.size() / 2));
  for (auto [file, reason] : std::vector<std::pair<std::string, std::string>>{
           {"text.dll", "not a shared library (no ELF header)"},
           {"windows.dll", "a Windows DLL"},
           {"arm.so", "built for 64-bit ARM, but the device loads 64-bit"},
           {"cut.so", "a damaged library: its tables reach outside the file"}}) {
    ToolResult lint = Lint(kPackage + Entry("CustomDll", {Dst("setup.dll")}, file, ""));
    EXPECT_EQ(lint.status, 1) << file;
    EXPECT_EQ(Findings(lint), std::multiset<std::string>{"bad-custom-library@1"}) << lint.out;
    EXPECT_NE(lint.out.find("the device cannot load it: " + reason), std::string::npos) << lint.out;
  }
}

TEST_F(LintTest, AllowJsonAndExitStatus) {
  CopyLibrary("libplain.so", "plain.so");
  std::string manifest = kPackage + Entry("CustomDll", {Dst("setup.dll")}, "plain.so", "") +
                         Entry("Folder", {Dst("$(NOWHERE)")});
  ToolResult lint = Lint(manifest);
  EXPECT_EQ(lint.status, 1);
  EXPECT_NE(lint.out.find("\n1 error, 1 warning.\n"), std::string::npos) << lint.out;
  ToolResult allowed = Pack({"lint", "p.pkg", "--allow", "undefined-macro"});
  EXPECT_EQ(allowed.status, 0);
  EXPECT_EQ(Findings(allowed), std::multiset<std::string>{"no-hooks@1"});
  EXPECT_NE(allowed.out.find("0 errors, 1 warning (1 finding allowed).\n"), std::string::npos);
  EXPECT_EQ(Pack({"lint", "p.pkg", "--allow", "undefined-macro", "no-hooks"}).out, "No findings (2 findings allowed).\n");

  ToolResult json = Pack({"lint", "p.pkg", "--json"});
  EXPECT_EQ(json.status, 1);
  for (const char* expected : {"\"code\": \"no-hooks\"", "\"severity\": \"warning\"", "\"entry\": 2",
                               "\"entry_type\": \"Folder\"", "\"errors\": 1", "\"warnings\": 1"}) {
    EXPECT_NE(json.out.find(expected), std::string::npos) << expected << "\n" << json.out;
  }

  ToolResult unknown = Pack({"lint", "p.pkg", "--allow", "no-such-code"});
  EXPECT_EQ(unknown.status, 1);
  EXPECT_EQ(unknown.err, "stowkit-pack: lint: no finding has the code 'no-such-code' (see 'stowkit-pack lint --help')\n");
  ToolResult missing = Pack({"lint", "none.pkg"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.out, "");
  EXPECT_EQ(std::count(missing.err.begin(), missing.err.end(), '\n'), 1);
}

}  // namespace
}  // namespace stowkit
