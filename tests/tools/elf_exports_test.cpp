// Reading a custom library's exports from its ELF tables: the functions it offers, and a
// clean refusal, never a crash, for every damaged form of it.
#include "elf_exports.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "support/child_process.h"
#include "support/temp_device.h"

namespace stowkit::pack_tool {
namespace {

class ElfExportsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(HostElfTarget(target_));
    library_ = testing::ReadHostFile(testing::LibPath("libexample_custom.so"));
    ASSERT_FALSE(library_.empty());
  }
  ElfTarget target_;
  std::string library_;
};

TEST_F(ElfExportsTest, ListsTheExportedFunctionsOnly) {
  std::vector<std::string> names;
  std::string reason;
  ASSERT_TRUE(ReadElfExports(library_, target_, names, reason)) << reason;
  for (const char* hook : {"PkgCustomPreInstall", "PkgCustomPostInstall", "PkgCustomPreRemove"}) {
    EXPECT_NE(std::find(names.begin(), names.end(), hook), names.end()) << hook;
  }
  // Static helpers and the platform functions it calls are not its exports.
  EXPECT_EQ(std::find(names.begin(), names.end(), "LocalTimeText"), names.end());
  EXPECT_EQ(std::find(names.begin(), names.end(), "GetLocalTime"), names.end());
}

TEST_F(ElfExportsTest, EveryShortenedLibraryIsRefused) {
  std::vector<std::string> names;
  std::string reason;
  for (size_t size = 0; size < library_.size(); ++size) {
    EXPECT_FALSE(ReadElfExports(std::string_view(library_).substr(0, size), target_, names, reason)) << size;
    EXPECT_FALSE(reason.empty());
  }
}

TEST_F(ElfExportsTest, DamagedBytesNeverCrash) {
  std::mt19937 random(7);
  std::vector<std::string> names;
  std::string reason;
  // The tables that steer the reading: the ELF header and the section table at the end.
  const size_t kHeader = 64, kTail = 2048;
  for (int round = 0; round < 2000; ++round) {
    std::string damaged = library_;
    for (int n = 0; n < 4; ++n) {
      damaged[random() % kHeader] = char(random());
      damaged[damaged.size() - 1 - random() % kTail] = char(random());
    }
    if (!ReadElfExports(damaged, target_, names, reason)) {
      EXPECT_FALSE(reason.empty());
    }
  }
}

}  // namespace
}  // namespace stowkit::pack_tool
