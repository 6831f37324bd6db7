// The removal selection rule for every mode over the three bits it reads.
#include "engine/removal_rule.h"

#include <gtest/gtest.h>

#include "engine/run_mode.h"

namespace stowkit {
namespace {

struct Row {
  uint8_t flags;
  bool full_install, patch_install, full_remove, minor_remove;
};

// Bits: 0x04 ShouldInstall, 0x08 NoRemove, 0x10 kept by minor removals.
constexpr Row kRows[] = {
    {0x00, true, false, true, true},    {0x04, false, false, true, true},
    {0x08, false, false, false, false}, {0x10, false, false, true, false},
    {0x0C, false, false, false, false}, {0x14, false, false, true, false},
    {0x18, false, false, false, false}, {0x1C, false, false, false, false},
};

TEST(RemovalRuleTest, EachModeTakesTheEntriesItsBitsAllow) {
  for (const Row& row : kRows) {
    SCOPED_TRACE(testing::Message() << "flags 0x" << std::hex << int(row.flags));
    EXPECT_EQ(ShouldRemoveEntry(kModeFullInstall, row.flags), row.full_install);
    EXPECT_EQ(ShouldRemoveEntry(kModePatchInstall, row.flags), row.patch_install);
    EXPECT_EQ(ShouldRemoveEntry(kModeFullRemove, row.flags), row.full_remove);
    EXPECT_EQ(ShouldRemoveEntry(kModeMinorRemove, row.flags), row.minor_remove);
  }
}

TEST(RemovalRuleTest, OtherBitsDoNotMatter) {
  for (const Row& row : kRows) {
    uint8_t flags = row.flags | 0xE3;
    SCOPED_TRACE(testing::Message() << "flags 0x" << std::hex << int(flags));
    EXPECT_EQ(ShouldRemoveEntry(kModeFullInstall, flags), row.full_install);
    EXPECT_EQ(ShouldRemoveEntry(kModeFullRemove, flags), row.full_remove);
    EXPECT_EQ(ShouldRemoveEntry(kModeMinorRemove, flags), row.minor_remove);
  }
}

TEST(RemovalRuleTest, AnUnknownModeRemovesNothing) {
  EXPECT_FALSE(ShouldRemoveEntry(0, 0x00));
  EXPECT_FALSE(ShouldRemoveEntry(5, 0x00));
}

}  // namespace
}  // namespace stowkit
