#include "engine/status_reporter.h"

#include <memory>
#include <string>

#include "resources/ui_strings.h"

namespace stowkit {
namespace {

std::unique_ptr<StatusReporter>& Instance() {
  static std::unique_ptr<StatusReporter> reporter;
  return reporter;
}

// Calls `operation` on the log sink, then on the second sink when there is one.
template <typename Operation>
void FanOut(Operation operation) {
  StatusReporter* reporter = GetStatusReporter();
  if (!reporter) return;
  operation(static_cast<StatusSink&>(reporter->LogSink()));
  if (StatusSink* second = reporter->SecondSink()) operation(*second);
}

}  // namespace

void CreateStatusReporter() {
  if (!Instance()) Instance() = std::make_unique<StatusReporter>();
}

void DestroyStatusReporter() { Instance().reset(); }

StatusReporter* GetStatusReporter() { return Instance().get(); }

namespace report {

void SetLogPath(std::u16string_view path) {
  if (StatusReporter* reporter = GetStatusReporter()) reporter->LogSink().SetLogPath(path);
}

void AttachSecondSink(StatusSink* sink) {
  if (StatusReporter* reporter = GetStatusReporter()) reporter->AttachSecondSink(sink);
}

void Begin(std::u16string_view package_name, int32_t mode) {
  FanOut([&](StatusSink& sink) { sink.Begin(package_name, mode); });
}

void Status(UiStringId id) {
  std::u16string text = LoadUiString(id);
  FanOut([&](StatusSink& sink) { sink.Status(text); });
}

void Detail(std::u16string_view text) {
  FanOut([&](StatusSink& sink) { sink.Detail(text); });
}

void Debug(std::u16string_view text) {
  FanOut([&](StatusSink& sink) { sink.Debug(text); });
}

void Progress(int32_t position, int32_t range) {
  FanOut([&](StatusSink& sink) { sink.Progress(position, range); });
}

void Refresh() {
  FanOut([](StatusSink& sink) { sink.Refresh(); });
}

void Complete(int32_t completion_status) {
  FanOut([&](StatusSink& sink) { sink.Complete(completion_status); });
}

void Flush() {
  if (StatusReporter* reporter = GetStatusReporter()) reporter->LogSink().Flush();
}

HWND OwnerWindow() {
  StatusReporter* reporter = GetStatusReporter();
  StatusSink* second = reporter ? reporter->SecondSink() : nullptr;
  return second ? second->OwnerWindow() : nullptr;
}

}  // namespace report
}  // namespace stowkit
