// The reader against hand-made files: every failure it names, and the model's edge cases.
#include "package/package.h"

#include <gtest/gtest.h>

#include "package/vocabulary.h"
#include "package_bytes.h"
#include "package_fixture.h"

namespace stowkit {
namespace {

using namespace stowkit::testing;

class ReaderTest : public PackageTest {};

TEST_F(ReaderTest, ReadsHeaderPropertiesAndEntries) {
  PackageLayout layout;
  layout.prefix = std::string(1000, 'X');  // a self-contained installer's program part
  layout.flags = 0x11;
  layout.platform = 3;
  layout.version = 0x01020304;
  layout.properties = {{3, u"Notes"}, {4, u"Field Notes"}, {22, u"fr"}};
  layout.entries = {FileEntry("hello", true, u"\\Program Files\\Notes\\a.txt"),
                  FileEntry("world", false, u"\\Program Files\\Notes\\b.txt")};
  EntryLayout folder;
  folder.type = 8;
  folder.properties = {{1, u"\\Program Files\\Notes"}};
  layout.entries.push_back(folder);

  std::unique_ptr<Package> package;
  ASSERT_EQ(Open(BuildPackage(layout), package), S_OK) << std::string(error_.begin(), error_.end());
  const PackageHeader& h = package->Header();
  EXPECT_EQ(h.Flags, 0x11);
  EXPECT_EQ(h.Platform, 3);
  EXPECT_EQ(h.Version, 0x01020304u);
  EXPECT_EQ(h.BlobOffset, 1000u);
  EXPECT_EQ(package->FileName(), u"\\Temp\\p.pkg");
  std::u16string value;
  EXPECT_TRUE(package->GetProperty(kAppDisplayName, value));
  EXPECT_EQ(value, u"Field Notes");
  ASSERT_EQ(package->NumEntries(), 3);
  const CatalogEntry& first = *package->GetEntry(0);
  EXPECT_EQ(first.BlobOffset(), 1000u);  // absolute, not relative to the blob area
  EXPECT_EQ(first.BlobFileHndl(), package->FileHandle());
  EXPECT_EQ(first.BlobFileName(), u"\\Temp\\p.pkg");
  EXPECT_GE(package->GetEntry(1)->BlobOffset(), 1000u);
  const CatalogEntry& no_blob = *package->GetEntry(2);
  EXPECT_EQ(no_blob.BlobFileHndl(), INVALID_HANDLE_VALUE);
  EXPECT_EQ(no_blob.BlobFileName(), u"");
  EXPECT_TRUE(no_blob.GetProperty(kDst, value));
  EXPECT_EQ(value, u"\\Program Files\\Notes");
}

TEST_F(ReaderTest, SmallestValidPackageIsTheHeaderAlone) {
  std::unique_ptr<Package> package;
  ASSERT_EQ(Open(BuildPackage({}), package), S_OK);
  EXPECT_EQ(package->NumEntries(), 0);
  EXPECT_EQ(package->Properties().PropertyCount(), 0u);
  EXPECT_EQ(HostFile("p.pkg").size(), 24u);
}

TEST_F(ReaderTest, EveryFailureHasItsMessageAndCode) {
  std::unique_ptr<Package> package;
  EXPECT_EQ(OpenPackage(error_, u"\\Temp\\missing.pkg", package), HRESULT(0x80070002));
  EXPECT_EQ(error_, u"Error opening package '\\Temp\\missing.pkg': 0x80070002");

  EXPECT_EQ(Open("short", package), HRESULT(0x80070083));
  EXPECT_EQ(error_, u"Error seeking to package header for package '\\Temp\\p.pkg': 0x80070083");

  std::string bad_signature = BuildPackage({});
  bad_signature[0] = 0x02;
  EXPECT_EQ(Open(bad_signature, package), HRESULT(0x8007000D));
  EXPECT_EQ(error_, u"Invalid header signature for package '\\Temp\\p.pkg'");

  PackageLayout layout;
  layout.entries = {FileEntry("content", false, u"\\a")};
  std::string off_by_one = BuildPackage(layout);
  off_by_one[off_by_one.size() - 10] += 1;  // BlobLen
  EXPECT_EQ(Open(off_by_one, package), HRESULT(0x8007000D));
  EXPECT_EQ(error_, u"Invalid header contents for package '\\Temp\\p.pkg'");
  EXPECT_EQ(package, nullptr);

  ASSERT_TRUE(coredll::SetFaults("read@\\Temp\\p.pkg#1=30", nullptr));
  EXPECT_EQ(Open(BuildPackage(layout), package), HRESULT(0x8007001E));
  EXPECT_EQ(error_, u"Error reading header for package '\\Temp\\p.pkg': 0x8007001e");

  layout.properties = {{3, u"App"}};
  ASSERT_TRUE(coredll::SetFaults("read@\\Temp\\p.pkg#2=30", nullptr));
  EXPECT_EQ(Open(BuildPackage(layout), package), HRESULT(0x8007001E));
  EXPECT_EQ(error_, u"Error reading package descriptor for package '\\Temp\\p.pkg': 0x8007001e");

  ASSERT_TRUE(coredll::SetFaults("read@\\Temp\\p.pkg#3=30", nullptr));
  EXPECT_EQ(Open(BuildPackage(layout), package), HRESULT(0x8007001E));
  EXPECT_EQ(error_, u"Error reading catalog data for package '\\Temp\\p.pkg': 0x8007001e");

  // Seeks and sizes of a real file do not fail by themselves: the platform is asked to.
  ASSERT_TRUE(coredll::SetFaults("size@\\Temp\\p.pkg=31", nullptr));
  EXPECT_EQ(Open(BuildPackage(layout), package), HRESULT(0x8007001F));
  EXPECT_EQ(error_, u"Error getting file size for package '\\Temp\\p.pkg': 0x8007001f");
  ASSERT_TRUE(coredll::SetFaults("seek@\\Temp\\p.pkg#2=131", nullptr));
  EXPECT_EQ(Open(BuildPackage(layout), package), HRESULT(0x80070083));
  EXPECT_EQ(error_, u"Error seeking to package descriptor for package '\\Temp\\p.pkg': 0x80070083");
  ASSERT_TRUE(coredll::SetFaults("seek@\\Temp\\p.pkg#3=131", nullptr));
  EXPECT_EQ(Open(BuildPackage(layout), package), HRESULT(0x80070083));
  EXPECT_EQ(error_, u"Error seeking to catalog offset 7 for package '\\Temp\\p.pkg': 0x80070083");

  ASSERT_TRUE(coredll::SetFaults("read@\\Temp\\p.pkg#2=short", nullptr));  // read comes back short
  EXPECT_EQ(Open(BuildPackage(layout), package), HRESULT(0x80070026));
  EXPECT_EQ(error_, u"Error reading package descriptor for package '\\Temp\\p.pkg': 0x80070026");
  coredll::SetFaults("", nullptr);

  HANDLE busy = CreateFileW(u"\\Temp\\p.pkg", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(Open(BuildPackage(layout), package), HRESULT(0x80070020));  // held without sharing
  CloseHandle(busy);
}

TEST_F(ReaderTest, RecordsRunningPastTheCatalogAreRefused) {
  PackageLayout layout;
  layout.properties = {{3, u"App"}};
  layout.entries = {FileEntry("abc", false, u"\\x")};
  std::string bytes = BuildPackage(layout);
  size_t catalog_at = 3;  // the blob is 3 bytes, the catalog follows it
  std::unique_ptr<Package> package;

  std::string long_descriptor = bytes;
  long_descriptor[catalog_at + 20] = char(0xFF);  // DescriptorLn past the catalog
  EXPECT_EQ(Open(long_descriptor, package), HRESULT(0x8007000D));
  EXPECT_EQ(error_, u"Invalid catalog entry at offset 0 for package '\\Temp\\p.pkg'");

  std::string unterminated = bytes;
  size_t descriptor_end = catalog_at + 22 + 7;  // id, "\x" in UTF-16, then the 0x0000
  unterminated[descriptor_end - 1] = 'z';      // the value loses its terminator
  unterminated[descriptor_end - 2] = 'z';
  EXPECT_EQ(Open(unterminated, package), HRESULT(0x8007000D));

  PackageLayout odd;
  odd.properties = {{3, u"App"}};
  std::string odd_bytes = BuildPackage(odd);
  odd_bytes[odd_bytes.size() - 24 - 1] = 'x';  // the package value's terminator
  EXPECT_EQ(Open(odd_bytes, package), HRESULT(0x8007000D));
  EXPECT_EQ(error_, u"Invalid package descriptor for package '\\Temp\\p.pkg'");

  // A catalog longer than the reader's block of 1 MiB: records cross the block's end, and
  // the offset of one refused in a later block counts from the catalog's start.
  PackageLayout large;
  constexpr int kRecords = 600;
  constexpr size_t kRecord = 22 + 1 + 2 * 1000 + 2;
  for (int i = 0; i < kRecords; ++i) {
    large.entries.push_back(Entry(8, 0, {{1, std::u16string(999, u'a' + char16_t(i % 26)) + u"!"}}));
  }
  std::string large_bytes = BuildPackage(large);
  ASSERT_EQ(Open(large_bytes, package), S_OK) << std::string(error_.begin(), error_.end());
  ASSERT_EQ(package->NumEntries(), kRecords);
  for (int i = 0; i < kRecords; ++i) {
    std::u16string value;
    ASSERT_TRUE(package->GetEntry(i)->GetProperty(kDst, value)) << i;
    ASSERT_EQ(value, std::u16string(999, u'a' + char16_t(i % 26)) + u"!") << i;
  }
  package.reset();
  large_bytes[(kRecords - 1) * kRecord + 20] = char(0xFF);  // the last DescriptorLn past the end
  EXPECT_EQ(Open(large_bytes, package), HRESULT(0x8007000D));
  static_assert((kRecords - 1) * kRecord == 1212975);
  EXPECT_EQ(error_, u"Invalid catalog entry at offset 1212975 for package '\\Temp\\p.pkg'");
  EXPECT_EQ(package, nullptr);
}

// The header's lengths are summed as the 32-bit fields they are: a header that adds up only
// modulo 2^32 passes, and the seeks and reads at the offsets it names decide.
TEST_F(ReaderTest, LengthsThatOnlyAddUpModulo32BitsGoOnToTheReads) {
  auto with_header = [](std::string bytes, uint32_t blob_offset, uint32_t blob_len,
                        uint32_t catalog_len, uint16_t descriptor_len) {
    std::string fields;
    Put32(fields, blob_offset);
    Put32(fields, blob_len);
    Put32(fields, catalog_len);
    Put16(fields, descriptor_len);
    return bytes.replace(bytes.size() - 14, 14, fields);
  };
  std::unique_ptr<Package> package;

  // BlobOffset 1 with BlobLen 0xFFFFFFFF: the catalog offset wraps to 0, where it really is.
  PackageLayout layout;
  layout.properties = {{3, u"Wrapped"}};
  layout.entries = {Entry(8, 0, {{1, u"\\f"}})};
  std::string bytes = BuildPackage(layout);
  const uint8_t* end = reinterpret_cast<const uint8_t*>(bytes.data()) + bytes.size();
  PackageHeader h = DecodeHeader(std::span<const uint8_t, 24>(end - 24, 24));
  ASSERT_EQ(Open(with_header(bytes, 1, 0xFFFFFFFF, h.CatalogLen, h.DescriptorLen), package), S_OK)
      << std::string(error_.begin(), error_.end());
  ASSERT_EQ(package->NumEntries(), 1);
  std::u16string value;
  EXPECT_TRUE(package->GetEntry(0)->GetProperty(kDst, value));
  EXPECT_EQ(value, u"\\f");
  EXPECT_TRUE(package->GetProperty(kAppName, value));
  EXPECT_EQ(value, u"Wrapped");
  package.reset();

  // A descriptor or a catalog placed past the end of the file is a read that comes back short.
  std::string header_only = BuildPackage({});
  EXPECT_EQ(Open(with_header(header_only, 0, 0xFFFFFF00, 0, 0x100), package), HRESULT(0x80070026));
  EXPECT_EQ(error_, u"Error reading package descriptor for package '\\Temp\\p.pkg': 0x80070026");
  EXPECT_EQ(package, nullptr);
  EXPECT_EQ(Open(with_header(header_only, 0, 0xFFFFFFF0, 0x10, 0), package), HRESULT(0x80070026));
  EXPECT_EQ(error_, u"Error reading catalog data for package '\\Temp\\p.pkg': 0x80070026");
  // A catalog that claims nearly 4 GiB of a 24-byte file: only what is there is read.
  EXPECT_EQ(Open(with_header(header_only, 0, 0x10, 0xFFFFFFF0, 0), package), HRESULT(0x80070026));
  EXPECT_EQ(error_, u"Error reading catalog data for package '\\Temp\\p.pkg': 0x80070026");
  EXPECT_EQ(package, nullptr);
}

TEST_F(ReaderTest, DescriptorsKeepTheLastDuplicateAndEmptyValues) {
  PackageLayout layout;
  layout.properties = {{7, u"first"}, {7, u"second"}, {9, u""}};
  std::unique_ptr<Package> package;
  ASSERT_EQ(Open(BuildPackage(layout), package), S_OK);
  std::u16string value = u"untouched";
  EXPECT_TRUE(package->GetProperty(7, value));
  EXPECT_EQ(value, u"second");
  EXPECT_TRUE(package->GetProperty(9, value));
  EXPECT_EQ(value, u"");
  value = u"untouched";
  EXPECT_FALSE(package->GetProperty(8, value));
  EXPECT_EQ(value, u"untouched");
  EXPECT_EQ(package->Properties().PropertyCount(), 2u);
  uint8_t id;
  EXPECT_TRUE(package->Properties().GetPropertyAt(1, id, value));
  EXPECT_EQ(id, 9);
  EXPECT_FALSE(package->Properties().GetPropertyAt(2, id, value));
  EXPECT_FALSE(package->Properties().GetPropertyAt(-1, id, value));
}

TEST_F(ReaderTest, EntryListEditing) {
  Package package;
  for (uint8_t type : {1, 2, 3}) {
    auto entry = std::make_unique<CatalogEntry>();
    entry->SetEntryType(type);
    package.InsertEntry(std::move(entry), -1);
  }
  EXPECT_EQ(package.GetEntry(-1)->EntryType(), 3);
  EXPECT_EQ(package.GetEntry(3), nullptr);
  auto fourth = std::make_unique<CatalogEntry>();
  fourth->SetEntryType(4);
  package.InsertEntry(std::move(fourth), 3);
  EXPECT_EQ(package.GetEntry(3)->EntryType(), 4);
  auto front = std::make_unique<CatalogEntry>();
  front->SetEntryType(9);
  package.InsertEntry(std::move(front), 0);
  EXPECT_EQ(package.GetEntry(0)->EntryType(), 9);
  package.RemoveEntry(5);
  package.RemoveEntry(-1);
  EXPECT_EQ(package.NumEntries(), 5);
  package.RemoveEntry(1);
  EXPECT_EQ(package.GetEntry(1)->EntryType(), 2);
  EXPECT_EQ(Package().GetEntry(-1), nullptr);
  EXPECT_EQ(Package().Header().Signature, kPackageSignature);
}

TEST_F(ReaderTest, PlatformFiveKeepsTheFileOpen) {
  PackageLayout layout;
  layout.platform = 5;
  {
    std::unique_ptr<Package> package;
    ASSERT_EQ(Open(BuildPackage(layout), package), S_OK);
  }
  // The handle outlived the package: writers are still shut out.
  HANDLE writer = CreateFileW(u"\\Temp\\p.pkg", GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
  layout.platform = 4;
  {
    std::unique_ptr<Package> package;
    ASSERT_EQ(OpenPackage(error_, Put(BuildPackage(layout), "q.pkg"), package), S_OK);
  }
  writer = CreateFileW(u"\\Temp\\q.pkg", GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(writer, INVALID_HANDLE_VALUE);
  CloseHandle(writer);
}

TEST_F(ReaderTest, ProbeLooksOnlyAtTheSignature) {
  auto probe = [&](const std::string& bytes) {
    Put(bytes, "probe.bin");
    HANDLE file = CreateFileW(u"\\Temp\\probe.bin", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    bool result = IsPackageFile(file);
    CloseHandle(file);
    return result;
  };
  std::string bytes = BuildPackage({});
  EXPECT_TRUE(probe(bytes));
  bytes[14] = 9;  // contents no longer add up: still a package to the probe
  EXPECT_TRUE(probe(bytes));
  EXPECT_FALSE(probe("tiny"));
  EXPECT_FALSE(probe(std::string(40, '\0')));
  EXPECT_FALSE(IsPackageFile(INVALID_HANDLE_VALUE));
}

}  // namespace
}  // namespace stowkit
