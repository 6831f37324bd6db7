#include "wceload_options.h"

#include "text/fold.h"
#include "text/version.h"

namespace stowkit::cab {
namespace {

bool IsSwitch(const std::u16string& token) { return token[0] == u'/' || token[0] == u'-'; }

bool IsNumber(const std::u16string& token) {
  return token.find_first_not_of(u"0123456789") == token.npos;
}

}  // namespace

bool ParseWceloadOptions(const std::vector<std::u16string>& arguments, WceloadOptions& options,
                         std::u16string& reason) {
  options = {};
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::u16string& token = arguments[i];
    if (!IsSwitch(token)) {
      if (!options.cab.empty()) {
        reason = u"more than one CAB: '" + options.cab + u"' and '" + token + u"'";
        return false;
      }
      options.cab = token;
      continue;
    }
    std::u16string_view name = std::u16string_view(token).substr(1);
    if (EqualsNoCase(name, u"noui") || EqualsNoCase(name, u"silent")) {
      options.silent = true;
    } else if (EqualsNoCase(name, u"delete")) {
      if (i + 1 >= arguments.size() || !IsNumber(arguments[i + 1])) {
        reason = u"/delete needs a number: 0 keeps the CAB, 1 deletes it";
        return false;
      }
      options.delete_cab = LeadingNumber(arguments[++i]) != 0;
    } else if (EqualsNoCase(name, u"nodelete")) {
      options.delete_cab = false;
    } else if (EqualsNoCase(name, u"nouninstall")) {
      options.uninstallable = false;
    } else if (!EqualsNoCase(name, u"askdest") && !EqualsNoCase(name, u"noaskdest")) {
      reason = u"unknown switch '" + token + u"'";
      return false;
    }
  }
  if (options.cab.empty()) reason = u"no CAB file given";
  return !options.cab.empty();
}

}  // namespace stowkit::cab
