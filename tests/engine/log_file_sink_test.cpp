// The log file sink: held lines, blocks, the exact text and encoding, opening once, replacing
// an earlier log, and sharing the file with a child installer.
#include "engine/log_file_sink.h"

#include <gtest/gtest.h>

#include <memory>

#include "support/log_text.h"
#include "support/temp_device.h"

namespace stowkit {
namespace {

using testing::ReadLog;
using testing::TempDevice;

class LogFileSinkTest : public ::testing::Test {
 protected:
  std::u16string Log(const std::string& relative = "log.txt") { return ReadLog(device_, relative); }
  TempDevice device_;
};

TEST_F(LogFileSinkTest, LinesHeldBeforeThePathAreWrittenFirstInOrder) {
  LogFileSink sink;
  sink.Debug(u"header");
  sink.Detail(u"early");
  EXPECT_EQ(sink.LogPath(), u"");
  sink.SetLogPath(u"\\log.txt");
  EXPECT_EQ(sink.LogPath(), u"\\log.txt");
  EXPECT_EQ(Log(), u"header\r\nearly\r\n");
  sink.Detail(u"item");
  EXPECT_EQ(Log(), u"header\r\nearly\r\n") << "held until the block ends";
  sink.Status(u"stage");
  EXPECT_EQ(Log(), u"header\r\nearly\r\nitem\r\nstage\r\n");
  sink.Debug(u"note");
  sink.Flush();
  EXPECT_EQ(Log(), u"header\r\nearly\r\nitem\r\nstage\r\nnote\r\n");
}

// A stage of thousands of items is written as it goes, each block whole, without waiting
// for its end.
TEST_F(LogFileSinkTest, ABlockThatReachesItsBoundIsWrittenWithoutAFlush) {
  LogFileSink sink;
  sink.SetLogPath(u"\\log.txt");
  std::u16string item(98, u'x');  // 200 bytes with CR LF
  size_t lines = (LogFileSink::kBlockBytes - 1) / 200;
  for (size_t i = 0; i < lines; ++i) sink.Detail(item);
  EXPECT_EQ(Log(), u"");
  sink.Detail(item);
  std::u16string expected;
  for (size_t i = 0; i <= lines; ++i) expected += item + u"\r\n";
  EXPECT_EQ(Log(), expected);
  sink.Detail(u"next");
  EXPECT_EQ(Log(), expected);
}

TEST_F(LogFileSinkTest, EveryOperationWritesItsTemplateAsUtf16LeWithoutAMark) {
  LogFileSink sink;
  sink.SetLogPath(u"\\log.txt");
  sink.Begin(u"My App", 1);
  sink.Status(u"Initializing ...");
  sink.Detail(u"");
  sink.Progress(1, 10);
  sink.Refresh();
  sink.Debug(u"caf\u00e9 \u65e5");
  sink.Complete(101);
  EXPECT_EQ(sink.OwnerWindow(), nullptr);
  EXPECT_EQ(Log(),
            u"Begin PKG_MODE_FULL_INSTALL for My App\r\n"
            u"Initializing ...\r\n"
            u"\r\n"
            u"caf\u00e9 \u65e5\r\n"
            u"Completion status = 101\r\n");
  std::string bytes = testing::ReadHostFile(device_.Host("log.txt"));
  EXPECT_EQ(bytes.substr(0, 4), std::string("B\0e\0", 4));
}

TEST_F(LogFileSinkTest, BeginNamesEachModeAndTakesAnyOtherAsAFullInstall) {
  LogFileSink sink;
  sink.SetLogPath(u"\\log.txt");
  for (int32_t mode : {1, 2, 3, 4, 7, 0, -1}) sink.Begin(u"P", mode);
  sink.Flush();
  EXPECT_EQ(Log(),
            u"Begin PKG_MODE_FULL_INSTALL for P\r\n"
            u"Begin PKG_MODE_PATCH_INSTALL for P\r\n"
            u"Begin PKG_MODE_FULL_REMOVE for P\r\n"
            u"Begin PKG_MODE_MINOR_REMOVE for P\r\n"
            u"Begin PKG_MODE_FULL_INSTALL for P\r\n"
            u"Begin PKG_MODE_FULL_INSTALL for P\r\n"
            u"Begin PKG_MODE_FULL_INSTALL for P\r\n");
}

TEST_F(LogFileSinkTest, TheFirstPathThatOpensWinsAndAnEmptyPathDoesNothing) {
  LogFileSink sink;
  sink.SetLogPath(u"");
  EXPECT_EQ(sink.LogPath(), u"");
  sink.SetLogPath(u"\\log.txt");
  sink.SetLogPath(u"\\other.txt");
  sink.Detail(u"line");
  sink.Flush();
  EXPECT_EQ(sink.LogPath(), u"\\log.txt");
  EXPECT_EQ(Log(), u"line\r\n");
  EXPECT_EQ(GetFileAttributesW(u"\\other.txt"), INVALID_FILE_ATTRIBUTES);
}

TEST_F(LogFileSinkTest, TheFolderIsCreated) {
  LogFileSink sink;
  sink.SetLogPath(u"\\Logs\\Deep\\log.txt");
  sink.Detail(u"x");
  sink.Flush();
  EXPECT_EQ(Log("Logs/Deep/log.txt"), u"x\r\n");
}

TEST_F(LogFileSinkTest, AnEarlierLogIsReplacedEvenWhenReadOnly) {
  testing::WriteHostFile(device_.Host("log.txt"), std::string("o\0l\0d\0", 6));
  ASSERT_TRUE(SetFileAttributesW(u"\\log.txt", FILE_ATTRIBUTE_READONLY));
  LogFileSink sink;
  sink.SetLogPath(u"\\log.txt");
  sink.Detail(u"new");
  sink.Flush();
  EXPECT_EQ(Log(), u"new\r\n");
}

TEST_F(LogFileSinkTest, AFailedOpenKeepsCollectingForALaterPath) {
  ASSERT_TRUE(coredll::SetFaults("open@\\log.txt#1=5", nullptr));
  LogFileSink sink;
  sink.Detail(u"kept");
  sink.SetLogPath(u"\\log.txt");
  EXPECT_EQ(sink.LogPath(), u"");
  sink.Detail(u"still kept");
  sink.SetLogPath(u"\\log.txt");
  EXPECT_EQ(sink.LogPath(), u"\\log.txt");
  EXPECT_EQ(Log(), u"kept\r\nstill kept\r\n");
}

TEST_F(LogFileSinkTest, WriteErrorsAreIgnoredAndLaterLinesStillArrive) {
  LogFileSink sink;
  sink.SetLogPath(u"\\log.txt");
  sink.Detail(u"one");
  sink.Flush();
  ASSERT_TRUE(coredll::SetFaults("write=112", nullptr));
  sink.Detail(u"lost");
  sink.Flush();
  ASSERT_TRUE(coredll::SetFaults("", nullptr));
  sink.Detail(u"two");
  sink.Flush();
  EXPECT_EQ(Log(), u"one\r\ntwo\r\n");
}

TEST_F(LogFileSinkTest, ADisabledSinkWritesNothing) {
  LogFileSink sink(false);
  sink.Debug(u"header");
  sink.SetLogPath(u"\\log.txt");
  sink.Begin(u"P", 1);
  sink.Complete(0);
  EXPECT_EQ(Log(), u"");
}

// A child installer is given the parent's log path while the parent holds the file open:
// the parent flushes before it starts the child (as the engine does before every other
// program), the child cannot delete the file, appends, and once the parent is refreshed
// after the child's run its later lines come after the child's.
TEST_F(LogFileSinkTest, AParentAndAChildShareOneLogWithoutLosingLines) {
  LogFileSink parent;
  parent.SetLogPath(u"\\log.txt");
  parent.Detail(u"parent 1");
  parent.Flush();
  {
    LogFileSink child;
    child.Debug(u"child header");
    child.SetLogPath(u"\\log.txt");
    EXPECT_EQ(child.LogPath(), u"\\log.txt");
    child.Detail(u"child 1");
  }
  parent.Refresh();
  parent.Detail(u"parent 2");
  parent.Flush();
  EXPECT_EQ(Log(), u"parent 1\r\nchild header\r\nchild 1\r\nparent 2\r\n");
}

TEST_F(LogFileSinkTest, DestructionWritesTheHeldLinesAndClosesTheFile) {
  auto sink = std::make_unique<LogFileSink>();
  sink->SetLogPath(u"\\log.txt");
  sink->Detail(u"x");
  sink.reset();
  EXPECT_EQ(Log(), u"x\r\n");
  EXPECT_TRUE(DeleteFileW(u"\\log.txt"));
}

}  // namespace
}  // namespace stowkit
