// build: manifest → package, replacing OUT whole or not at all.
#include <unistd.h>

#include <filesystem>
#include <iostream>

#include "manifest.h"
#include "pack_tool.h"
#include "package/writer.h"
#include "progress.h"
#include "removed_on_stop.h"
#include "text/utf.h"

namespace stowkit::pack_tool {
namespace {

// A name beside `output` that nothing uses. The writer deletes whatever lies at the name it
// was given when it fails, so the name must not be anyone else's file.
std::string TemporaryName(const std::string& output) {
  std::string base = output + ".partial-" + std::to_string(getpid());
  std::string name = base;
  for (int n = 1; GetFileAttributesW(Utf8ToUtf16(name).c_str()) != INVALID_FILE_ATTRIBUTES; ++n) {
    name = base + "-" + std::to_string(n);
  }
  return name;
}

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

// Puts the written package at OUT once it is known to be whole.
int Publish(const Package& package, const std::string& temporary, const std::string& output) {
  // Offsets and lengths are 32-bit: past 4 GiB they wrap, and only the file's real size
  // tells that the header no longer describes it.
  const PackageHeader& header = package.Header();
  uint64_t size = uint64_t(header.BlobOffset) + header.BlobLen + header.CatalogLen +
                  header.DescriptorLen + kHeaderSize;
  std::error_code failure;
  if (std::filesystem::file_size(temporary, failure) != size || failure) {
    DeleteFileW(Utf8ToUtf16(temporary).c_str());
    return Error("cannot build '" + output + "': a package holds at most 4 GiB");
  }
  // The platform's MoveFileW refuses an existing target, as Windows does; a host rename
  // replaces it in one step, so readers of OUT see the old package or the new one.
  std::filesystem::rename(temporary, output, failure);
  if (failure) {
    DeleteFileW(Utf8ToUtf16(temporary).c_str());
    return Error("cannot replace '" + output + "': " + failure.message());
  }
  std::cout << "Built " << output << ": " << package.NumEntries() << " entries, " << size << " bytes\n";
  return 0;
}

}  // namespace

int Build(const std::string& manifest, const std::string& output, const std::string& program) {
  Package package;
  std::string error;
  if (!ReadManifest(manifest, package, error)) return Error(error);
  std::string temporary = TemporaryName(output);
  tool::RemovedOnStop unfinished(temporary);  // a build stopped half-way leaves nothing beside OUT
  std::u16string error_text;
  tool::Progress progress("build");
  HRESULT hr = WritePackage(error_text, Utf8ToUtf16(temporary), package, Utf8ToUtf16(program),
                            [&](int done, int total) { progress.Count("entry", done, total); });
  progress.Clear();
  if (FAILED(hr)) {
    // The writer names the file it wrote; the user knows it by the name they gave.
    return Error(ReplaceAll(Explained(error_text, hr), temporary, output));
  }
  return Publish(package, temporary, output);
}

}  // namespace stowkit::pack_tool
