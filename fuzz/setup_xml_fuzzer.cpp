// Arbitrary bytes as the "_setup.xml" of a CAB, read as the CAB installer stand-in reads it.
// A document that reads must write back into a text that reads again into the same
// document, and every folder it names must expand.
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "setup_document.h"

namespace {

using namespace stowkit;
using namespace stowkit::cab;
using fuzz::Check;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SetupDocument document;
  std::string reason;
  if (!ParseSetupDocument(fuzz::AsText(data, size), document, reason)) {
    Check(!reason.empty(), "a refusal says why");
    return 0;
  }
  for (const FileOperation& file : document.files) ExpandFolder(file.folder, document.install_dir);

  std::string written = WriteSetupDocument(document);
  SetupDocument again;
  Check(ParseSetupDocument(written, again, reason), "a written document reads");
  Check(again.app_name == document.app_name && again.install_dir == document.install_dir &&
            again.files.size() == document.files.size(),
        "a written document keeps the application, its folder and every file");
  Check(WriteSetupDocument(again) == written, "a written document writes the same again");
  return 0;
}
