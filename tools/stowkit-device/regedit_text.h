// Registry text files as the desktop registry editor writes them, "REGEDIT4" or "Windows
// Registry Editor Version 5.00": keys in brackets by their full path from the root
// ("[HKEY_LOCAL_MACHINE\SOFTWARE\App]", "[-...]" to delete one), then one line per value:
//   "name"="text"   @=... for the unnamed value    "name"=-   deletes the value
//   "name"=dword:0000002a    "name"=hex:01,02    "name"=hex(2):...  (hex(N): type N)
// Text in quotes escapes '\' and '"' with a backslash. hex data are the value's bytes as
// the device keeps them (UTF-16 for the text types, in both versions). Long hex data are
// continued on the next line after a trailing '\'.
//
// Writing picks the form that gives back the very same type and bytes: quoted text only
// for a REG_SZ that is exactly one terminated line of text, dword: only for four-byte
// REG_DWORDs, hex(N): for everything else.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace stowkit::device_tool {

struct RegistryValue {
  std::u16string name;  // "" for the unnamed value
  uint32_t type = 0;
  std::string data;
};

// One change read from a registry file.
struct RegistryChange {
  enum Kind { kOpenKey, kDeleteKey, kSetValue, kDeleteValue };
  Kind kind = kOpenKey;
  size_t line = 0;         // where it was written, for messages
  std::u16string root;     // the root's full name, e.g. "HKEY_LOCAL_MACHINE"
  std::u16string subkey;   // below the root; "" for the root itself
  RegistryValue value;     // kSetValue: all of it; kDeleteValue: the name
};

// The full name of a root ("HKEY_LOCAL_MACHINE") for a full or short name ("HKLM"), any
// case; "" when it names no root.
std::u16string RootName(std::u16string_view name);

// Splits "ROOT\sub\key" into the root's full name and the subkey; false with a reason when
// the root is unknown or a key name is empty, too long or too deep.
bool SplitKeyPath(std::u16string_view path, std::u16string& root, std::u16string& subkey,
                  std::string& reason);

// The text of a registry file from its bytes: UTF-16 (either byte order) or UTF-8 after a
// byte-order mark, UTF-8 without one. False with a reason when it cannot be text.
bool DecodeRegistryFile(std::string_view bytes, std::u16string& text, std::string& reason);

// Reads a whole registry file into its changes, in file order. On the first bad line:
// false, `line` its number (1-based) and a reason; `changes` is then incomplete.
bool ParseRegistryText(std::u16string_view text, std::vector<RegistryChange>& changes,
                       size_t& line, std::string& reason);

// The first line of an exported file, with its line break.
inline constexpr std::string_view kRegistryFileHeader = "REGEDIT4\n";

// "[path]" with its line break, and a value's line (possibly continued over several);
// false when a name cannot be written on a line (it holds a line break).
bool KeyLine(std::u16string_view path, std::string& line);
bool ValueLine(const RegistryValue& value, std::string& line);

}  // namespace stowkit::device_tool
