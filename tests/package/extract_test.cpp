// Extraction of stored and compressed blobs: verified content or no file at all.
#include "package/extract.h"

#include <gtest/gtest.h>

#include <random>

#include "package/file_io.h"
#include "package_bytes.h"
#include "package_fixture.h"
#include "services/hresult.h"

namespace stowkit {
namespace {

using namespace stowkit::testing;

std::string RandomText(size_t size, unsigned seed) {
  std::mt19937 rng(seed);
  std::string out;
  const char* words[] = {"alpha ", "beta ", "gamma\n", "delta ", "handheld ", "\r\n"};
  while (out.size() < size) out += words[rng() % 6];
  out.resize(size);
  return out;
}

std::string RandomBytes(size_t size, unsigned seed) {
  std::mt19937 rng(seed);
  std::string out(size, '\0');
  for (char& c : out) c = char(rng());
  return out;
}

class ExtractTest : public PackageTest {
 protected:
  // Opens a package holding `entries` and extracts entry `index` to \Temp\out.
  HRESULT ExtractFrom(const std::vector<EntryLayout>& entries, int index = 0) {
    PackageLayout layout;
    layout.entries = entries;
    if (FAILED(Open(BuildPackage(layout), package_))) return E_FAIL;
    return ExtractEntryBlob(*package_->GetEntry(index), u"\\Temp\\out");
  }
  std::unique_ptr<Package> package_;
};

TEST_F(ExtractTest, StoredAndCompressedContentArrivesWhole) {
  std::string text = RandomText(100000, 1), binary = RandomBytes(40000, 2);
  EXPECT_EQ(ExtractFrom({FileEntry(text, true, u"\\a")}), S_OK);
  EXPECT_EQ(HostFile("out"), text);  // many 16 KiB pieces, one CRC
  EXPECT_EQ(ExtractFrom({FileEntry("x", false, u"\\a"), FileEntry(binary, false, u"\\b")}, 1), S_OK);
  EXPECT_EQ(HostFile("out"), binary);
  EXPECT_EQ(ExtractFrom({FileEntry(binary, true, u"\\b")}), S_OK);
  EXPECT_EQ(HostFile("out"), binary);

  // Small blobs read through windows of the file, some straddling one, and a large one read
  // past them, taken forwards and then backwards.
  std::vector<std::string> contents;
  PackageLayout layout;
  const int count = 40;
  for (int i = 0; i < count; ++i) {
    contents.push_back(RandomBytes(i == 20 ? 300000 : 9000 + 997 * i, 10 + i));
    layout.entries.push_back(FileEntry(contents.back(), i % 2 == 1, u"\\f"));
  }
  ASSERT_EQ(Open(BuildPackage(layout), package_), S_OK);
  for (int pass = 0; pass < 2; ++pass) {
    for (int n = 0; n < count; ++n) {
      int i = pass == 0 ? n : count - 1 - n;
      ASSERT_EQ(ExtractEntryBlob(*package_->GetEntry(i), u"\\Temp\\out"), S_OK) << i;
      EXPECT_EQ(HostFile("out"), contents[i]) << i;
    }
  }
}

TEST_F(ExtractTest, EmptyContent) {
  ASSERT_EQ(Open(BuildPackage({}), package_), S_OK);
  EXPECT_EQ(ExtractStoredBlob(package_->FileHandle(), u"\\Temp\\out", 0, 0, 0), S_OK);
  EXPECT_TRUE(Exists("out"));
  EXPECT_EQ(HostFile("out"), "");
  EXPECT_EQ(ExtractStoredBlob(package_->FileHandle(), u"\\Temp\\out", 0, 0, 7), kCrcMismatch);
  EXPECT_FALSE(Exists("out"));
  package_.reset();
  EntryLayout empty_stream = FileEntry("", true, u"\\a");
  EXPECT_EQ(empty_stream.blob, std::string("\x03\x00", 2));
  EXPECT_EQ(ExtractFrom({empty_stream}), S_OK);
  EXPECT_EQ(HostFile("out"), "");
}

TEST_F(ExtractTest, CorruptionLeavesNoFile) {
  std::string text = RandomText(50000, 3);
  for (bool compressed : {false, true}) {
    EntryLayout flipped = FileEntry(text, compressed, u"\\a");
    flipped.blob[flipped.blob.size() / 2] ^= 0x10;
    HRESULT hr = ExtractFrom({flipped});
    EXPECT_TRUE(hr == kCrcMismatch || hr == kGenericFailure) << std::hex << hr;
    EXPECT_FALSE(Exists("out"));
  }
  EntryLayout garbage = FileEntry(text, true, u"\\a");
  garbage.blob = std::string(300, '\xff');  // not a deflate stream at all
  EXPECT_EQ(ExtractFrom({garbage}), kGenericFailure);
  EXPECT_FALSE(Exists("out"));
}

TEST_F(ExtractTest, BytesAfterTheStreamEndAreIgnored) {
  std::string text = RandomText(30000, 4);
  EntryLayout padded = FileEntry(text, true, u"\\a");
  padded.blob += std::string(40000, 'Z');  // more than one input buffer of trailing bytes
  EXPECT_EQ(ExtractFrom({padded}), S_OK);
  EXPECT_EQ(HostFile("out"), text);
}

TEST_F(ExtractTest, ABlobPastTheEndOfItsFileFailsInsteadOfLooping) {
  std::string text = RandomText(20000, 5);
  for (bool compressed : {false, true}) {
    PackageLayout layout;
    layout.entries = {FileEntry(text, compressed, u"\\a")};
    ASSERT_EQ(Open(BuildPackage(layout), package_), S_OK);
    CatalogEntry& entry = *package_->GetEntry(0);
    // Starts near the end of the file and claims more than the file holds.
    entry.SetBlobOffset(uint32_t(HostFile("p.pkg").size()) - 30);
    entry.SetBlobLength(100000);
    HRESULT hr = ExtractEntryBlob(entry, u"\\Temp\\out");
    EXPECT_TRUE(FAILED(hr));
    EXPECT_FALSE(Exists("out"));
    package_.reset();
  }
}

// An empty file is stored without a blob, so there is no package handle to read from.
TEST_F(ExtractTest, EntriesWithoutABlobGiveAnEmptyFileWhenTheirCrcSaysSo) {
  EntryLayout empty;
  EXPECT_EQ(ExtractFrom({empty}), S_OK);
  EXPECT_TRUE(Exists("out"));
  EXPECT_EQ(HostFile("out"), "");
  EntryLayout claims_content;
  claims_content.crc = 0x1234;
  EXPECT_EQ(ExtractFrom({claims_content}), kCrcMismatch);
  EXPECT_FALSE(Exists("out"));
}

TEST_F(ExtractTest, WriteFailuresDeleteTheDestination) {
  // The second write fails: the first went through.
  ASSERT_TRUE(coredll::SetFaults("write@\\Temp\\out#2=112", nullptr));
  EXPECT_EQ(ExtractFrom({FileEntry(RandomText(600000, 6), true, u"\\a")}), HResultFromError(ERROR_DISK_FULL));
  EXPECT_FALSE(Exists("out"));
  ASSERT_TRUE(coredll::SetFaults("open@\\Temp\\out=5", nullptr));
  EXPECT_EQ(ExtractFrom({FileEntry("x", false, u"\\a")}), HResultFromError(ERROR_ACCESS_DENIED));
}

TEST_F(ExtractTest, AppendGathersContentsAndRemovesTheTemporaryFile) {
  PackageLayout layout;
  layout.entries = {FileEntry("first\r\n", true, u"\\a"), FileEntry("second", false, u"\\b")};
  ASSERT_EQ(Open(BuildPackage(layout), package_), S_OK);
  EXPECT_EQ(AppendEntryBlob(*package_->GetEntry(0), u"\\Temp\\tmp", u"\\Temp\\all.txt"), S_OK);
  EXPECT_EQ(AppendEntryBlob(*package_->GetEntry(1), u"\\Temp\\tmp", u"\\Temp\\all.txt"), S_OK);
  EXPECT_EQ(HostFile("all.txt"), "first\r\nsecond");
  EXPECT_FALSE(Exists("tmp"));

  package_->GetEntry(1)->SetFinalCRC(1);
  EXPECT_EQ(AppendEntryBlob(*package_->GetEntry(1), u"\\Temp\\tmp", u"\\Temp\\all.txt"), kCrcMismatch);
  EXPECT_EQ(HostFile("all.txt"), "first\r\nsecond");
  EXPECT_FALSE(Exists("tmp"));
}

TEST_F(ExtractTest, VerifyStreamsWithoutWriting) {
  PackageLayout layout;
  layout.entries = {FileEntry(RandomText(70000, 7), true, u"\\a"), FileEntry("plain", false, u"\\b")};
  ASSERT_EQ(Open(BuildPackage(layout), package_), S_OK);
  EXPECT_EQ(VerifyEntryBlob(*package_->GetEntry(0)), S_OK);
  EXPECT_EQ(VerifyEntryBlob(*package_->GetEntry(1)), S_OK);
  package_->GetEntry(0)->SetFinalCRC(package_->GetEntry(0)->FinalCRC() ^ 1);
  EXPECT_EQ(VerifyEntryBlob(*package_->GetEntry(0)), kCrcMismatch);
}

TEST_F(ExtractTest, VerifyRefusesAStreamThatNeverEndsWhereExtractionTrustsTheCrc) {
  EntryLayout entry = FileEntry("", true, u"\\a");
  ASSERT_EQ(entry.blob, std::string("\x03\x00", 2));
  entry.blob[0] = 0x02;  // the same empty block, no longer the final one
  PackageLayout layout;
  layout.entries = {entry};
  ASSERT_EQ(Open(BuildPackage(layout), package_), S_OK);
  EXPECT_EQ(ExtractEntryBlob(*package_->GetEntry(0), u"\\Temp\\out"), S_OK);
  EXPECT_EQ(VerifyEntryBlob(*package_->GetEntry(0)), kGenericFailure);
}

TEST_F(ExtractTest, ReadingIntoMemoryChecksTheCrcAndStopsAtTheLimit) {
  std::string text = RandomText(100000, 8);
  PackageLayout layout;
  layout.entries = {FileEntry(text, true, u"\\a"), FileEntry("plain", false, u"\\b"), EntryLayout{}};
  ASSERT_EQ(Open(BuildPackage(layout), package_), S_OK);
  std::string content;
  EXPECT_EQ(ReadEntryContent(*package_->GetEntry(0), content, 100000), S_OK);
  EXPECT_EQ(content, text);
  EXPECT_EQ(ReadEntryContent(*package_->GetEntry(1), content, 100000), S_OK);
  EXPECT_EQ(content, "plain");
  EXPECT_EQ(ReadEntryContent(*package_->GetEntry(2), content, 100000), S_OK);
  EXPECT_EQ(content, "");

  // One byte under the content: refused before the rest is inflated.
  EXPECT_EQ(ReadEntryContent(*package_->GetEntry(0), content, 99999), HResultFromError(ERROR_FILE_TOO_LARGE));
  EXPECT_EQ(content, "");
  package_->GetEntry(1)->SetFinalCRC(package_->GetEntry(1)->FinalCRC() ^ 1);
  EXPECT_EQ(ReadEntryContent(*package_->GetEntry(1), content, 100), kCrcMismatch);
  EXPECT_EQ(content, "");
}

}  // namespace
}  // namespace stowkit
