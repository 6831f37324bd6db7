// stowkit-pack diff: two builds of the example package compared field by field, entry by
// entry and registry line by registry line.
#include <filesystem>

#include "pack_tool_fixture.h"

namespace stowkit {
namespace {

namespace fs = std::filesystem;
using testing::ToolResult;

class PackDiffTest : public testing::PackToolTest {
 protected:
  void SetUp() override {
    PackToolTest::SetUp();
    for (const char* side : {"a", "b"}) {
      fs::copy(std::string(STOWKIT_EXAMPLES) + "/notes", work_ + "/" + side, fs::copy_options::recursive);
      fs::copy_file(testing::LibPath("libexample_custom.so"), work_ + "/" + side + "/libexample_custom.so");
    }
  }

  // Replaces the first `from` in side b's file `relative` by `to`.
  void Edit(const std::string& relative, const std::string& from, const std::string& to) {
    std::string text = Read("b/" + relative);
    size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    Write("b/" + relative, text.replace(at, from.size(), to));
  }

  ToolResult BuildAndDiff(std::vector<std::string> more = {}) {
    MustBuild("a/notes.toml", "a.pkg");
    MustBuild("b/notes.toml", "b.pkg");
    more.insert(more.begin(), {"diff", "a.pkg", "b.pkg"});
    return Pack(more);
  }
};

TEST_F(PackDiffTest, SameBuildsAreTheSame) {
  ToolResult diff = BuildAndDiff();
  EXPECT_EQ(diff.status, 0);
  EXPECT_EQ(diff.out, "--- a.pkg\n+++ b.pkg\nThe packages have the same header, properties and entries.\n");
}

TEST_F(PackDiffTest, HeaderPropertiesAndEntriesMatchedByDestination) {
  Edit("notes.toml", "version = \"1.2.0.0\"", "version = \"1.3.0.0\"\nflags = [\"Patch\"]");
  Edit("notes.toml", "EnabledFeatures = \"Core,Help\"", "EnabledFeatures = \"Core\"\nBrand = \"Talvenor\"");
  Edit("notes.toml", "PlatformId = \"PocketPC\"\n", "");
  Edit("notes.toml", "APPDIR=$(PROGRAMFILES)\\\\Notes", "APPDIR=$(PROGRAMFILES)\\\\Notes2");
  Edit("files/notes.ini", "[", "[changed ");
  Edit("notes.toml", "type_flags = [\"ReadOnly\"]\n", "type_flags = [\"ReadOnly\", \"Hidden\"]\n");
  // The help file moves to the front: matched by destination, not by position.
  std::string toml = Read("b/notes.toml");
  size_t help = toml.find("[[entry]]\ntype = \"AppFile\"", toml.find("readme.txt"));
  size_t end = toml.find("[[entry]]", help + 1);
  std::string help_entry = toml.substr(help, end - help);
  toml.erase(help, end - help);
  toml.insert(toml.find("[[entry]]"), help_entry);
  // The shortcut goes; a new file comes.
  toml.erase(toml.find("[[entry]]\ntype = \"Shortcut\""));
  toml += "[[entry]]\ntype = \"AppFile\"\nflags = [\"ShouldInstall\"]\nsource = \"files/readme.txt\"\n"
          "[entry.properties]\nDst = \"$(APPDIR)\\\\more.txt\"\n";
  Write("b/notes.toml", toml);

  ToolResult diff = BuildAndDiff();
  EXPECT_EQ(diff.status, 0) << diff.err;
  for (const char* expected : {
           "header:\n  ~ Flags: 0x00 -> 0x10 (Patch)\n  ~ Version: 1.2.0.0 -> 1.3.0.0\n",
           "properties:\n  - PlatformId: \"PocketPC\"\n  ~ EnabledFeatures: \"Core,Help\" -> \"Core\"\n"
           "  + Brand: \"Talvenor\"\n",
           "  ~ MacroDefs (entry 1 -> 2)\n      ~ macro $(APPDIR): \"$(PROGRAMFILES)\\Notes\" -> "
           "\"$(PROGRAMFILES)\\Notes2\"\n",
           "  ~ AppFile \"$(APPDIR)\\notes.ini\" (entry 4 -> 5)\n      ~ content: 42 bytes, crc 0x",
           "  ~ AppFile \"$(APPDIR)\\readme.txt\" (entry 5 -> 6)\n      ~ type flags: 0x10 (ReadOnly) -> "
           "0x30 (ReadOnly Hidden)\n",
           "  - Shortcut \"$(PROGRAMS)\\Notes\" (entry 8)\n",
           "  + AppFile \"$(APPDIR)\\more.txt\" (entry 8)\n"}) {
    EXPECT_NE(diff.out.find(expected), std::string::npos) << expected << "\n---\n" << diff.out;
  }
  EXPECT_EQ(diff.out.find("notes.htm"), std::string::npos) << "moved, not changed:\n" << diff.out;
}

TEST_F(PackDiffTest, RegistryTextsLineByLine) {
  Edit("files/notes.registry", "1, Version, 18, ,", "1, Version, 19, ,");
  Edit("files/notes.registry", "// Settings of the Notes application.\r\n", "");  // CR LF, as written
  std::string text = Read("b/files/notes.registry");
  Write("b/files/notes.registry", text + "HKLM, Software\\Notes, 0, Added, yes, ,\n");
  ToolResult diff = BuildAndDiff();
  EXPECT_NE(diff.out.find("  ~ Registry (entry 7 -> 7)\n"
                          "      - // Settings of the Notes application.\n"
                          "      - HKLM, Software\\Notes, 1, Version, 18, ,\n"
                          "      + HKLM, Software\\Notes, 1, Version, 19, ,\n"
                          "      + HKLM, Software\\Notes, 0, Added, yes, ,\n"),
            std::string::npos) << diff.out;
  EXPECT_EQ(diff.out.find("InstallDir"), std::string::npos) << "an unchanged line:\n" << diff.out;

  ToolResult json = Pack({"diff", "a.pkg", "b.pkg", "--json"});
  EXPECT_EQ(json.status, 0);
  for (const char* expected : {"\"same\": false", "\"change\": \"changed\"", "\"type\": \"Registry\"",
                               "\"a_entry\": 7", "\"op\": \"+\"", "\"line\": 4",
                               "\"text\": \"HKLM, Software\\\\Notes, 0, Added, yes, ,\""}) {
    EXPECT_NE(json.out.find(expected), std::string::npos) << expected << "\n" << json.out;
  }
}

TEST_F(PackDiffTest, AnUnreadablePackageIsOneLine) {
  MustBuild("a/notes.toml", "a.pkg");
  Write("broken.pkg", "short");
  ToolResult diff = Pack({"diff", "a.pkg", "broken.pkg"});
  EXPECT_EQ(diff.status, 1);
  EXPECT_EQ(diff.out, "");
  EXPECT_NE(diff.err.find("broken.pkg"), std::string::npos);
  EXPECT_EQ(std::count(diff.err.begin(), diff.err.end(), '\n'), 1);
}

}  // namespace
}  // namespace stowkit
