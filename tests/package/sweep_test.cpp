// Every prefix of a valid package, and every single-byte change of its header and catalog,
// opens cleanly or fails cleanly: no crash, no hang, no read past a buffer (the sanitizer
// build runs this too). Whatever opens is dumped and extracted as well.
#include <gtest/gtest.h>

#include "package/dump.h"
#include "package/extract.h"
#include "package_bytes.h"
#include "package_fixture.h"

namespace stowkit {
namespace {

using namespace stowkit::testing;

class SweepTest : public PackageTest {
 protected:
  void SetUp() override {
    PackageLayout layout;
    layout.prefix = "MZ";
    layout.properties = {{3, u"Sweep"}, {22, u"fr"}};
    layout.entries = {FileEntry("compressed content, compressed content", true, u"\\a"),
                    FileEntry("stored", false, u"\\b")};
    EntryLayout folder;
    folder.type = 8;
    folder.properties = {{1, u"\\f"}, {4, u"Core"}};
    layout.entries.push_back(folder);
    valid_ = BuildPackage(layout);
    const uint8_t* end = reinterpret_cast<const uint8_t*>(valid_.data()) + valid_.size();
    PackageHeader header = DecodeHeader(std::span<const uint8_t, 24>(end - 24, 24));
    catalog_start_ = header.BlobOffset + header.BlobLen;
  }

  // Opens `bytes`; whatever opens must dump and extract without harm. The same bytes read
  // from memory give the same answer and message, and blobs that verify alike.
  void Exercise(const std::string& bytes) {
    std::unique_ptr<Package> package, in_memory;
    HRESULT hr = Open(bytes, package);
    std::u16string memory_error;
    std::span<const uint8_t> view(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    EXPECT_EQ(ReadPackageBytes(memory_error, u"\\Temp\\p.pkg", view, in_memory), hr);
    EXPECT_EQ(memory_error, error_);
    if (FAILED(hr)) {
      EXPECT_EQ(package, nullptr);
      EXPECT_EQ(in_memory, nullptr);
      return;
    }
    ASSERT_EQ(in_memory->NumEntries(), package->NumEntries());
    std::u16string text;
    DumpPackage(*package, text);
    for (int i = 0; i < package->NumEntries(); ++i) {
      const CatalogEntry& entry = *package->GetEntry(i);
      HRESULT extracted = ExtractEntryBlob(entry, u"\\Temp\\out");
      if (FAILED(extracted)) {
        EXPECT_FALSE(Exists("out"));
      }
      EXPECT_EQ(VerifyEntryBlob(*in_memory->GetEntry(i)), VerifyEntryBlob(entry));
    }
  }

  std::string valid_;
  size_t catalog_start_ = 0;
};

TEST_F(SweepTest, EveryPrefix) {
  for (size_t length = 0; length <= valid_.size(); ++length) {
    Exercise(valid_.substr(0, length));
  }
  std::unique_ptr<Package> package;
  EXPECT_EQ(Open(valid_, package), S_OK);
}

TEST_F(SweepTest, EverySingleByteChangeOfCatalogAndHeader) {
  for (size_t at = catalog_start_; at < valid_.size(); ++at) {
    for (int value : {0x00, 0x01, 0x7F, 0x80, 0xFF}) {
      std::string changed = valid_;
      changed[at] = char(value);
      Exercise(changed);
    }
  }
}

}  // namespace
}  // namespace stowkit
