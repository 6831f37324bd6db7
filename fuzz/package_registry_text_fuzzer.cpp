// Arbitrary bytes as the gathered ".registry" text of an install or a removal: read by the
// forward and the backward line reader, which must see the same lines, and every value line
// parsed as the registry steps parse it. A parsed line must name one of the three roots and
// carry exactly one install rule and one removal rule.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/package_registry_text.h"
#include "fuzz_support.h"
#include "package/line_reader.h"
#include "services/registry_services.h"
#include "text/utf.h"

namespace {

using namespace stowkit;
using fuzz::Check;

std::string work;

bool OneBitOf(uint16_t flags, uint16_t mask) {
  uint16_t bits = flags & mask;
  return bits != 0 && (bits & (bits - 1)) == 0;
}

void CheckParsed(const RegistryLine& line) {
  Check(line.root == HKEY_LOCAL_MACHINE || line.root == HKEY_CURRENT_USER ||
            line.root == HKEY_CLASSES_ROOT,
        "a parsed line names one of the three roots");
  constexpr uint16_t kInstall =
      kRegWriteAlways | kRegNoOverwrite | kRegOnlyOverwrite | kRegDeleteValue;
  constexpr uint16_t kRemoval = kRegRemoveEmptyKeys | kRegNoRemove | kRegRemoveAlways;
  Check(OneBitOf(line.flags, kInstall) && OneBitOf(line.flags, kRemoval) &&
            (line.flags & ~(kInstall | kRemoval)) == 0,
        "a parsed line has one install rule and one removal rule");
  if (line.is_number) RegistryNumber(line.data);
}

std::vector<std::u16string> ForwardLines(const std::u16string& path) {
  std::vector<std::u16string> lines;
  MappedLineReader reader;
  if (reader.Open(path) != S_OK) return lines;
  std::u16string line;
  while (reader.NextLine(line)) lines.push_back(line);
  return lines;
}

std::vector<std::u16string> BackwardLines(const std::u16string& path) {
  std::vector<std::u16string> lines;
  ReverseMappedLineReader reader;
  if (reader.Open(path) != S_OK) return lines;
  std::u16string line;
  while (reader.PreviousLine(line)) lines.push_back(line);
  std::reverse(lines.begin(), lines.end());
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  work = fuzz::MakeWorkFolder();
  coredll::SetHostMode(true);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string path = work + "/app.registry";
  fuzz::WriteFile(path, fuzz::AsText(data, size));
  std::u16string device_path = Utf8ToUtf16(path);

  std::vector<std::u16string> forward = ForwardLines(device_path);
  std::vector<std::u16string> backward = BackwardLines(device_path);
  // Only the backward reader reports the empty line after a final line break.
  if (size > 0 && data[size - 1] == '\n') {
    Check(!backward.empty() && backward.back().empty(), "a final line break reads as \"\" first");
    backward.pop_back();
  }
  Check(forward == backward, "both readers see the same lines");

  for (const std::u16string& line : forward) {
    RegistryLine parsed;
    if (IsRegistryValueLine(line) && ParseRegistryLine(line, parsed)) CheckParsed(parsed);
  }
  return 0;
}
