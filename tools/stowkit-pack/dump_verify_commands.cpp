// dump and verify: read a package, write nothing.
#include <iostream>
#include <memory>

#include "pack_tool.h"
#include "package/dump.h"
#include "package/extract.h"
#include "package/package.h"
#include "progress.h"
#include "text/utf.h"

namespace stowkit::pack_tool {

int Dump(const std::string& path) {
  std::unique_ptr<Package> package;
  if (!OpenPackageFile(path, package)) return 1;
  std::u16string text;
  {
    tool::Progress progress("dump");
    progress.Show("reading " + std::to_string(package->NumEntries()) + " entries");
    DumpPackage(*package, text);
  }
  std::string out = Utf16ToUtf8(text);
  // The dump ends its lines the handheld's way; a terminal wants bare line feeds.
  size_t kept = 0;
  for (size_t i = 0; i < out.size(); ++i) {
    if (!(out[i] == '\r' && i + 1 < out.size() && out[i + 1] == '\n')) out[kept++] = out[i];
  }
  out.resize(kept);
  std::cout << out;
  return std::cout.flush() ? 0 : Error("cannot write the dump to standard output");
}

int Verify(const std::string& path) {
  std::unique_ptr<Package> package;
  if (!OpenPackageFile(path, package)) return 1;
  int blobs = 0, bad = 0;
  tool::Progress progress("verify");
  for (int i = 0; i < package->NumEntries(); ++i) {
    const CatalogEntry& entry = *package->GetEntry(i);
    if (entry.BlobLength() != 0) ++blobs;  // an entry without one is checked as well: its content is empty
    progress.Count("entry", i + 1, package->NumEntries());
    uint64_t size = 0;
    HRESULT hr = VerifyEntryBlob(entry, &size);
    if (FAILED(hr)) {
      ++bad;
      progress.Clear();
      Error(path + ": " + EntryLabel(i, entry.EntryType()) + ": " + BlobFailure(entry, hr, size));
    }
  }
  progress.Clear();
  if (bad > 0) return 1;
  std::cout << path << ": OK, " << blobs << (blobs == 1 ? " blob" : " blobs") << " verified\n";
  return 0;
}

}  // namespace stowkit::pack_tool
