// The folder steps on a real device: folders made at install, RemoveFolder entries deleted
// with their files, and removal taking only what is empty.
#include <gtest/gtest.h>

#include "engine/catalog_steps.h"
#include "engine/catalog_step_fixture.h"
#include "services/hresult.h"

namespace stowkit {
namespace {

using testing::Entry;

constexpr uint8_t kInstall = kShouldInstall;

class FolderStepsTest : public testing::CatalogStepTest {};

TEST_F(FolderStepsTest, FoldersAreCreatedWithEveryLevelAndKeepTheirExpandedPath) {
  UsePackage({Entry(kFolder, kInstall, {{kDst, u"$(APPDIR)\\data\\cache"}}),
              Entry(kFolder, 0, {{kDst, u"\\Deselected"}}),
              Entry(kFolder, kInstall, {{kDst, u"$(APPDIR)"}})});  // exists by then
  EXPECT_EQ(CreateFolders(engine_), S_OK);
  EXPECT_TRUE(Attributes(u"\\Program Files\\Demo\\data\\cache") & FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_FALSE(Exists(u"\\Deselected"));
  EXPECT_EQ(PropertyOf(0, kDst), u"\\Program Files\\Demo\\data\\cache");
  EXPECT_EQ(PropertyOf(1, kDst), u"\\Deselected");  // not visited, not expanded
  EXPECT_EQ(capture_.detail, (testing::Lines{u"\\Program Files\\Demo\\data\\cache",
                                             u"\\Program Files\\Demo"}));
}

TEST_F(FolderStepsTest, AFolderThatCannotBeMadeOrExpandedStopsTheStep) {
  Put("Program Files/Blocker", "a file where a folder should go");
  UsePackage({Entry(kFolder, kInstall, {{kDst, u"\\Program Files\\Blocker\\sub"}}),
              Entry(kFolder, kInstall, {{kDst, u"\\Later"}})});
  HRESULT hr = CreateFolders(engine_);
  EXPECT_LT(hr, 0);
  EXPECT_EQ(engine_.last_error_text,
            ItemError(UiStringId::kFolderInstallError, u"\\Program Files\\Blocker\\sub", uint32_t(hr)));
  EXPECT_EQ(DetailCount(engine_.last_error_text), 1);
  EXPECT_FALSE(Exists(u"\\Later"));

  UsePackage({Entry(kFolder, kInstall, {{kDst, u"$(NOPE)\\x"}}),
              Entry(kFolder, kInstall, {{kDst, u"\\Later"}})});
  EXPECT_EQ(CreateFolders(engine_), kGenericFailure);
  EXPECT_EQ(capture_.detail.back(), u"Unresolved macro in $(NOPE)\\x: $(NOPE)");
  EXPECT_EQ(PropertyOf(0, kDst), u"$(NOPE)\\x");
  EXPECT_FALSE(Exists(u"\\Later"));
}

TEST_F(FolderStepsTest, RemoveFolderEntriesDeleteTheFolderWithItsFiles) {
  Put("Old/sub/a.txt", "a");
  Put("Old/b.txt", "b");
  ASSERT_TRUE(SetFileAttributesW(u"\\Old\\sub\\a.txt", FILE_ATTRIBUTE_READONLY));
  UsePackage({Entry(kRemoveFolder, kInstall, {{kDst, u"$(NOPE)"}}),  // reported, skipped
              Entry(kRemoveFolder, kInstall, {{kDst, u"\\Old"}}),
              Entry(kRemoveFolder, kInstall, {{kDst, u"\\Never\\There"}}),
              Entry(kFolder, kInstall, {{kDst, u"\\New"}})});
  EXPECT_EQ(CreateFolders(engine_), S_OK);
  EXPECT_FALSE(Exists(u"\\Old"));
  EXPECT_TRUE(Exists(u"\\New"));
  // A folder that is not there cannot be deleted either: that is reported too.
  EXPECT_EQ(DetailsOf(UiStringId::kFolderDeleteError),
            (testing::Lines{ItemError(UiStringId::kFolderDeleteError, u"\\Never\\There", ERROR_PATH_NOT_FOUND)}));
}

TEST_F(FolderStepsTest, ARemoveFolderThatKeepsAHeldFileIsReportedAndTheStepGoesOn) {
  Put("Old/held.txt", "held");
  HANDLE held = CreateFileW(u"\\Old\\held.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  UsePackage({Entry(kRemoveFolder, kInstall, {{kDst, u"\\Old"}}),
              Entry(kFolder, kInstall, {{kDst, u"\\New"}})});
  EXPECT_EQ(CreateFolders(engine_), S_OK);
  CloseHandle(held);
  EXPECT_EQ(DetailsOf(UiStringId::kFolderDeleteError), (testing::Lines{ItemError(UiStringId::kFolderDeleteError, u"\\Old", ERROR_DIR_NOT_EMPTY)}));
  EXPECT_TRUE(Exists(u"\\Old\\held.txt"));
  EXPECT_TRUE(Exists(u"\\New"));
}

TEST_F(FolderStepsTest, RemovalTakesEmptyFoldersOnly) {
  engine_.mode = kModeFullRemove;
  Put("App/data/keep.txt", "user data");
  ASSERT_TRUE(CreateDirectoryW(u"\\App\\empty", nullptr));
  ASSERT_TRUE(CreateDirectoryW(u"\\App\\empty\\deeper", nullptr));
  ASSERT_TRUE(CreateDirectoryW(u"\\Shared", nullptr));
  // The parent comes first and takes its empty children with it.
  UsePackage({Entry(kFolder, kInstall | kIgnoreBlob, {{kDst, u"\\App"}}),
              Entry(kFolder, kInstall | kIgnoreBlob, {{kDst, u"\\App\\empty"}}),
              Entry(kFolder, kInstall | kIgnoreBlob, {{kDst, u"\\App\\data"}}),
              Entry(kFolder, kEntryNoRemove, {{kDst, u"\\Shared"}})});
  EXPECT_EQ(RemoveFolders(engine_), S_OK);
  EXPECT_FALSE(Exists(u"\\App\\empty"));
  EXPECT_EQ(Content("App/data/keep.txt"), "user data");
  EXPECT_TRUE(Exists(u"\\Shared"));
  // The child visited after its parent took it is gone, which is reported as well.
  EXPECT_EQ(DetailsOf(UiStringId::kFolderDeleteError), (testing::Lines{ItemError(UiStringId::kFolderDeleteError, u"\\App", ERROR_DIR_NOT_EMPTY),
                                          ItemError(UiStringId::kFolderDeleteError, u"\\App\\empty", ERROR_FILE_NOT_FOUND),
                                          ItemError(UiStringId::kFolderDeleteError, u"\\App\\data", ERROR_DIR_NOT_EMPTY)}));
}

}  // namespace
}  // namespace stowkit
