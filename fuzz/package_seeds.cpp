// Writes the fuzzer's seed corpus: small valid packages laid out by the tests' hand-made
// builder, one for each shape the reader knows.
#include <cstdio>
#include <string>

#include "package/package_bytes.h"

using namespace stowkit::testing;

namespace {

bool Save(const std::string& folder, const char* name, const PackageLayout& layout) {
  std::string bytes = BuildPackage(layout);
  FILE* file = std::fopen((folder + "/" + name).c_str(), "wb");
  bool ok = file && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return file && std::fclose(file) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: package_seeds FOLDER\n");
    return 1;
  }
  std::string folder = argv[1];

  PackageLayout files;
  files.flags = 0x11;
  files.version = 0x01020304;
  files.properties = {{3, u"Notes"}, {11, u"core,extra"}, {22, u"1033"}};
  files.entries = {FileEntry("hello hello hello hello", true, u"\\Program Files\\a.txt"),
                   FileEntry("stored bytes", false, u"\\Program Files\\b.bin")};
  files.entries[0].type_flags = 0x11;

  PackageLayout appended = files;
  appended.prefix = "MZ an installer program before the package";
  appended.platform = 5;

  PackageLayout kinds;
  EntryLayout macros, shortcut, ignored;
  macros.type = 2;
  macros.properties = {{0x30, u"APP=\\Program Files\\Notes"}, {0x31, u"X=1"}};
  shortcut.type = 3;
  shortcut.properties = {{6, u"\\Windows\\Start Menu\\Notes.lnk"}, {7, u"\\a.exe"}, {8, u"/x"}};
  ignored = FileEntry("dropped", true, u"\\c");
  ignored.entry_flags |= 0x02;
  EntryLayout install = FileEntry("setup", false, u"\\setup.exe");
  install.type = 5;
  kinds.entries = {macros, shortcut, ignored, install, FileEntry("", true, u"\\empty")};

  bool ok = Save(folder, "empty.pkg", {}) && Save(folder, "files.pkg", files) &&
            Save(folder, "appended.pkg", appended) && Save(folder, "kinds.pkg", kinds);
  if (!ok) std::perror(folder.c_str());
  return ok ? 0 : 1;
}
