#include "services/product_state.h"

#include "services/file_services.h"
#include "services/registry_services.h"

namespace stowkit {
namespace {

bool Suppressed() { return (GetPackageOptions() & kPackageNoState) != 0; }

}  // namespace

std::u16string ProductKey(std::u16string_view product) {
  std::u16string key(kStateKey);
  key += u'\\';
  key += product;
  return key;
}

int GetStateDword(std::u16string_view product, std::u16string_view name, uint32_t& value) {
  return GetRegDword(HKEY_LOCAL_MACHINE, ProductKey(product), name, value);
}

int GetStateString(std::u16string_view product, std::u16string_view name, std::u16string& text) {
  return GetRegString(HKEY_LOCAL_MACHINE, ProductKey(product), name, text);
}

int SetStateDword(std::u16string_view product, std::u16string_view name, uint32_t value) {
  if (Suppressed()) return 1;
  return SetRegDword(HKEY_LOCAL_MACHINE, ProductKey(product), name, value, kRegDefaultFlags);
}

int SetStateString(std::u16string_view product, std::u16string_view name,
                   std::u16string_view text) {
  if (Suppressed()) return 1;
  return SetRegString(HKEY_LOCAL_MACHINE, ProductKey(product), name, text, kRegDefaultFlags);
}

int DeleteState(std::u16string_view product) {
  return DeleteRegKey(HKEY_LOCAL_MACHINE, ProductKey(product), kRegDefaultFlags);
}

}  // namespace stowkit
