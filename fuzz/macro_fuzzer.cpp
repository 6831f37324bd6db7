// Hostile macro definitions: the input's lines up to the first empty one define macros as
// "NAME=VALUE" (as a package's MacroDefs entry and /D switches do), every later line is a
// text to expand. Definitions may refer to each other in cycles, chains and doublings;
// expansion must end, stay within its length cap, and leave text without references alone.
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/macro_table.h"
#include "fuzz_support.h"
#include "text/utf.h"

namespace {

using namespace stowkit;
using fuzz::Check;

// The expansion cap of the macro table plus what may be appended once the cap is reached:
// the rest of each value being expanded (at most 64 deep) and of the text itself.
size_t LengthBound(size_t input_size) { return 65536 + 66 * input_size; }

void Expand(const MacroTable& table, std::u16string_view text, size_t input_size) {
  std::u16string out;
  StringList unresolved;
  bool resolved = table.Expand(text, out, unresolved);
  Check(resolved == unresolved.empty(), "resolved exactly when nothing is unresolved");
  Check(out.size() <= LengthBound(input_size), "expansion stays within its cap");
  if (text.find(u'$') == std::u16string_view::npos) {
    Check(resolved && out == text, "a text without references is kept as it is");
  }
  std::u16string copy(text), error;
  HRESULT hr = ExpandMacros(table, copy, error);
  Check(copy == out && (hr == S_OK) == resolved, "ExpandMacros agrees with Expand");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::u16string input = Utf8ToUtf16(fuzz::AsText(data, size));
  MacroTable table;
  bool defining = true;
  for (size_t start = 0; start <= input.size();) {
    size_t end = input.find(u'\n', start);
    if (end == std::u16string::npos) end = input.size();
    std::u16string_view line = std::u16string_view(input).substr(start, end - start);
    start = end + 1;
    if (defining && line.empty()) {
      defining = false;
    } else if (defining) {
      size_t equals = line.find(u'=');
      table.SetMacro(line.substr(0, equals),
                     equals == std::u16string_view::npos ? u"" : line.substr(equals + 1));
    } else {
      Expand(table, line, input.size());
    }
  }
  // The dumps carry every definition, whatever it holds.
  Check(table.DumpMacros().size() == size_t(table.Count()), "one dump line per definition");
  table.LogDump();
  return 0;
}
