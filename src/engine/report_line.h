// One kind of report line (Debug or Detail) as the selection and the version check send it.
// The engine connects each to the StatusReporter's operation of the same name; taking it as
// a value keeps these units free of the reporter's process-wide state.
#pragma once

#include <functional>
#include <string_view>

namespace stowkit {

using ReportLine = std::function<void(std::u16string_view text)>;

}  // namespace stowkit
