#include "product_commands.h"

#include <unistd.h>

#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "coredll/device.h"
#include "coredll/windows.h"
#include "device_commands.h"
#include "json_writer.h"
#include "registry_reading.h"
#include "services/product_state.h"
#include "text/fold.h"
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

// Reads a product's values; the first registry failure, if any, is kept in `error`.
class ProductReader {
 public:
  std::optional<uint32_t> Number(std::u16string_view product, std::u16string_view name) {
    uint32_t number = 0;
    if (GetStateDword(product, name, number)) return number;
    Failed();
    return std::nullopt;
  }
  Text String(std::u16string_view product, std::u16string_view name) {
    std::u16string text;
    if (GetStateString(product, name, text)) return Utf16ToUtf8(text);
    Failed();
    return std::nullopt;
  }
  const std::string& error() const { return error_; }

 private:
  void Failed() {
    std::string why;
    if (!NothingRecorded(why) && error_.empty()) error_ = why;
  }
  std::string error_;
};

bool ReadProduct(const std::u16string& name, Product& product, std::string& error) {
  ProductReader read;
  product = {Utf16ToUtf8(name), read.Number(name, kStateStatus), {}};
  std::optional<uint32_t> number = read.Number(name, kStateVersion);
  Text version = number ? Text(Utf16ToUtf8(FormatVersion(*number))) : std::nullopt;
  product.fields = {
      {"version", "version", version},
      {"features", "features", read.String(name, kStateFeatures)},
      {"languages", "languages", read.String(name, kStateLanguages)},
      {"platform id", "platform_id", read.String(name, kStatePlatformId)},
      {"uninstall exe", "uninstall_exe", read.String(name, kStateUninstallExe)},
      {"uninstall pkg", "uninstall_pkg", read.String(name, kStateUninstallPkg)},
  };
  error = read.error();
  return error.empty();
}

// The setup extension's upgrade mark, and its roll-back mark, live in a product's key
// without a product: a key that holds nothing else records none.
bool HoldsMarksOnly(HKEY store, const std::u16string& name, LONG& result) {
  OpenedKey key;
  result = RegOpenKeyExW(store, name.c_str(), 0, KEY_READ, key.Out());
  std::vector<RegistryValue> values;
  std::vector<std::u16string> subkeys;
  if (result == ERROR_SUCCESS) result = ReadKey(key.get(), values, subkeys);
  if (result != ERROR_SUCCESS || !subkeys.empty() || values.empty()) return false;
  for (const RegistryValue& value : values) {
    if (!EqualsNoCase(value.name, kStateUpgradeMode) && !EqualsNoCase(value.name, kStateRollBack)) return false;
  }
  return true;
}

// Every product the store records, read whole before anything is printed.
bool ReadProducts(std::vector<Product>& products, std::string& error) {
  OpenedKey store;
  LONG result = RegOpenKeyExW(HKEY_LOCAL_MACHINE, std::u16string(kStateKey).c_str(), 0, KEY_READ,
                              store.Out());
  if (result == ERROR_FILE_NOT_FOUND) return true;  // no install has recorded anything yet
  std::vector<RegistryValue> values;
  std::vector<std::u16string> names;
  if (result == ERROR_SUCCESS) result = ReadKey(store.get(), values, names);
  if (result != ERROR_SUCCESS) {
    error = RegistryFailure(result);
    return false;
  }
  for (const std::u16string& name : names) {
    bool marks_only = HoldsMarksOnly(store.get(), name, result);
    if (result != ERROR_SUCCESS) {
      error = RegistryFailure(result);
      return false;
    }
    if (marks_only) continue;
    products.emplace_back();
    if (!ReadProduct(name, products.back(), error)) return false;
  }
  return true;
}

bool DeviceFileExists(const Text& path) {
  if (!path || path->empty()) return false;
  DWORD attributes = GetFileAttributesW(Utf8ToUtf16(*path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool Confirmed(const std::string& application) {
  std::cerr << "Forget the record of '" << application << "' (nothing else is removed)? [y/N] " << std::flush;
  std::string answer;
  if (!std::getline(std::cin, answer)) return false;
  return answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes";
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

std::string RegistryFailure(LONG result) {
  return "cannot read the device registry (" + coredll::DeviceFolder() + "/registry.db): " +
         SystemErrorText(DWORD(result));
}

bool NothingRecorded(std::string& error) {
  DWORD result = GetLastError();
  if (result == ERROR_FILE_NOT_FOUND || result == ERROR_INVALID_DATATYPE) return true;
  error = RegistryFailure(LONG(result));
  return false;
}

int ListProducts(bool json) {
  std::vector<Product> products;
  std::string error;
  if (!ReadProducts(products, error)) return Error("products: " + error);
  if (json) std::cout << (products.empty() ? "[]\n" : "[\n");
  if (!json && products.empty()) std::cout << "No products are recorded on this device.\n";
  for (size_t i = 0; i < products.size(); ++i) {
    if (json) {
      PrintJson(products[i], i + 1 == products.size());
    } else {
      if (i > 0) std::cout << "\n";
      PrintText(products[i]);
    }
  }
  if (json && !products.empty()) std::cout << "]\n";
  std::cout << std::flush;
  return std::cout ? 0 : Error("cannot write to standard output");
}

int ForgetProduct(const std::string& application, bool yes) {
  std::vector<Product> products;
  std::string error;
  if (!ReadProducts(products, error)) return Error("products: " + error);
  const Product* found = nullptr;
  for (const Product& product : products) {
    if (EqualsNoCase(Utf8ToUtf16(product.name), Utf8ToUtf16(application))) found = &product;
  }
  if (!found) return Error("products: no product '" + application + "' is recorded");
  Text exe, pkg;
  for (const Field& field : found->fields) {
    if (std::string(field.json_key) == "uninstall_exe") exe = field.value;
    if (std::string(field.json_key) == "uninstall_pkg") pkg = field.value;
  }
  if (DeviceFileExists(exe) && DeviceFileExists(pkg)) {
    return Error("products: the uninstaller of '" + found->name + "' is there: 'remove " + found->name +
                 "' removes the application and its record");
  }
  if (!yes) {
    if (!isatty(STDIN_FILENO)) {
      return Error("products: there is no terminal to ask whether to forget '" + found->name +
                   "': give --yes");
    }
    if (!Confirmed(found->name)) return Error("products: '" + found->name + "' is not forgotten");
  }
  if (!DeleteState(Utf8ToUtf16(found->name))) {
    return Error("products: cannot delete the record of '" + found->name + "': " +
                 SystemErrorText(GetLastError()));
  }
  std::cout << "Forgot the product record of '" << found->name << "'.\n" << std::flush;
  return 0;
}

}  // namespace stowkit::device_tool
