// Bad manifests: each one ends the build with one line that names the file, the line, the
// entry and the field, and writes nothing.
#include <gtest/gtest.h>

#include <algorithm>

#include "pack_tool_fixture.h"

namespace stowkit {
namespace {

using namespace stowkit::testing;

struct BadManifest {
  const char* text;
  const char* message;  // after "stowkit-pack: dir/m.toml:"
};

const BadManifest kBadManifests[] = {
    {"x = [", "1: Error while parsing array"},
    // The parser quotes what it saw, here the end of the line: it stays on one line.
    {"[package]\nx = f\n", "2: Error while parsing boolean: expected 'false', saw 'f\\n'"},
    {"[package]\n\"fl\\u0001ags\\n\" = 1", "2: package: fl\\x01ags\\n: unknown key"},
    {"packge = 1", "1: manifest: packge: unknown key (expected one of: package, entry)"},
    {"entry = 5", "1: manifest: entry: must be tables written as [[entry]]"},
    {"[package]\nflag = []", "2: package: flag: unknown key"},
    {"[package]\nflags = [\"NoRemov\"]", "2: package: flags: unknown package flag 'NoRemov'"},
    {"[package]\nflags = \"NoRemove\"", "2: package: flags: must be an array of package flag names or integers"},
    {"[package]\nflags = [256]", "2: package: flags: must be an integer from 0 to 255"},
    {"[package]\nplatform = -1", "2: package: platform: must be an integer from 0 to 255"},
    {"[package]\nversion = \"1.2.3\"", "2: package: version: must be four numbers from 0 to 255, as \"1.2.3.4\""},
    {"[package]\nversion = \"1.2.3.256\"", "2: package: version: must be four numbers"},
    {"[package.properties]\nAppNme = \"x\"", "2: package: properties.AppNme: unknown property name"},
    {"[package.properties]\n0x80 = \"x\"", "2: package: properties.0x80: ids 0x80 and up are never stored"},
    {"[package.properties]\nAppName = 3", "2: package: properties.AppName: must be a string"},
    {"[package.properties]\nAppName = \"a\"\n3 = \"b\"", "2: package: properties.AppName: names property 3 again (also '3')"},
    {"[[entry]]\nflags = []", "1: entry 1: type: is missing"},
    {"[[entry]]\ntype = \"AppFiles\"", "2: entry 1: type: unknown entry type 'AppFiles'"},
    {"[[entry]]\ntype = \"InstallExe\"", "2: entry 1: type: InstallExe entries are never written into a catalog"},
    {"[[entry]]\ntype = \"Folder\"\n[[entry]]\ntype = \"AppFile\"\nsorce = \"a\"",
     "5: entry 2 (AppFile): sorce: unknown key"},
    {"[[entry]]\ntype = \"Folder\"\n[[entry]]\ntype = 300", "4: entry 2: type: must be an integer from 0 to 255"},
    {"[[entry]]\ntype = \"AppFile\"\nflags = [\"Compressed\"]", "3: entry 1 (AppFile): flags: unknown entry flag 'Compressed'"},
    {"[[entry]]\ntype = \"Folder\"\ntype_flags = [\"ReadOnly\"]",
     "3: entry 1 (Folder): type_flags: names belong to AppFile entries; give the bits of this type as integers"},
    {"[[entry]]\ntype = \"AppFile\"\ntype_flags = [\"Readonly\"]",
     "3: entry 1 (AppFile): type_flags: unknown AppFile type flag 'Readonly'"},
    {"[[entry]]\ntype = \"AppFile\"\nsource = \"missing.bin\"",
     "3: entry 1 (AppFile): source: cannot read 'dir/missing.bin': The system cannot find the file specified"},
    {"[[entry]]\ntype = \"AppFile\"\nsource = \"\"", "3: entry 1 (AppFile): source: must name a file"},
    {"[[entry]]\ntype = \"AppFile\"\nsource = \"files\"", "3: entry 1 (AppFile): source: 'dir/files' is a folder"},
    {"[[entry]]\ntype = \"AppFile\"\nflags = [\"IgnoreBlob\"]\nsource = \"files/a\"",
     "4: entry 1 (AppFile): source: is never stored with IgnoreBlob"},
    {"[[entry]]\ntype = \"AppFile\"\nsource = \"files/a\"\nfinal_crc = 1",
     "4: entry 1 (AppFile): final_crc: is computed from the source; give one or the other"},
    {"[[entry]]\ntype = \"AppFile\"\nfinal_size = 4294967296", "3: entry 1 (AppFile): final_size: must be an integer from 0 to 4294967295"},
    {"[[entry]]\ntype = \"AppFile\"\n[entry.properties]\nDst = \"a\\u0000b\"",
     "4: entry 1 (AppFile): properties.Dst: must not hold U+0000"},
    {"[[entry]]\ntype = \"MacroDefs\"\n[entry.properties]\n0x3g = \"x\"",
     "4: entry 1 (MacroDefs): properties.0x3g: unknown property name"},
};

class PackManifestTest : public PackToolTest {};

TEST_F(PackManifestTest, EachMistakeIsOneLineNamingFileEntryAndField) {
  Write("dir/files/a", "content");
  for (const BadManifest& bad : kBadManifests) {
    Write("dir/m.toml", bad.text);
    ToolResult result = Pack({"build", "dir/m.toml", "-o", "out.pkg"});
    EXPECT_EQ(result.status, 1) << bad.text;
    EXPECT_EQ(result.err.rfind(std::string("stowkit-pack: dir/m.toml:") + bad.message, 0), 0u)
        << "manifest:\n" << bad.text << "\ngot: " << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    EXPECT_FALSE(Exists("out.pkg")) << bad.text;
  }
}

TEST_F(PackManifestTest, DescriptorsLongerThanAPackageHoldsAreRefused) {
  std::string value(40000, 'x');
  Write("m.toml", "[[entry]]\ntype = \"AppFile\"\n[entry.properties]\nDst = \"" + value + "\"\nLang = \"" +
                      value + "\"\n");
  ToolResult result = Pack({"build", "m.toml", "-o", "out.pkg"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "stowkit-pack: m.toml:3: entry 1 (AppFile): properties: take 160006 bytes; "
                        "a package stores at most 65535\n");
}

TEST_F(PackManifestTest, NamesAndNumbersMeanTheSame) {
  Write("names.toml",
        "[package]\nflags = [\"NoState\"]\n[package.properties]\nAppName = \"n\"\n"
        "[[entry]]\ntype = \"AppFile\"\nflags = [\"ShouldInstall\"]\ntype_flags = [\"Hidden\"]\n"
        "[entry.properties]\nDst = \"d\"\n");
  Write("numbers.toml",
        "[package]\nflags = [4]\n[package.properties]\n3 = \"n\"\n"
        "[[entry]]\ntype = 1\nflags = [0x04]\ntype_flags = [32]\n[entry.properties]\n0x01 = \"d\"\n");
  MustBuild("names.toml", "a.pkg");
  MustBuild("numbers.toml", "b.pkg");
  EXPECT_EQ(Read("a.pkg"), Read("b.pkg"));
}

TEST_F(PackManifestTest, CommandLineMistakesAreOneLine) {
  for (std::vector<std::string> args : {std::vector<std::string>{}, {"build", "m.toml"}, {"frobnicate"}}) {
    ToolResult result = Pack(args);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err.rfind("stowkit-pack: ", 0), 0u) << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
  }
  ToolResult unknown = Pack({"frobnicate", "x.pkg"});
  EXPECT_EQ(unknown.err, "stowkit-pack: unknown command 'frobnicate' (see --help)\n");
  ToolResult version = Pack({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "stowkit-pack " STOWKIT_VERSION "\n");
  for (const char* command : {"build", "dump", "verify", "unpack"}) {
    ToolResult help = Pack({command, "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Usage: stowkit-pack " + std::string(command)), std::string::npos);
  }
  EXPECT_NE(Pack({"build", "--help"}).out.find("[[entry]]"), std::string::npos);
}

}  // namespace
}  // namespace stowkit
