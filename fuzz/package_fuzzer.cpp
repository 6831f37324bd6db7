// Arbitrary bytes as a package file, read from memory: the reader, the dump, verification
// and extraction of every blob, and the writer on whatever the reader accepted. Besides crashes and sanitizer
// reports it stops on broken promises: a blob that verifies must extract, and a package the
// writer wrote must open again with the same entries.
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "coredll/device.h"
#include "package/dump.h"
#include "package/extract.h"
#include "package/package.h"
#include "package/vocabulary.h"
#include "package/writer.h"
#include "text/utf.h"

namespace {

using namespace stowkit;

std::string work;  // a private folder for the input and what is made from it

std::u16string WorkPath(const char* name) { return Utf8ToUtf16(work + "/" + name); }

void Check(bool promise, const char* what) {
  if (promise) return;
  std::fprintf(stderr, "broken promise: %s\n", what);
  abort();
}

// A package whose platform byte is 5 leaves its file open on purpose; a fuzzer that ran
// through millions of them would run out of handles.
void Release(std::unique_ptr<Package>& package) {
  HANDLE file = package->FileHandle();
  bool kept = package->Header().Platform == kPlatformKeepsHandle;
  package.reset();
  if (kept && file != INVALID_HANDLE_VALUE) CloseHandle(file);
}

void ExtractAll(const Package& package) {
  std::u16string out = WorkPath("blob");
  for (int i = 0; i < package.NumEntries(); ++i) {
    const CatalogEntry& entry = *package.GetEntry(i);
    if (entry.BlobLength() == 0) continue;
    HRESULT verified = VerifyEntryBlob(entry);
    HRESULT extracted = ExtractEntryBlob(entry, out);
    Check(FAILED(verified) || SUCCEEDED(extracted), "a blob that verifies extracts");
    DeleteFileW(out.c_str());
  }
}

void Rewrite(std::unique_ptr<Package>& package) {
  int expected = 0;
  for (int i = 0; i < package->NumEntries(); ++i) expected += package->GetEntry(i)->EntryType() != kInstallExe;
  std::u16string path = WorkPath("rewritten.pkg"), error;
  DeleteFileW(path.c_str());
  if (FAILED(WritePackage(error, path, *package))) return;
  std::unique_ptr<Package> again;
  Check(SUCCEEDED(OpenPackage(error, path, again)), "a written package opens");
  Check(again->NumEntries() == expected, "a written package keeps its entries");
  Release(again);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char pattern[] = "/tmp/stowkit-fuzz-XXXXXX";
  if (!mkdtemp(pattern)) abort();
  work = pattern;
  coredll::SetHostMode(true);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::unique_ptr<Package> package;
  std::u16string error, dump;
  if (FAILED(ReadPackageBytes(error, WorkPath("input.pkg"), {data, size}, package))) return 0;
  DumpPackage(*package, dump);
  ExtractAll(*package);
  Rewrite(package);
  Release(package);
  return 0;
}
