#include "engine/package_registry_text.h"

#include <array>
#include <vector>

#include "services/registry_services.h"
#include "text/fold.h"
#include "text/trim.h"
#include "text/version.h"

namespace stowkit {
namespace {

constexpr size_t kFieldCount = 7;

template <typename T>
struct Keyword {
  std::u16string_view text;
  T value;
};

const std::array<Keyword<HKEY>, 3> kRoots = {{
    {u"HKLM", HKEY_LOCAL_MACHINE},
    {u"HKCU", HKEY_CURRENT_USER},
    {u"HKCR", HKEY_CLASSES_ROOT},
}};

// An empty rule is the default one, so "" is listed like any keyword.
constexpr std::array<Keyword<uint16_t>, 5> kInstallRules = {{
    {u"", kRegWriteAlways},
    {u"Default", kRegWriteAlways},
    {u"NoOverwrite", kRegNoOverwrite},
    {u"OnlyOverwrite", kRegOnlyOverwrite},
    {u"Delete", kRegDeleteValue},
}};

constexpr std::array<Keyword<uint16_t>, 4> kRemovalRules = {{
    {u"", kRegRemoveEmptyKeys},
    {u"Default", kRegRemoveEmptyKeys},
    {u"NoRemove", kRegNoRemove},
    {u"RemoveAlways", kRegRemoveAlways},
}};

template <typename T, size_t N>
bool Lookup(const std::array<Keyword<T>, N>& table, std::u16string_view text, T& value) {
  for (const Keyword<T>& keyword : table) {
    if (EqualsNoCase(keyword.text, text)) {
      value = keyword.value;
      return true;
    }
  }
  return false;
}

// Splits at the commas outside quotes, drops the quotes and trims every field.
std::vector<std::u16string> SplitFields(std::u16string_view line) {
  std::vector<std::u16string> fields(1);
  bool quoted = false;
  for (char16_t c : line) {
    if (c == u'"') {
      quoted = !quoted;
    } else if (c == u',' && !quoted) {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  for (std::u16string& field : fields) field = std::u16string(TrimBlanks(field));
  return fields;
}

// Type 0 is text and type 1 a number; only the low byte counts, so 257 is a number too.
bool ParseType(std::u16string_view text, bool& is_number) {
  uint32_t type = LeadingNumber(text) & 0xFF;
  is_number = type == 1;
  return type <= 1;
}

}  // namespace

bool IsRegistryValueLine(std::u16string_view line) {
  line = TrimBlanks(line);
  return !line.empty() && line.front() != u'/';
}

bool ParseRegistryLine(std::u16string_view line, RegistryLine& parsed) {
  std::vector<std::u16string> fields = SplitFields(line);
  if (fields.size() != kFieldCount) return false;
  HKEY root = nullptr;
  uint16_t install = 0, removal = 0;
  if (!Lookup(kRoots, fields[0], root) || fields[1].empty() ||
      !ParseType(fields[2], parsed.is_number) || !Lookup(kInstallRules, fields[5], install) ||
      !Lookup(kRemovalRules, fields[6], removal)) {
    return false;
  }
  parsed.root = root;
  parsed.key = std::move(fields[1]);
  parsed.name = std::move(fields[3]);
  parsed.data = std::move(fields[4]);
  parsed.flags = install | removal;
  return true;
}

uint32_t RegistryNumber(std::u16string_view data) { return LeadingNumber(TrimBlanks(data)); }

}  // namespace stowkit
