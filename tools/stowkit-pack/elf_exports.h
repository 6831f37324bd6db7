// The functions a package's custom library exports, read from its ELF dynamic symbol table
// without loading it. Loading would run the package's code (a library's constructors run
// on load), and a lookup by name could not list the exports that merely look like hook
// names.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace stowkit::pack_tool {

// What a library must be built for to load on the device: the device runs programs of this
// host's kind, so the tool's own ELF header says it.
struct ElfTarget {
  uint8_t elf_class = 0;  // ELFCLASS32 or ELFCLASS64
  uint8_t data = 0;       // byte order, ELFDATA2LSB or ELFDATA2MSB
  uint16_t machine = 0;   // EM_X86_64, EM_AARCH64, ...
};

// The target of the running program; false when it cannot be read.
bool HostElfTarget(ElfTarget& target);

// The names of the functions that `library` exports (defined, global or weak, visible), in
// table order. False with a one-line reason when the bytes are not a shared library the
// device can load: not ELF (a Windows DLL is named as such), another class, byte order or
// machine than `target`, not a shared object, no dynamic symbol table, or tables that
// reach outside the file.
bool ReadElfExports(std::string_view library, const ElfTarget& target,
                    std::vector<std::string>& names, std::string& reason);

}  // namespace stowkit::pack_tool
