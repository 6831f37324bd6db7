#include "product_commands.h"

#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "coredll/windows.h"
#include "device_commands.h"
#include "json_writer.h"
#include "services/product_state.h"
#include "services/registry_services.h"
#include "text/utf.h"
#include "text/version.h"

namespace stowkit::device_tool {
namespace {

using Text = std::optional<std::string>;

struct Field {
  const char* label;     // in the text listing
  const char* json_key;
  Text value;
};

struct Product {
  std::string name;
  std::optional<uint32_t> status;
  std::vector<Field> fields;  // the other values, in the order they are shown
};

std::string StatusText(uint32_t status) {
  switch (status) {
    case kStatusInstalled: return "installed";
    case kStatusFullInstalling: return "full install under way";
    case kStatusPatchInstalling: return "patch install under way";
    case kStatusFullInstallFailed: return "full install failed";
    case kStatusPatchInstallFailed: return "patch install failed";
    case kStatusFullRemoveFailed: return "full removal failed";
    case kStatusMinorRemoveFailed: return "minor removal failed";
    default: return "unknown status";
  }
}

Text ReadText(std::u16string_view product, std::u16string_view name) {
  std::u16string text;
  if (!GetStateString(product, name, text)) return std::nullopt;
  return Utf16ToUtf8(text);
}

Product ReadProduct(const std::u16string& name) {
  Product product{Utf16ToUtf8(name), std::nullopt, {}};
  uint32_t number = 0;
  if (GetStateDword(name, kStateStatus, number)) product.status = number;
  Text version;
  if (GetStateDword(name, kStateVersion, number)) version = Utf16ToUtf8(FormatVersion(number));
  product.fields = {
      {"version", "version", version},
      {"features", "features", ReadText(name, kStateFeatures)},
      {"languages", "languages", ReadText(name, kStateLanguages)},
      {"platform id", "platform_id", ReadText(name, kStatePlatformId)},
      {"uninstall exe", "uninstall_exe", ReadText(name, kStateUninstallExe)},
      {"uninstall pkg", "uninstall_pkg", ReadText(name, kStateUninstallPkg)},
  };
  return product;
}

void PrintText(const Product& product) {
  auto line = [](std::string label, const Text& value) {
    label.resize(16, ' ');
    std::cout << "  " << label << (value ? *value : "-") << "\n";
  };
  std::cout << product.name << "\n";
  line("status", product.status ? Text(std::to_string(*product.status) + " (" +
                                       StatusText(*product.status) + ")")
                                : std::nullopt);
  for (const Field& field : product.fields) line(field.label, field.value);
}

std::string JsonValue(const Text& value) { return value ? tool::JsonString(*value) : "null"; }

void PrintJson(const Product& product, bool last) {
  std::cout << "  {\n    \"name\": " << tool::JsonString(product.name) << ",\n    \"status\": "
            << (product.status ? std::to_string(*product.status) : "null")
            << ",\n    \"status_text\": "
            << JsonValue(product.status ? Text(StatusText(*product.status)) : std::nullopt);
  for (const Field& field : product.fields) {
    std::cout << ",\n    \"" << field.json_key << "\": " << JsonValue(field.value);
  }
  std::cout << "\n  }" << (last ? "\n" : ",\n");
}

}  // namespace

int ListProducts(bool json) {
  std::vector<std::u16string> names;
  ListRegSubkeys(HKEY_LOCAL_MACHINE, kStateKey, names);  // no store key: no products
  if (json) std::cout << (names.empty() ? "[]\n" : "[\n");
  if (!json && names.empty()) std::cout << "No products are recorded on this device.\n";
  for (size_t i = 0; i < names.size(); ++i) {
    Product product = ReadProduct(names[i]);
    if (json) {
      PrintJson(product, i + 1 == names.size());
    } else {
      if (i > 0) std::cout << "\n";
      PrintText(product);
    }
  }
  if (json && !names.empty()) std::cout << "]\n";
  std::cout << std::flush;
  return std::cout ? 0 : Error("cannot write to standard output");
}

}  // namespace stowkit::device_tool
