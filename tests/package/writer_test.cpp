// The writer: what it stores from each blob source, what it leaves out, and that any failure
// leaves none of its output behind.
#include "package/writer.h"

#include <gtest/gtest.h>

#include "package/extract.h"
#include "package/vocabulary.h"
#include "package_bytes.h"
#include "package_fixture.h"
#include "services/hresult.h"

namespace stowkit {
namespace {

using namespace stowkit::testing;

class WriterTest : public PackageTest {
 protected:
  std::unique_ptr<CatalogEntry> FromFile(const std::string& name, const std::string& content,
                                         bool compressed) {
    auto entry = std::make_unique<CatalogEntry>();
    entry->SetEntryType(kAppFile);
    if (compressed) entry->SetEntryFlags(kBlobCompressed);
    entry->SetBlobFileName(Put(content, name));
    entry->SetProperty(kDst, u"\\Program Files\\" + std::u16string(name.begin(), name.end()));
    return entry;
  }
};

TEST_F(WriterTest, EmptyPackageIsTheHeaderAlone) {
  Package package;
  ASSERT_EQ(WritePackage(error_, u"\\Temp\\out.pkg", package), S_OK);
  std::string bytes = HostFile("out.pkg");
  ASSERT_EQ(bytes.size(), 24u);
  EXPECT_EQ(bytes, BuildPackage({}));
  EXPECT_EQ(package.FileName(), u"\\Temp\\out.pkg");
  EXPECT_EQ(package.FileHandle(), INVALID_HANDLE_VALUE);
}

TEST_F(WriterTest, WritesWhatAnIndependentReaderExpects) {
  Package package;
  package.SetFlags(kPatch);
  package.Header().Platform = 2;
  package.Header().Version = 0x01020304;
  package.SetProperty(kAppName, u"Notes");
  package.SetProperty(0x90, u"memory only");
  package.InsertEntry(FromFile("a.txt", "compress me compress me compress me", true), -1);
  package.InsertEntry(FromFile("b.bin", "stored", false), -1);
  ASSERT_EQ(WritePackage(error_, u"\\Temp\\out.pkg", package), S_OK);

  PackageLayout layout;
  layout.flags = kPatch;
  layout.platform = 2;
  layout.version = 0x01020304;
  layout.properties = {{3, u"Notes"}};
  EntryLayout a = FileEntry("compress me compress me compress me", true, u"\\Program Files\\a.txt");
  a.entry_flags = kBlobCompressed;
  EntryLayout b = FileEntry("stored", false, u"\\Program Files\\b.bin");
  b.entry_flags = 0;
  layout.entries = {a, b};
  EXPECT_EQ(HostFile("out.pkg"), BuildPackage(layout));  // zlib level 9 is deterministic
  EXPECT_EQ(package.GetEntry(0)->BlobFileName(), u"");
  EXPECT_EQ(package.GetEntry(1)->DescriptorLn(), 3 + 2 * 20);
}

TEST_F(WriterTest, RewritingCopiesBlobsAndDropsIgnoredAndInstallExeEntries) {
  PackageLayout layout;
  layout.properties = {{3, u"App"}};
  EntryLayout kept = FileEntry(std::string(50000, 'k'), true, u"\\kept");
  EntryLayout ignored = FileEntry("ignored content", false, u"\\ignored");
  ignored.entry_flags |= kIgnoreBlob;
  EntryLayout exe = FileEntry("program", false, u"\\setup.exe");
  exe.type = kInstallExe;
  EntryLayout high = FileEntry("h", false, u"\\high");
  high.properties.push_back({0x90, u"gone"});
  layout.entries = {ignored, exe, kept, high};
  std::unique_ptr<Package> package;
  ASSERT_EQ(Open(BuildPackage(layout), package), S_OK);
  uint32_t crc = package->GetEntry(2)->FinalCRC();
  EXPECT_EQ(package->GetEntry(3)->Properties().PropertyCount(), 2u);

  ASSERT_EQ(WritePackage(error_, u"\\Temp\\copy.pkg", *package), S_OK);
  EXPECT_TRUE(DeleteFileW(u"\\Temp\\p.pkg"));  // the old file was closed by the write

  std::unique_ptr<Package> copy;
  ASSERT_EQ(OpenPackage(error_, u"\\Temp\\copy.pkg", copy), S_OK);
  ASSERT_EQ(copy->NumEntries(), 3);  // the InstallExe entry has no record
  const CatalogEntry& first = *copy->GetEntry(0);
  EXPECT_EQ(first.BlobOffset(), 0u);
  EXPECT_EQ(first.BlobLength(), 0u);
  EXPECT_EQ(first.FinalSize(), 0u);
  EXPECT_EQ(first.FinalCRC(), 0u);
  const CatalogEntry& second = *copy->GetEntry(1);
  EXPECT_TRUE(second.TestEntryFlags(kBlobCompressed));
  EXPECT_EQ(second.FinalCRC(), crc);
  EXPECT_EQ(second.FinalSize(), 50000u);
  EXPECT_EQ(second.BlobOffset(), 7u);  // after the InstallExe entry's blob, which stays
  EXPECT_EQ(ExtractEntryBlob(second, u"\\Temp\\out"), S_OK);
  EXPECT_EQ(HostFile("out"), std::string(50000, 'k'));
  EXPECT_EQ(copy->GetEntry(2)->Properties().PropertyCount(), 1u);
  EXPECT_EQ(copy->Header().BlobLen, 7 + second.BlobLength() + 1);
}

// The clean-up after a failure is for the writer's own output: a file that was there
// already, and made the creation fail, is not the writer's to delete.
TEST_F(WriterTest, AnExistingFileIsAFailureAndIsLeftAlone) {
  Put("old", "out.pkg");
  Package package;
  EXPECT_EQ(WritePackage(error_, u"\\Temp\\out.pkg", package), HRESULT(0x80070050));
  EXPECT_EQ(error_, u"Error creating package file '\\Temp\\out.pkg': 0x80070050");
  EXPECT_EQ(HostFile("out.pkg"), "old");
  EXPECT_EQ(package.FileName(), u"");
}

TEST_F(WriterTest, FailuresNameTheirStepAndLeaveNoFile) {
  Package package;
  package.InsertEntry(FromFile("a.txt", "aaaa", true), -1);
  package.GetEntry(0)->SetBlobFileName(u"\\Temp\\missing.txt");
  EXPECT_EQ(WritePackage(error_, u"\\Temp\\out.pkg", package), HRESULT(0x80070002));
  EXPECT_EQ(error_, u"Error adding compressed blob '\\Temp\\missing.txt' to package "
                    u"'\\Temp\\out.pkg': 0x80070002");
  EXPECT_FALSE(Exists("out.pkg"));

  Package stored;
  stored.InsertEntry(FromFile("b.txt", "bbbb", false), -1);
  ASSERT_TRUE(coredll::SetFaults("write@\\Temp\\out.pkg#2=112", nullptr));
  EXPECT_EQ(WritePackage(error_, u"\\Temp\\out.pkg", stored), HRESULT(0x80070070));
  EXPECT_EQ(error_, u"Error writing catalog entry at index 0: 0x80070070");
  EXPECT_FALSE(Exists("out.pkg"));

  Package header_only;
  header_only.SetProperty(kAppName, u"x");
  ASSERT_TRUE(coredll::SetFaults("write@\\Temp\\out.pkg#2=112", nullptr));
  EXPECT_EQ(WritePackage(error_, u"\\Temp\\out.pkg", header_only), HRESULT(0x80070070));
  EXPECT_EQ(error_, u"Error writing package header: 0x80070070");
  coredll::SetFaults("", nullptr);
}

TEST_F(WriterTest, OverlongDescriptorsAreRefused) {
  Package package;
  package.SetProperty(kAppDescription, std::u16string(33000, u'd'));  // 66003 bytes encoded
  EXPECT_EQ(WritePackage(error_, u"\\Temp\\out.pkg", package), kDescriptorTooLong);
  EXPECT_FALSE(Exists("out.pkg"));
  Package entries;
  auto entry = std::make_unique<CatalogEntry>();
  entry->SetProperty(kDst, std::u16string(32766, u'e'));  // exactly 65535 bytes: fits
  entries.InsertEntry(std::move(entry), -1);
  EXPECT_EQ(WritePackage(error_, u"\\Temp\\out.pkg", entries), S_OK);
  std::unique_ptr<Package> back;
  ASSERT_EQ(OpenPackage(error_, u"\\Temp\\out.pkg", back), S_OK);
  EXPECT_EQ(back->GetEntry(0)->DescriptorLn(), 65535);
}

TEST_F(WriterTest, ASourceThatEndsEarlyFailsInsteadOfLooping) {
  PackageLayout layout;
  layout.entries = {FileEntry(std::string(30000, 'c'), false, u"\\c")};
  std::unique_ptr<Package> package;
  ASSERT_EQ(Open(BuildPackage(layout), package), S_OK);
  package->GetEntry(0)->SetBlobLength(90000);  // more than the source package holds
  EXPECT_TRUE(FAILED(WritePackage(error_, u"\\Temp\\out.pkg", *package)));
  EXPECT_NE(error_.find(u"Error copying blob from package '\\Temp\\p.pkg'"), std::u16string::npos);
  EXPECT_FALSE(Exists("out.pkg"));
}

}  // namespace
}  // namespace stowkit
