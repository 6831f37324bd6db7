// unpack: package → a folder that `build` turns back into the package: manifest.toml and
// the extracted content of every blob under blobs/.
#include <filesystem>
#include <iostream>
#include <memory>

#include "manifest.h"
#include "pack_tool.h"
#include "package/extract.h"
#include "package/vocabulary.h"
#include "text/format.h"
#include "text/utf.h"

namespace stowkit::pack_tool {
namespace {

namespace fs = std::filesystem;

// "blobs/003-notes.exe": the number keeps names apart and in catalog order, the end of the
// entry's Dst makes the file recognisable.
std::string BlobName(int index, const CatalogEntry& entry) {
  std::string name = "blobs/" + Utf16ToUtf8(Format(u"%03d", index + 1));
  std::u16string dst;
  if (!entry.GetProperty(kDst, dst)) return name;
  std::u16string base = dst.substr(dst.find_last_of(u"\\/") + 1).substr(0, 40);
  if (base.empty()) return name;
  name += '-';
  for (char16_t c : base) {
    bool plain = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
                 c == u'.' || c == u'-' || c == u'_';
    name += plain ? char(c) : '_';
  }
  return name;
}

// The manifest-relative source of the entry's content, "" when it has none. A stored empty
// blob after other blobs still has its own offset, and only a source puts it back there.
bool ExtractEntry(const std::string& folder, int index, const CatalogEntry& entry,
                  std::string& source, std::string& error) {
  source.clear();
  if (entry.EntryType() == kInstallExe || entry.TestEntryFlags(kIgnoreBlob)) return true;
  bool empty_file = entry.BlobLength() == 0 && entry.BlobOffset() != 0 &&
                    !entry.TestEntryFlags(kBlobCompressed);
  if (entry.BlobLength() == 0 && !empty_file) return true;
  source = BlobName(index, entry);
  std::string path = folder + "/" + source;
  if (empty_file) return WriteNewHostFile(path, "", error);
  HRESULT hr = ExtractEntryBlob(entry, Utf8ToUtf16(path));
  if (FAILED(hr)) error = EntryLabel(index, entry.EntryType()) + ": cannot extract to '" + path + "': " + Reason(hr);
  return SUCCEEDED(hr);
}

bool UnpackInto(const Package& package, const std::string& folder, int& blobs, std::string& error) {
  std::vector<std::string> sources(package.NumEntries());
  for (int i = 0; i < package.NumEntries(); ++i) {
    if (!ExtractEntry(folder, i, *package.GetEntry(i), sources[i], error)) return false;
    blobs += !sources[i].empty();
  }
  std::string text;
  return ManifestText(package, sources, text, error) &&
         WriteNewHostFile(folder + "/manifest.toml", text, error);
}

// Everything in the folder is ours: it was empty or absent when unpacking began.
void RemoveContents(const std::string& folder, bool created) {
  std::error_code ignored;
  if (created) {
    fs::remove_all(folder, ignored);
    return;
  }
  for (const fs::directory_entry& item : fs::directory_iterator(folder, ignored)) {
    fs::remove_all(item.path(), ignored);
  }
}

}  // namespace

int Unpack(const std::string& path, const std::string& folder) {
  std::unique_ptr<Package> package;
  std::u16string error_text;
  HRESULT hr = OpenPackage(error_text, Utf8ToUtf16(path), package);
  if (FAILED(hr)) return Error(OpenFailure(path, error_text, hr));
  std::error_code failure;
  bool created = !fs::exists(folder, failure);
  if (!created && (!fs::is_directory(folder, failure) || !fs::is_empty(folder, failure))) {
    return Error("'" + folder + "' is not an empty folder; unpack needs a new or empty one");
  }
  if (!fs::create_directories(folder + "/blobs", failure) && failure) {
    return Error("cannot create '" + folder + "/blobs': " + failure.message());
  }
  int blobs = 0;
  std::string error;
  if (!UnpackInto(*package, folder, blobs, error)) {
    RemoveContents(folder, created);
    return Error(path + ": " + error);
  }
  std::cout << "Unpacked " << path << " into " << folder << ": " << package->NumEntries()
            << " entries, " << blobs << " files\n";
  return 0;
}

}  // namespace stowkit::pack_tool
