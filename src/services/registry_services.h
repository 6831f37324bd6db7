// Careful operations on the device registry under a root key (HKEY_LOCAL_MACHINE, ...): write
// a text or number value under the write rules of a flags word, read one back with a type
// check, delete a value and the keys it leaves empty, delete or copy a key tree, list
// subkeys. Results are 1/0. The writers (when they write or delete), the readers and the
// deleters set last-error to the registry result that decided (0 on success; 1804 for a
// value of the wrong type); CopyRegTree sets it only when the copy failed.
//
// Subkey paths are '\'-separated below the root. Where a null subkey means something of its
// own, a default-constructed view (data() == nullptr) stands for it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "coredll/windows.h"

namespace stowkit {

// Registry value flags: an install rule and a removal rule, carried from a registry line.
inline constexpr uint16_t kRegWriteAlways = 0x0001;    // install: write unconditionally
inline constexpr uint16_t kRegNoOverwrite = 0x0002;    // write only when no such value exists
inline constexpr uint16_t kRegOnlyOverwrite = 0x0004;  // write only when such a value exists
inline constexpr uint16_t kRegDeleteValue = 0x0008;    // delete the value instead of writing
inline constexpr uint16_t kRegRemoveEmptyKeys = 0x0100;  // after a value delete, prune empty keys
inline constexpr uint16_t kRegNoRemove = 0x0200;       // every delete does nothing, successfully
inline constexpr uint16_t kRegRemoveAlways = 0x0400;   // the engine's concern, not examined here
inline constexpr uint16_t kRegDefaultFlags = kRegWriteAlways | kRegRemoveEmptyKeys;

// Writes `text` as REG_SZ (with its terminating zero) or `value` as REG_DWORD, creating the
// subkey as needed. kRegDeleteValue deletes instead (as DeleteRegValue with the default
// flags); kRegNoOverwrite and kRegOnlyOverwrite test for a value of the same name and type
// first, and a write they skip counts as success.
int SetRegString(HKEY root, std::u16string_view subkey, std::u16string_view name,
                 std::u16string_view text, uint16_t flags = kRegDefaultFlags);
int SetRegDword(HKEY root, std::u16string_view subkey, std::u16string_view name, uint32_t value,
                uint16_t flags = kRegDefaultFlags);

// 1 and the value when it exists with the right type (REG_SZ, any length; REG_DWORD);
// otherwise 0 with `text` / `value` untouched.
int GetRegString(HKEY root, std::u16string_view subkey, std::u16string_view name,
                 std::u16string& text);
int GetRegDword(HKEY root, std::u16string_view subkey, std::u16string_view name,
                uint32_t& value);

// Deletes the value; a missing key is success. With kRegRemoveEmptyKeys a missing value is
// success too, and the keys left without subkeys and values are deleted, walking up the
// subkey path to the first key that is not empty. Keys on the path that are missing already
// are passed over, so a removal that was killed half-way is finished by the next one.
int DeleteRegValue(HKEY root, std::u16string_view subkey, std::u16string_view name,
                   uint16_t flags = kRegDefaultFlags);

// Deletes the subkey and everything below it, depth first; a missing subkey is success, an
// empty one is refused (87).
int DeleteRegKey(HKEY root, std::u16string_view subkey, uint16_t flags = kRegDefaultFlags);

// The names of the immediate subkeys, in the registry's order; 0 when the key cannot be
// opened (the list is then empty).
int ListRegSubkeys(HKEY root, std::u16string_view subkey, std::vector<std::u16string>& names);

// Copies every value and subkey of the source tree into the destination, which is created
// as needed. A null subkey, or a tree copied onto itself (same root, same subkey spelled the
// same way), gives 0 without copying. The source is read whole before anything is written,
// so a tree copied below itself gets what the source held when the copy began. Writes done
// before a failure stay.
int CopyRegTree(HKEY source_root, std::u16string_view source_subkey, HKEY target_root,
                std::u16string_view target_subkey);

// Gathers the registry calls made while it lives into one commit of the device's registry
// (RegBeginBatch): many writes then cost about what one does. End commits and gives 1/0
// with last-error set to the commit's result; a batch not ended commits when it goes. A
// batch that could not begin leaves every call its own commit, as without one. Never hold
// one across a wait for another process, which would wait for its end to write.
class RegistryBatch {
 public:
  RegistryBatch();
  ~RegistryBatch();
  RegistryBatch(const RegistryBatch&) = delete;
  RegistryBatch& operator=(const RegistryBatch&) = delete;

  int End();

 private:
  bool open_;
};

// "name = value": both sides trimmed of white space; no '=' gives the whole trimmed line as
// the name and an empty value.
void SplitNameValue(std::u16string_view line, std::u16string& name, std::u16string& value);

}  // namespace stowkit
