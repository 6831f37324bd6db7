// Arbitrary bytes as a registry file for `stowkit-device reg import`: decoded (UTF-16 either
// way round or UTF-8) and parsed into changes. Every value that was read must survive the
// trip back: the key line and value line that `reg export` writes for it parse into the very
// same name, type and bytes.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "regedit_text.h"

namespace {

using namespace stowkit;
using namespace stowkit::device_tool;
using fuzz::Check;

void CheckExported(const RegistryChange& change) {
  std::u16string path = change.root + (change.subkey.empty() ? u"" : u"\\" + change.subkey);
  std::string key, value;
  if (!KeyLine(path, key) || !ValueLine(change.value, value)) return;
  std::string file = std::string(kRegistryFileHeader) + key + value;
  std::u16string text;
  std::string reason;
  Check(DecodeRegistryFile(file, text, reason), "an exported file decodes");
  std::vector<RegistryChange> again;
  size_t line = 0;
  Check(ParseRegistryText(text, again, line, reason), "an exported value parses");
  Check(again.size() == 2 && again[1].kind == RegistryChange::kSetValue,
        "an exported value gives its key and itself");
  const RegistryChange& back = again[1];
  Check(back.root == change.root && back.subkey == change.subkey &&
            back.value.name == change.value.name && back.value.type == change.value.type &&
            back.value.data == change.value.data,
        "an exported value keeps its key, name, type and bytes");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::u16string text;
  std::string reason;
  if (!DecodeRegistryFile(fuzz::AsText(data, size), text, reason)) return 0;
  std::vector<RegistryChange> changes;
  size_t line = 0;
  if (!ParseRegistryText(text, changes, line, reason)) {
    Check(!reason.empty() && line >= 1, "a refusal says where and why");
    return 0;
  }
  for (const RegistryChange& change : changes) {
    if (change.kind == RegistryChange::kSetValue) CheckExported(change);
  }
  return 0;
}
