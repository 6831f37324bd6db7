#include "elf_exports.h"

#include <elf.h>

#include <cstring>
#include <fstream>

namespace stowkit::pack_tool {
namespace {

// Copies a T from `bytes` at `offset`; false when it does not lie wholly inside.
template <typename T>
bool ReadAt(std::string_view bytes, uint64_t offset, T& out) {
  if (offset > bytes.size() || bytes.size() - offset < sizeof(T)) return false;
  std::memcpy(&out, bytes.data() + offset, sizeof(T));
  return true;
}

std::string MachineName(uint16_t machine) {
  switch (machine) {
    case EM_386: return "x86";
    case EM_ARM: return "ARM";
    case EM_X86_64: return "x86-64";
    case EM_AARCH64: return "AArch64";
    default: return "machine " + std::to_string(machine);
  }
}

bool Refuse(std::string& reason, std::string text) {
  reason = std::move(text);
  return false;
}

// The NUL-terminated name at `offset` in the string table section `table`.
bool NameAt(std::string_view bytes, uint64_t table_offset, uint64_t table_size, uint64_t offset,
            std::string& name) {
  if (table_offset > bytes.size() || bytes.size() - table_offset < table_size || offset >= table_size) {
    return false;
  }
  std::string_view table = bytes.substr(table_offset, table_size);
  size_t end = table.find('\0', offset);
  if (end == std::string_view::npos) return false;
  name = std::string(table.substr(offset, end - offset));
  return true;
}

template <typename Ehdr, typename Shdr, typename Sym>
bool ReadSymbols(std::string_view bytes, std::vector<std::string>& names, std::string& reason) {
  constexpr const char* kDamaged = "a damaged library: its tables reach outside the file";
  Ehdr header;
  if (!ReadAt(bytes, 0, header)) return Refuse(reason, kDamaged);
  if (header.e_type != ET_DYN) return Refuse(reason, "an ELF file, but not a shared library");
  // The whole section table first, so that a library cut anywhere is refused as a whole.
  if (header.e_shentsize != sizeof(Shdr) || header.e_shoff > bytes.size() ||
      (bytes.size() - header.e_shoff) / sizeof(Shdr) < header.e_shnum) {
    return Refuse(reason, kDamaged);
  }
  for (uint64_t i = 0; i < header.e_shnum; ++i) {
    Shdr section, strings;
    if (!ReadAt(bytes, header.e_shoff + i * sizeof(Shdr), section)) return Refuse(reason, kDamaged);
    if (section.sh_type != SHT_DYNSYM) continue;
    if (section.sh_entsize != sizeof(Sym) || section.sh_link >= header.e_shnum ||
        !ReadAt(bytes, header.e_shoff + uint64_t(section.sh_link) * sizeof(Shdr), strings)) {
      return Refuse(reason, kDamaged);
    }
    for (uint64_t n = 0; n < section.sh_size / sizeof(Sym); ++n) {
      Sym symbol;
      std::string name;
      if (!ReadAt(bytes, section.sh_offset + n * sizeof(Sym), symbol) ||
          (symbol.st_name != 0 &&
           !NameAt(bytes, strings.sh_offset, strings.sh_size, symbol.st_name, name))) {
        return Refuse(reason, kDamaged);
      }
      int type = symbol.st_info & 0xF, bind = symbol.st_info >> 4;
      int visibility = symbol.st_other & 0x3;
      if (symbol.st_shndx != SHN_UNDEF && (type == STT_FUNC || type == STT_GNU_IFUNC) &&
          (bind == STB_GLOBAL || bind == STB_WEAK) &&
          (visibility == STV_DEFAULT || visibility == STV_PROTECTED) && !name.empty()) {
        names.push_back(name);
      }
    }
    return true;
  }
  return Refuse(reason, "a shared library without a dynamic symbol table: it exports nothing");
}

}  // namespace

bool HostElfTarget(ElfTarget& target) {
  std::ifstream self("/proc/self/exe", std::ios::binary);
  unsigned char header[EI_NIDENT + 4] = {};
  if (!self.read(reinterpret_cast<char*>(header), sizeof header)) return false;
  target.elf_class = header[EI_CLASS];
  target.data = header[EI_DATA];
  // e_type and e_machine follow the identification in the target's own byte order.
  uint16_t machine = 0;
  std::memcpy(&machine, header + EI_NIDENT + 2, sizeof machine);
  target.machine = machine;
  return std::memcmp(header, ELFMAG, SELFMAG) == 0;
}

bool ReadElfExports(std::string_view library, const ElfTarget& target,
                    std::vector<std::string>& names, std::string& reason) {
  names.clear();
  if (library.starts_with("MZ")) {
    return Refuse(reason, "a Windows DLL: the device loads shared libraries built for " +
                              MachineName(target.machine));
  }
  if (library.size() < EI_NIDENT + 4 || std::memcmp(library.data(), ELFMAG, SELFMAG) != 0) {
    return Refuse(reason, "not a shared library (no ELF header)");
  }
  uint16_t machine = 0;
  std::memcpy(&machine, library.data() + EI_NIDENT + 2, sizeof machine);
  if (uint8_t(library[EI_CLASS]) != target.elf_class || uint8_t(library[EI_DATA]) != target.data ||
      machine != target.machine) {
    std::string bits = library[EI_CLASS] == ELFCLASS64 ? "64-bit " : "32-bit ";
    return Refuse(reason, "built for " + bits + MachineName(machine) + ", but the device loads " +
                              (target.elf_class == ELFCLASS64 ? "64-bit " : "32-bit ") +
                              MachineName(target.machine));
  }
  return target.elf_class == ELFCLASS64
             ? ReadSymbols<Elf64_Ehdr, Elf64_Shdr, Elf64_Sym>(library, names, reason)
             : ReadSymbols<Elf32_Ehdr, Elf32_Shdr, Elf32_Sym>(library, names, reason);
}

}  // namespace stowkit::pack_tool
