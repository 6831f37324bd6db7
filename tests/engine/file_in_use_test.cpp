// The file-in-use handler: the custom library's word, the question and its wording, the
// silent run that closes the holder, and the installer's own libraries released.
#include "engine/file_in_use.h"

#include <gtest/gtest.h>

#include "engine/catalog_step_fixture.h"
#include "support/child_process.h"
#include "support/log_text.h"

namespace stowkit {
namespace {

using testing::kHolderProgram;

class FileInUseTest : public testing::CatalogStepTest {
 protected:
  // The answer, and what the message box said on stderr.
  std::pair<FileInUseAnswer, std::string> Ask(std::u16string_view path, uint32_t operation) {
    ::testing::internal::CaptureStderr();
    FileInUseAnswer answer = FileInUse(engine_, path, operation);
    return {answer, ::testing::internal::GetCapturedStderr()};
  }
};

TEST_F(FileInUseTest, TheQuestionNamesTheHolderAndTheAnswersMapToCodes) {
  testing::HeldProgram holder(device_);
  ASSERT_TRUE(holder.Started());
  report::SetLogPath(u"\\log.txt");
  report::Detail(u"logged before the question");
  EXPECT_EQ(Ask(kHolderProgram, PKG_FILE_OPERATION_OVERWRITE),
            std::make_pair(PKG_FILE_IN_USE_ABORT,
                           std::string("message box \"Demo App\" (The file '\\Program Files\\App\\"
                                       "holder.exe' is in use and cannot be overwritten.  Try "
                                       "stopping the '\\Program Files\\App\\holder.exe' process.)"
                                       ": no terminal and no scripted answer; answering Cancel\n")));
  // The user may take any time to answer, or end the run: the log was written first.
  EXPECT_EQ(testing::ReadLog(device_, "log.txt"), u"logged before the question\r\n");
  EXPECT_EQ(Ask(kHolderProgram, PKG_FILE_OPERATION_DELETE).second,
            "message box \"Demo App\" (The file '\\Program Files\\App\\holder.exe' is in use and "
            "cannot be deleted.  Try stopping the '\\Program Files\\App\\holder.exe' process.): "
            "no terminal and no scripted answer; answering Abort\n");
  Answers({"retry", "retry", "ignore", "abort"});
  EXPECT_EQ(Ask(kHolderProgram, PKG_FILE_OPERATION_OVERWRITE).first, PKG_FILE_IN_USE_RETRY);
  EXPECT_EQ(Ask(kHolderProgram, PKG_FILE_OPERATION_DELETE).first, PKG_FILE_IN_USE_RETRY);
  EXPECT_EQ(Ask(kHolderProgram, PKG_FILE_OPERATION_DELETE).first, PKG_FILE_IN_USE_SKIP);
  EXPECT_EQ(Ask(kHolderProgram, PKG_FILE_OPERATION_DELETE).first, PKG_FILE_IN_USE_ABORT);
}

TEST_F(FileInUseTest, AnUnknownHolderGetsTheGeneralHint) {
  EXPECT_EQ(Ask(u"\\Temp\\a.txt", PKG_FILE_OPERATION_OVERWRITE).second,
            "message box \"Demo App\" (The file '\\Temp\\a.txt' is in use and cannot be "
            "overwritten.  Try stopping the process that has loaded this file.): no terminal "
            "and no scripted answer; answering Cancel\n");
  EXPECT_EQ(Ask(u"\\Temp\\a.txt", PKG_FILE_OPERATION_DELETE).second,
            "message box \"Demo App\" (The file '\\Temp\\a.txt' is in use and cannot be "
            "deleted.  Try stopping the process that has loaded this file.): no terminal and "
            "no scripted answer; answering Abort\n");
}

TEST_F(FileInUseTest, ASilentRunClosesTheHolderWithoutAsking) {
  testing::HeldProgram holder(device_);
  ASSERT_TRUE(holder.Started());
  engine_.silent = 1;
  EXPECT_EQ(Ask(kHolderProgram, PKG_FILE_OPERATION_OVERWRITE),
            std::make_pair(PKG_FILE_IN_USE_RETRY_HANDLED, std::string()));
  HANDLE file = CreateFileW(kHolderProgram, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(file, INVALID_HANDLE_VALUE);  // nobody holds it any more
  CloseHandle(file);
}

TEST_F(FileInUseTest, TheCustomLibraryDecidesFirst) {
  device_.Install(testing::LibPath("libskip_in_use_hook.so"), "Temp/hook.dll");
  engine_.custom_library = LoadLibraryW(u"\\Temp\\hook.dll");
  ASSERT_NE(engine_.custom_library, nullptr);
  EXPECT_EQ(Ask(u"\\Temp\\a.txt", PKG_FILE_OPERATION_OVERWRITE),
            std::make_pair(PKG_FILE_IN_USE_SKIP, std::string()));
  engine_.silent = 1;  // the library's answer also wins over closing the holder
  EXPECT_EQ(Ask(u"\\Temp\\a.txt", PKG_FILE_OPERATION_DELETE).first, PKG_FILE_IN_USE_SKIP);
}

// Only a device process is seen holding its libraries, so the installer's side runs in one.
TEST_F(FileInUseTest, ALibraryTheInstallerItselfLoadedIsReleasedAndTheFileWritten) {
  device_.Install(testing::LibPath("libplain.so"), "Windows/plain.dll");
  device_.Install(testing::BinPath("own-module-runner"), "Windows/runner.exe");
  testing::PackageLayout layout;
  layout.entries = {testing::FileEntry("new library", true, u"\\Windows\\plain.dll")};
  testing::WriteHostFile(device_.Host("Temp/app.pkg"), testing::BuildPackage(layout));
  testing::ChildProcess runner({device_.Host("Windows/runner.exe"), "\\Temp\\app.pkg",
                                "\\Windows\\plain.dll", "\\Temp\\runner.log"});
  EXPECT_EQ(runner.ReadLine(), "result 0x0");  // and no longer loaded

  EXPECT_EQ(Content("Windows/plain.dll"), "new library");
  std::u16string log = testing::ReadLog(device_, "Temp/runner.log");
  std::u16string release = u"Forcefully decrementing module refcount for \\Windows\\plain.dll\r\n";
  EXPECT_EQ(log, u"\\Windows\\plain.dll\r\n" +
                     ItemError(UiStringId::kFileInstallError, u"\\Windows\\plain.dll", ERROR_SHARING_VIOLATION) + u"\r\n" +
                     release + release);
}

}  // namespace
}  // namespace stowkit
