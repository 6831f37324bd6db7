// The ".registry" text that Registry entries carry: one registry value per line, as
//   ROOT, KEY, TYPE, NAME, DATA, INSTALL RULE, REMOVAL RULE
// with ROOT one of HKLM, HKCU, HKCR; TYPE 0 (text) or 1 (number), read modulo 256; the
// install rule "", Default, NoOverwrite, OnlyOverwrite or Delete; the removal rule "", Default,
// NoRemove or RemoveAlways. Roots and keywords are compared without regard to case.
//
// A double quote switches quoting on and off, and a comma inside quotes is part of its field;
// the quotes themselves are dropped and have no escape. Every field is trimmed of white space,
// inside the quotes too. Key, name and data may hold macro references; they are expanded by
// the steps, not here.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "coredll/windows.h"

namespace stowkit {

struct RegistryLine {
  HKEY root = nullptr;
  std::u16string key;
  std::u16string name;
  std::u16string data;
  bool is_number = false;  // REG_DWORD rather than REG_SZ
  uint16_t flags = 0;      // one install bit | one removal bit (kRegWriteAlways, ...)
};

// False for a line that holds no value: empty or blank, or a comment starting with '/'.
bool IsRegistryValueLine(std::u16string_view line);

// True and the parsed line when `line` has exactly seven fields that obey the rules above;
// false otherwise (`parsed` may then be partly filled). A number's data is not checked here:
// any text reads as a number (RegistryNumber).
bool ParseRegistryLine(std::u16string_view line, RegistryLine& parsed);

// The 32-bit value of a number line's data: a signed decimal, read up to the first character
// that is not a digit, so "0x10" is 0 and "-1" is 0xFFFFFFFF.
uint32_t RegistryNumber(std::u16string_view data);

}  // namespace stowkit
