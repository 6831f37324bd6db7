// Share modes hold between handles of one process and between device processes, and die
// with the process that held them.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "coredll/windows.h"
#include "support/child_process.h"
#include "support/temp_device.h"

namespace stowkit {
namespace {

using testing::BinPath;
using testing::ChildProcess;
using testing::TempDevice;

constexpr DWORD kRead = GENERIC_READ;
constexpr DWORD kWrite = GENERIC_WRITE;
constexpr DWORD kRW = GENERIC_READ | GENERIC_WRITE;
constexpr DWORD kShareR = FILE_SHARE_READ;
constexpr DWORD kShareW = FILE_SHARE_WRITE;
constexpr DWORD kShareRW = FILE_SHARE_READ | FILE_SHARE_WRITE;

HANDLE Open(const char16_t* path, DWORD access, DWORD share) {
  return CreateFileW(path, access, share, nullptr, OPEN_ALWAYS, 0, nullptr);
}

class ShareTest : public ::testing::Test {
 protected:
  TempDevice device_;
};

struct ShareCase {
  DWORD first_access, first_share, second_access, second_share;
  bool second_opens;
};

TEST_F(ShareTest, ConflictsWithinOneProcess) {
  const ShareCase cases[] = {
      {kRead, kShareR, kRead, kShareR, true},
      {kRead, kShareR, kWrite, kShareRW, false},   // first refuses to share writing
      {kRead, kShareRW, kWrite, kShareRW, true},
      {kWrite, kShareRW, kRead, kShareR, false},   // second refuses to share the first's write
      {kRW, 0, kRead, kShareRW, false},            // exclusive
      {kRW, 0, 0, kShareRW, true},                 // no access at all never conflicts
      {kRead, kShareRW, kRW, kShareRW, true},
      {kWrite, kShareW, kWrite, kShareW, true},
      {kWrite, kShareW, kRead, kShareRW, false},
  };
  for (const ShareCase& c : cases) {
    HANDLE first = Open(u"\\Temp\\shared.dat", c.first_access, c.first_share);
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    HANDLE second = Open(u"\\Temp\\shared.dat", c.second_access, c.second_share);
    if (c.second_opens) {
      EXPECT_NE(second, INVALID_HANDLE_VALUE);
      CloseHandle(second);
    } else {
      EXPECT_EQ(second, INVALID_HANDLE_VALUE);
      EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
    }
    CloseHandle(first);
    // Once the first handle is closed, anything opens again.
    HANDLE again = Open(u"\\Temp\\shared.dat", kRW, 0);
    EXPECT_NE(again, INVALID_HANDLE_VALUE);
    CloseHandle(again);
  }
}

// A file the first open creates is marked before it has a name: the same conflicts hold.
TEST_F(ShareTest, ANewFileIsSharedAsItsCreatorAsked) {
  const ShareCase cases[] = {
      {kRW, 0, kRead, kShareRW, false},
      {kRead, kShareR, kWrite, kShareRW, false},
      {kWrite, kShareRW, kRead, kShareR, false},
      {kRead, kShareRW, kRW, kShareRW, true},
  };
  for (const ShareCase& c : cases) {
    HANDLE first = CreateFileW(u"\\Temp\\new.dat", c.first_access, c.first_share, nullptr,
                               CREATE_NEW, 0, nullptr);
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    HANDLE second = Open(u"\\Temp\\new.dat", c.second_access, c.second_share);
    EXPECT_EQ(second != INVALID_HANDLE_VALUE, c.second_opens);
    if (second != INVALID_HANDLE_VALUE) CloseHandle(second);
    EXPECT_FALSE(DeleteFileW(u"\\Temp\\new.dat")) << "an open file is not deleted";
    CloseHandle(first);
    EXPECT_TRUE(DeleteFileW(u"\\Temp\\new.dat"));
  }
}

TEST_F(ShareTest, RefusedCreateAlwaysLeavesTheContentAlone) {
  HANDLE first = Open(u"\\Temp\\keep.txt", kRW, kShareR);
  ASSERT_TRUE(WriteFile(first, "precious", 8, nullptr, nullptr));
  HANDLE second = CreateFileW(u"\\Temp\\KEEP.TXT", kWrite, kShareRW, nullptr, CREATE_ALWAYS, 0, nullptr);
  EXPECT_EQ(second, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
  CloseHandle(first);
  EXPECT_EQ(testing::ReadHostFile(device_.Host("Temp/keep.txt")), "precious");
}

TEST_F(ShareTest, AnOpenFileCannotBeDeletedOrMoved) {
  HANDLE file = Open(u"\\Temp\\busy.txt", kRead, kShareRW);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(DeleteFileW(u"\\Temp\\busy.txt"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
  EXPECT_FALSE(MoveFileW(u"\\Temp\\busy.txt", u"\\Temp\\moved.txt"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
  CloseHandle(file);
  EXPECT_TRUE(DeleteFileW(u"\\Temp\\busy.txt"));
}

// A delete takes the file from under an open that comes at the same moment, or comes too
// late to: the open then succeeds or finds no file, and is never refused for sharing.
TEST_F(ShareTest, AnOpenMeetingADeleteWaitsForIt) {
  std::atomic<bool> done{false};
  std::atomic<int> refused{0}, opened{0};
  std::thread opener([&] {
    while (!done.load()) {
      HANDLE file = CreateFileW(u"\\Temp\\race.txt", kRead, kShareRW, nullptr, OPEN_EXISTING, 0, nullptr);
      if (file != INVALID_HANDLE_VALUE) {
        ++opened;
        CloseHandle(file);
      } else if (GetLastError() != ERROR_FILE_NOT_FOUND) {
        ++refused;
      }
    }
  });
  int deleted = 0;
  for (int i = 0; i < 3000; ++i) {
    HANDLE file = Open(u"\\Temp\\race.txt", kWrite, kShareRW);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    // Refused only while the opener has it open, which a retry outlasts.
    while (!DeleteFileW(u"\\Temp\\race.txt")) ASSERT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
    ++deleted;
  }
  done = true;
  opener.join();
  EXPECT_EQ(deleted, 3000);
  EXPECT_GT(opened.load(), 0);
  EXPECT_EQ(refused.load(), 0);
}

TEST_F(ShareTest, ConflictsAcrossProcessesAndLocksDieWithTheirProcess) {
  ChildProcess holder({BinPath("share-holder"), device_.folder(), "\\Temp\\held.txt", "rw", "r"});
  ASSERT_EQ(holder.ReadLine(), "open");

  HANDLE reader = Open(u"\\Temp\\held.txt", kRead, kShareRW);
  EXPECT_NE(reader, INVALID_HANDLE_VALUE);  // the holder shares reading
  CloseHandle(reader);
  EXPECT_EQ(Open(u"\\temp\\HELD.txt", kWrite, kShareRW), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
  EXPECT_FALSE(DeleteFileW(u"\\Temp\\held.txt"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));

  // A second process that wants to write is refused too, with the same error.
  ChildProcess writer({BinPath("share-holder"), device_.folder(), "\\Temp\\held.txt", "w", "rw"});
  EXPECT_EQ(writer.ReadLine(), "error 32");

  holder.Kill();  // a crash releases everything it held
  HANDLE after = Open(u"\\Temp\\held.txt", kRW, 0);
  EXPECT_NE(after, INVALID_HANDLE_VALUE);
  CloseHandle(after);
  EXPECT_TRUE(DeleteFileW(u"\\Temp\\held.txt"));
}

TEST_F(ShareTest, OurOpenBlocksAnotherProcess) {
  HANDLE mine = Open(u"\\Temp\\mine.txt", kRW, 0);
  ASSERT_NE(mine, INVALID_HANDLE_VALUE);
  ChildProcess other({BinPath("share-holder"), device_.folder(), "\\Temp\\mine.txt", "r", "rw"});
  EXPECT_EQ(other.ReadLine(), "error 32");
  CloseHandle(mine);
}

}  // namespace
}  // namespace stowkit
