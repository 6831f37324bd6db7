// Arbitrary text as a stowkit-pack manifest, read as `build` reads it. Two small source
// files lie beside it, so entries can name "a.txt" and "b.bin". A manifest that reads must
// build into a package that opens with the same entries, and the manifest that `unpack`
// would write for it must read back into the same header, entries and properties.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "manifest.h"
#include "package/package.h"
#include "package/writer.h"
#include "text/utf.h"

namespace {

using namespace stowkit;
using fuzz::Check;

std::string work;

bool SameProperties(const PropertyMap& a, const PropertyMap& b) {
  return a.PropertyCount() == b.PropertyCount() && std::equal(a.begin(), a.end(), b.begin());
}

bool SameEntry(const CatalogEntry& a, const CatalogEntry& b) {
  return a.EntryType() == b.EntryType() && a.EntryFlags() == b.EntryFlags() &&
         a.TypeFlags() == b.TypeFlags() && SameProperties(a.Properties(), b.Properties()) &&
         a.BlobFileName() == b.BlobFileName() &&
         (!a.BlobFileName().empty() ||
          (a.FinalSize() == b.FinalSize() && a.FinalCRC() == b.FinalCRC()));
}

void CheckRewritten(const Package& package) {
  std::vector<std::string> sources;
  for (int i = 0; i < package.NumEntries(); ++i) {
    sources.push_back(Utf16ToUtf8(package.GetEntry(i)->BlobFileName()));
  }
  std::string text, error;
  if (!pack_tool::ManifestText(package, sources, text, error)) return;
  std::string path = work + "/rewritten.toml";
  fuzz::WriteFile(path, text);
  Package again;
  Check(pack_tool::ReadManifest(path, again, error), "a written manifest reads back");
  const PackageHeader &a = package.Header(), &b = again.Header();
  Check(a.Flags == b.Flags && a.Platform == b.Platform && a.Version == b.Version &&
            SameProperties(package.Properties(), again.Properties()),
        "a written manifest keeps the package's header and properties");
  Check(package.NumEntries() == again.NumEntries(), "a written manifest keeps every entry");
  for (int i = 0; i < package.NumEntries(); ++i) {
    Check(SameEntry(*package.GetEntry(i), *again.GetEntry(i)),
          "a written manifest keeps each entry");
  }
}

void CheckBuilt(Package& package) {
  int entries = package.NumEntries();
  std::u16string path = Utf8ToUtf16(work + "/built.pkg"), error;
  DeleteFileW(path.c_str());
  if (FAILED(WritePackage(error, path, package))) return;
  std::unique_ptr<Package> opened;
  Check(SUCCEEDED(OpenPackage(error, path, opened)), "a built package opens");
  Check(opened->NumEntries() == entries, "a built package keeps its entries");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  work = fuzz::MakeWorkFolder();
  coredll::SetHostMode(true);
  fuzz::WriteFile(work + "/a.txt", "hello hello hello hello");
  fuzz::WriteFile(work + "/b.bin", std::string("\0\1\2\3 stored", 12));
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string path = work + "/app.toml";
  fuzz::WriteFile(path, fuzz::AsText(data, size));
  Package package;
  std::string error;
  if (!pack_tool::ReadManifest(path, package, error)) {
    Check(!error.empty() && error.find('\n') == std::string::npos, "a refusal is one line");
    return 0;
  }
  CheckRewritten(package);
  CheckBuilt(package);
  return 0;
}
