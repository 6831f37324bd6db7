// The process-wide status reporter for one test, with a second sink that keeps the Debug
// and Detail lines and offers a made-up owner window.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/status_reporter.h"

namespace stowkit::testing {

using Lines = std::vector<std::u16string>;

class ReportCapture final : public StatusSink {
 public:
  ReportCapture() {
    CreateStatusReporter();
    report::AttachSecondSink(this);
  }
  ~ReportCapture() { DestroyStatusReporter(); }
  ReportCapture(const ReportCapture&) = delete;
  ReportCapture& operator=(const ReportCapture&) = delete;

  void Begin(std::u16string_view, int32_t) override {}
  void Status(std::u16string_view) override {}
  void Detail(std::u16string_view text) override { detail.emplace_back(text); }
  void Debug(std::u16string_view text) override { debug.emplace_back(text); }
  void Progress(int32_t, int32_t) override {}
  void Refresh() override {}
  void Complete(int32_t) override {}
  HWND OwnerWindow() override { return owner; }

  Lines debug, detail;
  HWND owner = reinterpret_cast<HWND>(uintptr_t{0x5150});
};

}  // namespace stowkit::testing
