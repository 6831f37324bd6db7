// Arbitrary text as the command line of the platform's CAB installer, read both as the setup
// extension reads it from its host process and as the CAB installer stand-in reads its own
// arguments. The only CAB path the extension takes is a token that names a file it finds.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "coredll/windows.h"
#include "fuzz_support.h"
#include "services/file_services.h"
#include "setupext/setup_options.h"
#include "text/tokenizer.h"
#include "text/utf.h"
#include "wceload_options.h"

namespace {

using namespace stowkit;
using fuzz::Check;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::string device = fuzz::MakeDevice();
  fuzz::WriteFile(device + "/fs/Temp/app.cab", "MSCF");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::u16string line = Utf8ToUtf16(fuzz::AsText(data, size));
  SetupOptions options = ParseSetupOptions(line);
  std::vector<std::u16string> tokens = SplitTokens(line);
  // A search finds it (a wildcard token may match the CAB beside it: the later delete of
  // such a path fails harmlessly).
  Check(options.cab_path.empty() ||
            (std::find(tokens.begin(), tokens.end(), options.cab_path) != tokens.end() &&
             FileExists(options.cab_path)),
        "the CAB path is a token that names a file found on the device");

  cab::WceloadOptions installer;
  std::u16string reason;
  if (!cab::ParseWceloadOptions(tokens, installer, reason)) {
    Check(!reason.empty(), "a refusal says why");
  } else {
    Check(!installer.cab.empty(), "an accepted command line names its CAB");
  }
  return 0;
}
