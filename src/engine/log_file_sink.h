// The run's log file: UTF-16LE text without a byte-order mark, CR LF line ends, one file per
// run. Lines logged before the file's path is known are held and written, in order, when it
// opens, so the command-line header always comes first.
//
// Lines are written in blocks, one write for many lines: a block ends when it reaches
// kBlockBytes, when a new stage begins (Status, whose own line ends it), at Complete, at
// Flush and when the sink is destroyed. A run killed between those points loses the lines
// of the block it was building, never lines of an earlier stage.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "engine/status_sink.h"

namespace stowkit {

class LogFileSink final : public StatusSink {
 public:
  // A block this large is written without waiting for the next flush point: a stage of
  // thousands of items would otherwise hold megabytes.
  static constexpr size_t kBlockBytes = 64 * 1024;

  // A sink built disabled writes and keeps nothing.
  explicit LogFileSink(bool enabled = true) : enabled_(enabled) {}
  // Writes the block it holds and closes the file; lines held while no file ever opened are
  // dropped.
  ~LogFileSink();
  LogFileSink(const LogFileSink&) = delete;
  LogFileSink& operator=(const LogFileSink&) = delete;

  // Opens the log at `path` once: the first path that opens wins for the rest of the run, and
  // an empty path does nothing. The folder is created and an earlier file deleted first; one
  // that cannot be deleted (another installer holds it) is appended to. The lines held so far
  // are written at once. When the open fails lines keep collecting, so a later call may
  // still succeed.
  void SetLogPath(std::u16string_view path);
  // The path of the open log file; empty until one opened.
  const std::u16string& LogPath() const { return path_; }
  // Writes the lines held since the last block, in one write, when the file is open. Called
  // before anything that waits or lets another program or the user act, so that what the run
  // did so far is on disk while it is stopped, and a program given this log's path appends
  // after it.
  void Flush();

  // "Begin <mode name> for <package name>".
  void Begin(std::u16string_view package_name, int32_t mode) override;
  // A new stage: its line ends the block and is written with it.
  void Status(std::u16string_view text) override;
  void Detail(std::u16string_view text) override { WriteLine(text); }
  void Debug(std::u16string_view text) override { WriteLine(text); }
  void Progress(int32_t, int32_t) override {}
  // Another program has run (a custom action, a child installer given this log's path) and
  // may have appended to the file: the next block goes after whatever it wrote.
  void Refresh() override { at_end_ = false; }
  // "Completion status = <status>", written at once with the block before it.
  void Complete(int32_t completion_status) override;
  HWND OwnerWindow() override { return nullptr; }

 private:
  // Adds CR LF to the block; writes the block when it has reached kBlockBytes.
  void WriteLine(std::u16string_view text);

  bool enabled_;
  std::u16string path_;
  std::string block_;  // the held lines, as the file's bytes
  HANDLE file_ = INVALID_HANDLE_VALUE;
  bool at_end_ = false;  // this process's next write lands at the end of the file
};

}  // namespace stowkit
