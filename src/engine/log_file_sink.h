// The run's log file: UTF-16LE text without a byte-order mark, CR LF line ends, one file per
// run. Lines logged before the file's path is known are held and written, in order, when it
// opens, so the command-line header always comes first.
#pragma once

#include <deque>
#include <string>
#include <string_view>

#include "engine/status_sink.h"

namespace stowkit {

class LogFileSink final : public StatusSink {
 public:
  // A sink built disabled writes and keeps nothing.
  explicit LogFileSink(bool enabled = true) : enabled_(enabled) {}
  // Closes the file; lines still pending are dropped.
  ~LogFileSink();
  LogFileSink(const LogFileSink&) = delete;
  LogFileSink& operator=(const LogFileSink&) = delete;

  // Opens the log at `path` once: the first path that opens wins for the rest of the run, and
  // an empty path does nothing. The folder is created and an earlier file deleted first; one
  // that cannot be deleted (another installer holds it) is appended to. When the open fails
  // lines keep collecting, so a later call may still succeed.
  void SetLogPath(std::u16string_view path);
  // The path of the open log file; empty until one opened.
  const std::u16string& LogPath() const { return path_; }

  // "Begin <mode name> for <package name>".
  void Begin(std::u16string_view package_name, int32_t mode) override;
  void Status(std::u16string_view text) override { WriteLine(text); }
  void Detail(std::u16string_view text) override { WriteLine(text); }
  void Debug(std::u16string_view text) override { WriteLine(text); }
  void Progress(int32_t, int32_t) override {}
  // Another program has run (a custom action, a child installer given this log's path) and
  // may have appended to the file: the next line goes after whatever it wrote.
  void Refresh() override { at_end_ = false; }
  // "Completion status = <status>".
  void Complete(int32_t completion_status) override;
  HWND OwnerWindow() override { return nullptr; }

 private:
  // Adds CR LF; writes at once when the file is open, else holds the line.
  void WriteLine(std::u16string_view text);
  void WriteToFile(std::u16string_view line);

  bool enabled_;
  std::u16string path_;
  std::deque<std::u16string> pending_;
  HANDLE file_ = INVALID_HANDLE_VALUE;
  bool at_end_ = false;  // this process's next write lands at the end of the file
};

}  // namespace stowkit
