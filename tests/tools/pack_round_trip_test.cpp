// Packages built from manifests: they dump and verify, their blobs inflate with another
// inflater, unpack gives back the sources, and unpack then build gives back the same bytes.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include <algorithm>

#include "pack_tool_fixture.h"

namespace stowkit {
namespace {

using namespace stowkit::testing;

// Every kind of field a manifest can hold, with text that needs escaping and an empty file
// after other blobs (its offset is only reproduced from a source).
constexpr const char kManifest[] = R"(
[package]
flags = ["NoRemove", "Patch", 0x08]
platform = 5
version = "1.2.3.250"

[package.properties]
AppName = "Notes"
AppDisplayName = "Notes \"für\" C:\\ \t✓ 𝄞"
"0x1b" = "unnamed"

[[entry]]
type = "AppFile"
flags = ["BlobCompressed", "ShouldInstall", 0x10]
type_flags = ["ReadOnly", "SelfRegister", 0x08]
source = "src/big.txt"
[entry.properties]
Dst = "%InstallDir%\\big.txt"
Features = "core, extra"

[[entry]]
type = "SupportFile"
flags = ["ShouldInstall"]
type_flags = [3]
source = "src/noise.bin"
[entry.properties]
Dst = "noise.bin"

[[entry]]
type = "AppFile"
flags = ["ShouldInstall"]
source = "src/empty"

[[entry]]
type = "Registry"
flags = ["BlobCompressed"]
source = "src/empty"

[[entry]]
type = "MacroDefs"
[entry.properties]
"0x30" = "APPDIR=\\Program Files\\Notes"
"0x31" = "LINE=a\nb"

[[entry]]
type = 200
flags = ["IgnoreBlob", "NoRemove"]

[[entry]]
type = "Shortcut"
final_size = 77
final_crc = 4000000000
[entry.properties]
LinkName = "\\Windows\\Start Menu\\Notes.lnk"
LinkTarget = "\\Program Files\\Notes\\notes.exe"
)";

class PackRoundTripTest : public PackToolTest {
 protected:
  void SetUp() override {
    PackToolTest::SetUp();
    Write("m.toml", kManifest);
    Write("src/big.txt", TextContent(100000, 1));  // several 16 KiB buffers
    Write("src/noise.bin", NoiseContent(40000, 2));
    Write("src/empty", "");
  }
};

TEST_F(PackRoundTripTest, BuildDumpVerifyUnpackBuildGivesTheSameBytes) {
  MustBuild("m.toml", "a.pkg");
  ToolResult dump = Pack({"dump", "a.pkg"});
  ASSERT_EQ(dump.status, 0) << dump.err;
  EXPECT_NE(dump.out.find("Package Dump: (a.pkg - 'Notes')\n"), std::string::npos);
  EXPECT_NE(dump.out.find("        Flags: 0x19 - ( NoRemove Patch)\n     Platform: 0x05\n"
                          "      Version: 01.02.03.250\n"), std::string::npos);
  EXPECT_NE(dump.out.find("AppDisplayName: Notes \"für\" C:\\ \t✓ 𝄞\n"), std::string::npos);
  EXPECT_NE(dump.out.find("                  48: APPDIR=\\Program Files\\Notes\n"), std::string::npos);
  EXPECT_EQ(dump.out.find('\r'), std::string::npos);
  std::vector<DumpedEntry> entries = ParseDump(dump.out);
  ASSERT_EQ(entries.size(), 7u);
  EXPECT_EQ(entries[2].length, 0u);
  EXPECT_EQ(entries[2].offset, entries[1].offset + entries[1].length);

  // The Shortcut's FinalCRC, kept as the manifest gives it, cannot be the CRC of no content;
  // every other entry passes.
  ToolResult verify = Pack({"verify", "a.pkg"});
  EXPECT_EQ(verify.status, 1);
  EXPECT_EQ(verify.err, "stowkit-pack: a.pkg: entry 7 (Shortcut): it has no blob, so no content, yet its "
                        "FinalCRC is 0xee6b2800 (0x80070017)\n");

  ToolResult unpack = Pack({"unpack", "a.pkg", "-o", "out"});
  ASSERT_EQ(unpack.status, 0) << unpack.err;
  EXPECT_EQ(Read("out/blobs/001-big.txt"), Read("src/big.txt"));
  EXPECT_EQ(Read("out/blobs/002-noise.bin"), Read("src/noise.bin"));
  EXPECT_TRUE(Exists("out/blobs/003"));
  EXPECT_EQ(Read("out/blobs/004"), "");

  MustBuild("out/manifest.toml", "b.pkg");
  EXPECT_EQ(Read("b.pkg"), Read("a.pkg"));
  ASSERT_EQ(Pack({"unpack", "b.pkg", "-o", "again"}).status, 0);
  EXPECT_EQ(Read("again/manifest.toml"), Read("out/manifest.toml"));

  // Host paths longer than a device path may be.
  std::string deep = work_ + "/" + std::string(120, 'd') + "/" + std::string(120, 'e');
  ASSERT_GE((deep + "/c.pkg").size(), 260u);
  ToolResult deep_unpack = Pack({"unpack", "a.pkg", "-o", deep + "/out"});
  ASSERT_EQ(deep_unpack.status, 0) << deep_unpack.err;
  MustBuild(deep + "/out/manifest.toml", deep + "/c.pkg");
  EXPECT_EQ(ReadHostFile(deep + "/c.pkg"), Read("a.pkg"));
  // On a terminal, long work shows how far it has come on a line it wipes again; piped (as
  // everywhere above) it shows nothing but its result.
  std::string pack = BinPath("stowkit-pack");
  ToolResult build_shown = RunOnTerminal(CommandLine(pack, {"build", "m.toml", "-o", "shown.pkg"}), work_);
  EXPECT_EQ(build_shown.status, 0) << build_shown.out;
  EXPECT_NE(build_shown.out.find("\r\033[Kbuild: entry 7 of 7\r\033[KBuilt shown.pkg: 7 entries"),
            std::string::npos) << build_shown.out;
  ToolResult verify_shown = RunOnTerminal(CommandLine(pack, {"verify", "b.pkg"}), work_);
  EXPECT_NE(verify_shown.out.find("\r\033[Kverify: entry 1 of 7"), std::string::npos) << verify_shown.out;
  EXPECT_NE(verify_shown.out.find("\r\033[Kstowkit-pack: b.pkg: entry 7 (Shortcut)"), std::string::npos)
      << verify_shown.out;
  ToolResult dump_shown = RunOnTerminal(CommandLine(pack, {"dump", "b.pkg"}), work_);
  EXPECT_EQ(dump_shown.out.rfind("\r\033[Kdump: reading 7 entries\r\033[K---", 0), 0u) << dump_shown.out;

  ToolResult deep_verify = Pack({"verify", deep + "/c.pkg"});
  EXPECT_EQ(deep_verify.err, "stowkit-pack: " + deep + "/c.pkg: entry 7 (Shortcut): it has no blob, so no "
                             "content, yet its FinalCRC is 0xee6b2800 (0x80070017)\n");
}

TEST_F(PackRoundTripTest, SameManifestSameBytesAndOutputReplacedWhole) {
  MustBuild("m.toml", "a.pkg");
  MustBuild("m.toml", "b.pkg");
  std::string first = Read("a.pkg");
  EXPECT_EQ(Read("b.pkg"), first);

  Write("a.pkg", "an older package");
  MustBuild("m.toml", "a.pkg");
  EXPECT_EQ(Read("a.pkg"), first);

  // A build that fails leaves the old output as it was and nothing beside it.
  Write("bad.toml", "[[entry]]\ntype = \"AppFile\"\nsource = \"src/missing\"\n");
  EXPECT_EQ(Pack({"build", "bad.toml", "-o", "a.pkg"}).status, 1);
  EXPECT_EQ(Read("a.pkg"), first);
  ToolResult failed = Pack({"build", "m.toml", "-o", "a.pkg"}, "STOWKIT_FAULTS='read@*noise.bin#2=5'");
  EXPECT_EQ(failed.status, 1);
  EXPECT_EQ(failed.err, "stowkit-pack: Error adding uncompressed blob 'src/noise.bin' to package "
                        "'a.pkg': 0x80070005 (Access is denied)\n");
  EXPECT_EQ(Read("a.pkg"), first);
  auto partials = [this] {
    int found = 0;
    for (const auto& item : std::filesystem::directory_iterator(work_)) {
      found += item.path().filename().string().find(".partial") != std::string::npos;
    }
    return found;
  };
  EXPECT_EQ(partials(), 0);

  // Nor does a build stopped by a signal: its source is a pipe that no one writes, so the
  // build waits half-way, its output begun.
  ASSERT_EQ(mkfifo((work_ + "/src/pipe").c_str(), 0600), 0);
  Write("pipe.toml", "[[entry]]\ntype = \"AppFile\"\nsource = \"src/pipe\"\n");
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    ChildProcess build({BinPath("stowkit-pack"), "build", work_ + "/pipe.toml", "-o", work_ + "/a.pkg"});
    for (int i = 0; i < 500 && partials() == 0; ++i) usleep(10000);
    ASSERT_EQ(partials(), 1) << "the build never began its output";
    int status = build.Stop(signal);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << std::hex << status;
    EXPECT_EQ(partials(), 0) << "signal " << signal;
    EXPECT_EQ(Read("a.pkg"), first);
  }
}

TEST_F(PackRoundTripTest, CompressedBlobsInflateWithPythonZlib) {
  MustBuild("m.toml", "a.pkg");
  std::string package = Read("a.pkg");
  std::vector<DumpedEntry> entries = Entries("a.pkg");
  const char* sources[] = {"src/big.txt", nullptr, nullptr, "src/empty"};
  int inflated = 0;
  for (size_t i = 0; i < 4; ++i) {
    if (!(entries[i].flags & 0x01)) continue;
    Write("blob", package.substr(entries[i].offset, entries[i].length));
    ToolResult python = Shell(
        "python3 -c 'import sys, zlib; sys.stdout.buffer.write(zlib.decompress(open(\"blob\", \"rb\").read(), -15))'");
    ASSERT_EQ(python.status, 0) << python.err;
    EXPECT_EQ(python.out, Read(sources[i])) << "entry " << i + 1;
    ++inflated;
  }
  EXPECT_EQ(inflated, 2);
}

TEST_F(PackRoundTripTest, VerifyFindsAChangedByteInEveryBlob) {
  // Without the Shortcut's made-up FinalSize and FinalCRC, which verify refuses on their own.
  std::string manifest = kManifest;
  const std::string made_up = "final_size = 77\nfinal_crc = 4000000000\n";
  Write("m.toml", manifest.erase(manifest.find(made_up), made_up.size()));
  MustBuild("m.toml", "a.pkg");
  ASSERT_EQ(Pack({"verify", "a.pkg"}).out, "a.pkg: OK, 3 blobs verified\n");
  std::string package = Read("a.pkg");
  std::vector<DumpedEntry> entries = Entries("a.pkg");
  const char* labels[] = {"entry 1 (AppFile): ", "entry 2 (SupportFile): ", "", "entry 4 (Registry): "};
  for (size_t i = 0; i < 4; ++i) {
    if (entries[i].length == 0) continue;
    for (uint32_t at : {entries[i].offset, entries[i].offset + entries[i].length / 2}) {
      std::string bad = package;
      bad[at] ^= 0x01;  // in a deflate stream's first byte: the final-block bit
      Write("bad.pkg", bad);
      ToolResult verify = Pack({"verify", "bad.pkg"});
      EXPECT_EQ(verify.status, 1) << "byte " << at;
      EXPECT_EQ(verify.err.rfind(std::string("stowkit-pack: bad.pkg: ") + labels[i], 0), 0u) << verify.err;
      EXPECT_EQ(std::count(verify.err.begin(), verify.err.end(), '\n'), 1) << verify.err;
    }
  }
  // Every bad entry gets its own line.
  std::string bad = package;
  bad[entries[0].offset + 100] ^= 0x40;
  bad[entries[1].offset + entries[1].length - 1] ^= 0x01;
  Write("bad.pkg", bad);
  ToolResult verify = Pack({"verify", "bad.pkg"});
  EXPECT_EQ(verify.status, 1);
  EXPECT_NE(verify.err.find("entry 1 (AppFile): "), std::string::npos);
  EXPECT_NE(verify.err.find("entry 2 (SupportFile): CRC mismatch (0x80070017)\n"), std::string::npos);
  EXPECT_EQ(std::count(verify.err.begin(), verify.err.end(), '\n'), 2) << verify.err;
}

TEST_F(PackRoundTripTest, UnpackNeedsANewOrEmptyFolderAndLeavesNothingOnFailure) {
  MustBuild("m.toml", "a.pkg");
  Write("full/keep.txt", "mine");
  ToolResult refused = Pack({"unpack", "a.pkg", "-o", "full"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.err, "stowkit-pack: 'full' is not an empty folder; unpack needs a new or empty one\n");
  EXPECT_EQ(Read("full/keep.txt"), "mine");

  std::string bad = Read("a.pkg");
  std::vector<DumpedEntry> entries = Entries("a.pkg");
  bad[entries[1].offset] ^= 0x01;
  Write("bad.pkg", bad);
  std::filesystem::create_directory(work_ + "/empty");
  ToolResult failed = Pack({"unpack", "bad.pkg", "-o", "empty"});
  EXPECT_EQ(failed.status, 1);
  EXPECT_EQ(failed.err, "stowkit-pack: bad.pkg: entry 2 (SupportFile): cannot extract to "
                        "'empty/blobs/002-noise.bin': CRC mismatch (0x80070017)\n");
  EXPECT_TRUE(std::filesystem::is_empty(work_ + "/empty"));
  EXPECT_EQ(Pack({"unpack", "bad.pkg", "-o", "new"}).status, 1);
  EXPECT_FALSE(Exists("new"));
}

}  // namespace
}  // namespace stowkit
