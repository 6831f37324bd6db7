// The file steps on a real device: content, attributes and times of extracted files, files
// kept or replaced, deletions, and files that a running program holds.
#include <gtest/gtest.h>

#include <array>
#include <chrono>

#include "engine/catalog_steps.h"
#include "engine/catalog_step_fixture.h"
#include "services/hresult.h"
#include "support/child_process.h"

namespace stowkit {
namespace {

using testing::Entry;
using testing::FileEntry;
using testing::kHolderProgram;

constexpr HRESULT kSharingViolation = HResultFromError(ERROR_SHARING_VIOLATION);

uint64_t Ticks(const FILETIME& t) { return uint64_t(t.dwHighDateTime) << 32 | t.dwLowDateTime; }

// Creation, last access and last write.
std::array<uint64_t, 3> Times(const std::u16string& path) {
  FILETIME t[3] = {};
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                            nullptr);
  EXPECT_TRUE(GetFileTime(file, &t[0], &t[1], &t[2]));
  CloseHandle(file);
  return {Ticks(t[0]), Ticks(t[1]), Ticks(t[2])};
}

uint64_t LocalTicks(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second) {
  SYSTEMTIME local = {year, month, 0, day, hour, minute, second, 0};
  FILETIME local_time, utc;
  EXPECT_TRUE(SystemTimeToFileTime(&local, &local_time));
  EXPECT_TRUE(LocalFileTimeToFileTime(&local_time, &utc));
  return Ticks(utc);
}

testing::EntryLayout AppFile(const std::string& content, const std::u16string& dst,
                             uint8_t type_flags = 0) {
  testing::EntryLayout e = FileEntry(content, true, dst);
  e.type_flags = type_flags;
  return e;
}

class FileStepsTest : public testing::CatalogStepTest {};

TEST_F(FileStepsTest, ExtractedFilesGetTheirContentAttributesAndTimes) {
  testing::EntryLayout dated = FileEntry("stored bytes", false, u"$(APPDIR)\\bin\\dated.txt");
  dated.properties.push_back({kDate, u"20061205143000"});
  testing::EntryLayout badly_dated = AppFile("x", u"$(APPDIR)\\undated.txt");
  badly_dated.properties.push_back({kDate, u"2006120"});
  testing::EntryLayout unselected = AppFile("no", u"\\Unselected.txt");
  unselected.entry_flags &= uint8_t(~kShouldInstall);
  testing::EntryLayout ignored = AppFile("no", u"\\Ignored.txt");
  ignored.entry_flags |= kIgnoreBlob;
  UsePackage({dated, AppFile("secret", u"$(APPDIR)\\ro.txt", kReadOnly | kHidden), badly_dated,
              unselected, ignored});

  EXPECT_EQ(ExtractFiles(engine_), S_OK);
  uint64_t stamp = LocalTicks(2006, 12, 5, 14, 30, 0);  // before a read can touch them
  EXPECT_EQ(Times(u"\\Program Files\\Demo\\bin\\dated.txt"),
            (std::array<uint64_t, 3>{stamp, stamp, stamp}));
  EXPECT_GT(Times(u"\\Program Files\\Demo\\undated.txt")[2], stamp);  // not 14 characters
  EXPECT_EQ(Content("Program Files/Demo/bin/dated.txt"), "stored bytes");
  EXPECT_EQ(Content("Program Files/Demo/ro.txt"), "secret");
  EXPECT_EQ(Attributes(u"\\Program Files\\Demo\\ro.txt") &
                (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN),
            DWORD(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  EXPECT_FALSE(Attributes(u"\\Program Files\\Demo\\bin\\dated.txt") & FILE_ATTRIBUTE_READONLY);
  EXPECT_FALSE(Exists(u"\\Unselected.txt"));
  EXPECT_FALSE(Exists(u"\\Ignored.txt"));
  EXPECT_EQ(PropertyOf(0, kDst), u"\\Program Files\\Demo\\bin\\dated.txt");
  EXPECT_EQ(capture_.detail, (testing::Lines{u"\\Program Files\\Demo\\bin\\dated.txt",
                                             u"\\Program Files\\Demo\\ro.txt",
                                             u"\\Program Files\\Demo\\undated.txt"}));
}

TEST_F(FileStepsTest, AReplacedFileKeepsTheAttributesItHad) {
  Put("Program Files/Demo/hidden.txt", "old");
  Put("Program Files/Demo/ro.txt", "old");
  ASSERT_TRUE(SetFileAttributesW(u"\\Program Files\\Demo\\hidden.txt", FILE_ATTRIBUTE_HIDDEN));
  ASSERT_TRUE(SetFileAttributesW(u"\\Program Files\\Demo\\ro.txt", FILE_ATTRIBUTE_READONLY));
  UsePackage({AppFile("new hidden", u"$(APPDIR)\\hidden.txt"),
              AppFile("new read-only", u"$(APPDIR)\\ro.txt", kHidden)});
  EXPECT_EQ(ExtractFiles(engine_), S_OK);
  EXPECT_EQ(Content("Program Files/Demo/hidden.txt"), "new hidden");
  EXPECT_EQ(Attributes(u"\\Program Files\\Demo\\hidden.txt"), DWORD(FILE_ATTRIBUTE_HIDDEN));
  EXPECT_EQ(Content("Program Files/Demo/ro.txt"), "new read-only");
  EXPECT_EQ(Attributes(u"\\Program Files\\Demo\\ro.txt"),
            DWORD(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
}

TEST_F(FileStepsTest, NoOverwriteKeepsAnExistingFileButMakesItWritable) {
  Put("Program Files/Demo/settings.ini", "user settings");
  ASSERT_TRUE(SetFileAttributesW(u"\\Program Files\\Demo\\settings.ini",
                                 FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  UsePackage({AppFile("defaults", u"$(APPDIR)\\settings.ini", kNoOverwrite),
              AppFile("defaults", u"$(APPDIR)\\fresh.ini", kNoOverwrite)});
  EXPECT_EQ(ExtractFiles(engine_), S_OK);
  EXPECT_EQ(Content("Program Files/Demo/settings.ini"), "user settings");
  EXPECT_FALSE(Attributes(u"\\Program Files\\Demo\\settings.ini") &
               (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  EXPECT_EQ(Content("Program Files/Demo/fresh.ini"), "defaults");
}

TEST_F(FileStepsTest, ADestinationThatDoesNotExpandStopsTheStep) {
  UsePackage({AppFile("a", u"$(APPDIR)\\a.txt"), AppFile("b", u"$(NOPE)\\b.txt"),
              AppFile("c", u"$(APPDIR)\\c.txt")});
  EXPECT_EQ(ExtractFiles(engine_), kGenericFailure);
  EXPECT_EQ(Content("Program Files/Demo/a.txt"), "a");
  EXPECT_FALSE(Exists(u"\\Program Files\\Demo\\c.txt"));
  EXPECT_EQ(capture_.detail.back(), u"Unresolved macro in $(NOPE)\\b.txt: $(NOPE)");
}

TEST_F(FileStepsTest, RemoveFileEntriesDeleteAndAskAboutAHeldFile) {
  Put("Temp/ro.txt", "ro");
  ASSERT_TRUE(SetFileAttributesW(u"\\Temp\\ro.txt", FILE_ATTRIBUTE_READONLY));
  Put("Temp/held.txt", "held");
  HANDLE held = CreateFileW(u"\\Temp\\held.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  UsePackage({Entry(kRemoveFile, kShouldInstall, {{kDst, u"\\Temp\\ro.txt"}}),
              Entry(kRemoveFile, kShouldInstall, {{kDst, u"\\Temp\\gone.txt"}}),
              Entry(kRemoveFile, kShouldInstall, {{kDst, u"$(NOPE)"}}),
              Entry(kRemoveFile, kShouldInstall, {{kDst, u"\\Temp\\held.txt"}})});
  Answers({"retry"});  // then nothing: the box's safe answer, Abort
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(ExtractFiles(engine_), S_OK);
  std::string said = ::testing::internal::GetCapturedStderr();
  CloseHandle(held);

  EXPECT_FALSE(Exists(u"\\Temp\\ro.txt"));
  EXPECT_EQ(Content("Temp/held.txt"), "held");
  std::u16string error = ItemError(UiStringId::kFileDeleteError, u"\\Temp\\held.txt", ERROR_SHARING_VIOLATION);
  EXPECT_EQ(DetailsOf(UiStringId::kFileDeleteError), (testing::Lines{error, error}));  // no word of gone.txt
  EXPECT_EQ(said,
            "message box \"Demo App\" (The file '\\Temp\\held.txt' is in use and cannot be "
            "deleted.  Try stopping the process that has loaded this file.): no terminal and no "
            "scripted answer; answering Abort\n");
}

// One wait, then the question on every later attempt: Retry tries again, Cancel gives up on
// the file; the others are still written and the step fails at its end.
TEST_F(FileStepsTest, AFileThatARunningProgramHoldsIsAskedAboutAfterOneWait) {
  testing::HeldProgram holder(device_);
  ASSERT_TRUE(holder.Started());
  std::string program = Content("Program Files/App/holder.exe");
  UsePackage({AppFile("new program", kHolderProgram), AppFile("readme", u"$(APPDIR)\\readme.txt")});
  Answers({"retry"});
  ::testing::internal::CaptureStderr();
  auto before = std::chrono::steady_clock::now();
  EXPECT_EQ(ExtractFiles(engine_), kSharingViolation);
  auto waited = std::chrono::steady_clock::now() - before;
  std::string said = ::testing::internal::GetCapturedStderr();

  EXPECT_GE(waited, std::chrono::seconds(3));
  EXPECT_LT(waited, std::chrono::seconds(6));  // no pause after a question

  EXPECT_TRUE(Content("Program Files/App/holder.exe") == program);  // unchanged
  EXPECT_EQ(Content("Program Files/Demo/readme.txt"), "readme");
  std::u16string error = ItemError(UiStringId::kFileInstallError, kHolderProgram, ERROR_SHARING_VIOLATION);
  EXPECT_EQ(DetailsOf(UiStringId::kFileInstallError), (testing::Lines{error, error}));
  EXPECT_EQ(engine_.last_error_text, error);
  EXPECT_EQ(said,
            "message box \"Demo App\" (The file '\\Program Files\\App\\holder.exe' is in use and "
            "cannot be overwritten.  Try stopping the '\\Program Files\\App\\holder.exe' "
            "process.): no terminal and no scripted answer; answering Cancel\n");
}

TEST_F(FileStepsTest, ASilentRunClosesTheHolderAndWritesTheFile) {
  testing::HeldProgram holder(device_);
  ASSERT_TRUE(holder.Started());
  engine_.silent = 1;
  UsePackage({AppFile("new program", kHolderProgram)});
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(ExtractFiles(engine_), S_OK);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");  // nobody was asked
  EXPECT_EQ(Content("Program Files/App/holder.exe"), "new program");
  EXPECT_EQ(DetailsOf(UiStringId::kFileInstallError).size(), 1u);
}

// No honest input makes a file unwritable without a holder; the faults stand in for one.
TEST_F(FileStepsTest, ACustomLibraryThatSkipsInUseFilesCountsThemAsDone) {
  device_.Install(testing::LibPath("libskip_in_use_hook.so"), "Temp/hook.dll");
  engine_.custom_library = LoadLibraryW(u"\\Temp\\hook.dll");
  ASSERT_NE(engine_.custom_library, nullptr);
  Put("Program Files/Demo/busy.txt", "old");
  Put("Program Files/Demo/busy.log", "log");
  UsePackage({AppFile("new", u"$(APPDIR)\\busy.txt"),
              Entry(kRemoveFile, kShouldInstall, {{kDst, u"$(APPDIR)\\busy.log"}})});
  Faults("open@\\Program Files\\Demo\\busy.txt=32;delete@\\Program Files\\Demo\\busy.log=33");
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(ExtractFiles(engine_), S_OK);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  Faults("");
  EXPECT_EQ(Content("Program Files/Demo/busy.txt"), "old");
  EXPECT_EQ(Content("Program Files/Demo/busy.log"), "log");
  EXPECT_EQ(DetailsOf(UiStringId::kFileInstallError), (testing::Lines{ItemError(UiStringId::kFileInstallError, u"\\Program Files\\Demo\\busy.txt",
                                                     ERROR_SHARING_VIOLATION)}));
  EXPECT_EQ(DetailsOf(UiStringId::kFileDeleteError), (testing::Lines{ItemError(UiStringId::kFileDeleteError, u"\\Program Files\\Demo\\busy.log",
                                                     ERROR_LOCK_VIOLATION)}));
}

TEST_F(FileStepsTest, RemovalDeletesFilesAndLeavesAHeldOneWhenTheUserIgnoresIt) {
  engine_.mode = kModeFullRemove;
  Put("App/ro.dll", "ro");
  ASSERT_TRUE(SetFileAttributesW(u"\\App\\ro.dll", FILE_ATTRIBUTE_READONLY));
  Put("App/held.txt", "held");
  Put("App/kept.txt", "kept");
  HANDLE held = CreateFileW(u"\\App\\held.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  constexpr uint8_t kUninstallEntry = kShouldInstall | kIgnoreBlob;
  UsePackage({Entry(kAppFile, kUninstallEntry, {{kDst, u"\\App\\ro.dll"}}),
              Entry(kAppFile, kUninstallEntry, {{kDst, u"\\App\\gone.txt"}}),
              Entry(kAppFile, kUninstallEntry, {{kDst, u"\\App\\held.txt"}}),
              Entry(kAppFile, kUninstallEntry | kEntryNoRemove, {{kDst, u"\\App\\kept.txt"}})});
  Answers({"retry", "ignore"});
  EXPECT_EQ(RemoveFiles(engine_), S_OK);
  CloseHandle(held);
  EXPECT_FALSE(Exists(u"\\App\\ro.dll"));
  EXPECT_EQ(Content("App/held.txt"), "held");
  EXPECT_EQ(Content("App/kept.txt"), "kept");
  std::u16string error = ItemError(UiStringId::kFileDeleteError, u"\\App\\held.txt", ERROR_SHARING_VIOLATION);
  EXPECT_EQ(DetailsOf(UiStringId::kFileDeleteError), (testing::Lines{error, error, error}));  // the wait, Retry, Ignore
}

}  // namespace
}  // namespace stowkit
