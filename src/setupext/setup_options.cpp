#include "setupext/setup_options.h"

#include <vector>

#include "coredll/windows.h"
#include "services/file_services.h"
#include "services/registry_services.h"
#include "text/fold.h"
#include "text/tokenizer.h"
#include "text/version.h"

namespace stowkit {

SetupOptions ParseSetupOptions(std::u16string_view command_line) {
  SetupOptions options;
  std::vector<std::u16string> tokens = SplitTokens(command_line);
  for (size_t i = 0; i < tokens.size(); ++i) {
    std::u16string_view word = tokens[i];
    if (word.empty()) continue;
    if (word.front() == u'/' || word.front() == u'-') word.remove_prefix(1);
    if (EqualsNoCase(word, u"noui") || EqualsNoCase(word, u"silent")) {
      options.silent = true;
    } else if (EqualsNoCase(word, u"delete")) {
      ++i;
      if (i >= tokens.size() || LeadingNumber(tokens[i]) == 0) options.delete_cab = false;
    } else if (EqualsNoCase(word, u"nodelete")) {
      options.delete_cab = false;
    } else if (EqualsNoCase(word, u"nouninstall") || EqualsNoCase(word, u"askdest") ||
               EqualsNoCase(word, u"noaskdest")) {
      // The CAB installer's own concern.
    } else if (FileExists(tokens[i])) {
      options.cab_path = tokens[i];
    }
  }
  return options;
}

SetupOptions ReadSetupOptions() {
  SetupOptions options = ParseSetupOptions(GetCommandLineW());
  std::u16string marker;
  if (GetRegString(HKEY_LOCAL_MACHINE, kProvisionKey, kProvisionValue, marker) && !marker.empty()) {
    options.silent = true;
  }
  return options;
}

}  // namespace stowkit
