// The one channel for everything a run reports. Each report goes to the log file, then to
// the second sink (the progress dialog) while one is attached.
//
// The process-wide reporter is created at start-up, before the command line is parsed, and
// destroyed at the end of a normal run, which writes what the log still holds and closes
// it. Only the main thread calls it; nothing is locked. The report functions do nothing
// while no reporter exists.
#pragma once

#include <cstdint>
#include <string_view>

#include "engine/log_file_sink.h"
#include "engine/status_sink.h"
#include "resources/string_ids.h"

namespace stowkit {

class StatusReporter {
 public:
  LogFileSink& LogSink() { return log_sink_; }
  StatusSink* SecondSink() const { return second_sink_; }
  // Not owned; null detaches. The progress dialog attaches itself while it exists.
  void AttachSecondSink(StatusSink* sink) { second_sink_ = sink; }

 private:
  LogFileSink log_sink_;
  StatusSink* second_sink_ = nullptr;
};

// Creates the reporter and its log sink; a second call keeps the first.
void CreateStatusReporter();
// Writes the held log lines, closes the log file and destroys the reporter (never the second
// sink).
void DestroyStatusReporter();
// The reporter, or null before it is created.
StatusReporter* GetStatusReporter();

namespace report {

// Opens the log file (LogFileSink::SetLogPath).
void SetLogPath(std::u16string_view path);
void AttachSecondSink(StatusSink* sink);

void Begin(std::u16string_view package_name, int32_t mode);
// The stage text is UI string `id` in the UI language.
void Status(UiStringId id);
void Detail(std::u16string_view text);
void Debug(std::u16string_view text);
void Progress(int32_t position, int32_t range);
void Refresh();
void Complete(int32_t completion_status);
// Writes the log lines held so far (LogFileSink::Flush); the second sink shows each report
// as it comes and holds nothing. Called before anything that waits or lets another program
// or the user act: a message box, a pause before a retry, a started program, a call into a
// package's own library. Not a sink operation: the sinks' eight slots keep their order.
void Flush();
// Asks the second sink only: the log file owns no window, and a silent run has none.
HWND OwnerWindow();

}  // namespace report
}  // namespace stowkit
