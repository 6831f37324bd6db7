// Arbitrary text as the installer's command line, parsed on a throwaway device as the
// entry point parses it: the tokens, the job with its mode, log file, language, owner
// window and /D definitions, and the log file that /v opens at once.
#include <cstdint>
#include <string>
#include <vector>

#include "coredll/windows.h"
#include "engine/install_job.h"
#include "engine/status_reporter.h"
#include "fuzz_support.h"
#include "resources/ui_strings.h"
#include "shell/command_line_parser.h"
#include "text/tokenizer.h"
#include "text/utf.h"

namespace {

using namespace stowkit;
using fuzz::Check;

void CheckTokens(std::u16string_view text) {
  std::vector<std::u16string> tokens = SplitTokens(text);
  size_t from = 0, count = 0;
  std::u16string token;
  while (from != kEndOfInput) {
    size_t next = NextToken(text, from, token);
    Check(next == kEndOfInput || next > from, "every token moves forwards");
    if (token.empty()) {
      Check(next == kEndOfInput, "only the end gives an empty token");
      // A lone quote at the end is an empty token of its own; blanks alone are none.
      if (text.find_first_not_of(u" \t", from) != std::u16string_view::npos) {
        Check(count < tokens.size() && tokens[count].empty(),
              "a lone quote at the end is an empty token");
        ++count;
      }
      break;
    }
    Check(count < tokens.size() && tokens[count] == token, "SplitTokens gives the same tokens");
    ++count;
    from = next;
  }
  Check(count == tokens.size(), "SplitTokens gives no more tokens");
}

void CheckJob(HRESULT hr) {
  const InstallJob* job = GetInstallJob();
  Check(job != nullptr, "the job exists after a parse");
  if (hr != S_OK || job->wait_process_id != 0) return;
  Check(job->mode == 1 || job->mode == 3 || job->mode == 4, "a valid line sets mode 1, 3 or 4");
  Check(job->language >= 0 && job->language <= 5, "the language is one of six");
  Check(job->silent <= 1, "silent is a flag");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::MakeDevice();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::u16string line = Utf8ToUtf16(fuzz::AsText(data, size));
  CheckTokens(line);
  CreateStatusReporter();
  HRESULT hr = ParseCommandLine(line);
  Check(hr == S_OK || hr == HRESULT(0x80070057), "the parse succeeds or refuses the line");
  CheckJob(hr);
  // The log file that /v opened goes with the reporter; the device keeps no trace of it.
  std::u16string log_path = GetInstallJob()->log_path;
  DestroyInstallJob();
  DestroyStatusReporter();
  if (!log_path.empty()) DeleteFileW(log_path.c_str());
  return 0;
}
