#include <iostream>

#include "pack_tool.h"
#include "package/extract.h"
#include "package/file_io.h"
#include "package/package.h"
#include "package/vocabulary.h"
#include "services/hresult.h"
#include "text/format.h"
#include "text/utf.h"

namespace stowkit::pack_tool {
namespace {

std::string SystemText(DWORD error) {
  WCHAR text[512];
  DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
                FORMAT_MESSAGE_MAX_WIDTH_MASK;
  DWORD n = FormatMessageW(flags, nullptr, error, 0, text, 512, nullptr);
  while (n > 0 && (text[n - 1] == u' ' || text[n - 1] == u'.')) --n;
  return n == 0 ? "system error " + std::to_string(error) : Utf16ToUtf8(std::u16string_view(text, n));
}

// The reader reads no blob: when one of its reads comes back short, it was of the package
// descriptor or the catalog, which the header places beyond the end of the file.
std::string OpenMeaning(HRESULT hr) {
  return hr == kEndOfFile ? "the file is shorter than its header says" : Meaning(hr);
}

}  // namespace

// Codes the package layer raises itself say what went wrong with the package; the others
// come from the platform and carry its text.
std::string Meaning(HRESULT hr) {
  switch (hr) {
    case kCrcMismatch: return "CRC mismatch";
    case kGenericFailure: return "corrupt deflate stream";
    case kEndOfFile: return "the blob runs past the end of the file";
    case kSizeMismatch: return "content size differs from FinalSize";
    default: break;
  }
  if ((uint32_t(hr) & 0xFFFF0000u) == 0x80070000u) return SystemText(uint32_t(hr) & 0xFFFF);
  return "failure";
}

int Error(const std::string& message) {
  std::cerr << "stowkit-pack: " << message << "\n";
  return 1;
}

std::string Reason(HRESULT hr) { return Meaning(hr) + " (" + Utf16ToUtf8(Format(u"0x%x", hr)) + ")"; }

std::string BlobFailure(const CatalogEntry& entry, HRESULT hr, uint64_t content_size) {
  std::string code = " (" + Utf16ToUtf8(Format(u"0x%x", hr)) + ")";
  std::string final_size = std::to_string(entry.FinalSize());
  if (entry.BlobLength() == 0 && hr == kCrcMismatch) {
    return "it has no blob, so no content, yet its FinalCRC is " +
           Utf16ToUtf8(Format(u"0x%08x", entry.FinalCRC())) + code;
  }
  if (hr != kSizeMismatch) return Reason(hr);
  if (entry.BlobLength() == 0) return "it has no blob, so no content, yet its FinalSize is " + final_size + " bytes" + code;
  // Inflating stops where the content passes FinalSize: how far it would go is not known.
  if (content_size > entry.FinalSize()) return "its content is larger than its FinalSize of " + final_size + " bytes" + code;
  return "its content is " + std::to_string(content_size) + " bytes, not its FinalSize of " + final_size + code;
}

std::string Explained(const std::u16string& error_text, HRESULT hr) {
  return Utf16ToUtf8(error_text) + " (" + Meaning(hr) + ")";
}

std::string OpenFailure(const std::string& path, const std::u16string& error_text, HRESULT hr) {
  std::u16string name = Utf8ToUtf16(path);
  HANDLE file = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  std::string explained = Utf16ToUtf8(error_text) + " (" + OpenMeaning(hr) + ")";
  if (file == INVALID_HANDLE_VALUE) return explained;
  // The reader's words for a file without a header are about seeking and signatures; the
  // user needs to hear that it is some other file.
  bool other_file = !IsPackageFile(file);
  CloseHandle(file);
  if (!other_file) return explained;
  return "'" + path + "' is not a package (it does not end in a package header)";
}

bool OpenPackageFile(const std::string& path, std::unique_ptr<Package>& package) {
  std::u16string error_text;
  HRESULT hr = OpenPackage(error_text, Utf8ToUtf16(path), package);
  if (FAILED(hr)) Error(OpenFailure(path, error_text, hr));
  return SUCCEEDED(hr);
}

bool OpenPackageFile(const std::string& path, std::unique_ptr<Package>& package, const EntrySink& sink) {
  std::u16string error_text;
  HRESULT hr = OpenPackage(error_text, Utf8ToUtf16(path), package, sink);
  if (FAILED(hr)) Error(OpenFailure(path, error_text, hr));
  return SUCCEEDED(hr);
}

std::string LastErrorText() { return SystemText(GetLastError()); }

std::string EntryLabel(int index, uint8_t type) {
  return "entry " + std::to_string(index + 1) + " (" + Utf16ToUtf8(EntryTypeText(type)) + ")";
}

bool ReadHostText(const std::string& path, std::string& text, std::string& error) {
  std::u16string name = Utf8ToUtf16(path);
  HANDLE file = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = "cannot read '" + path + "': " + LastErrorText();
    return false;
  }
  uint64_t size = 0;
  HRESULT hr = FileSize(file, size);
  if (SUCCEEDED(hr) && size > UINT32_MAX) hr = HResultFromError(ERROR_FILE_TOO_LARGE);
  if (SUCCEEDED(hr)) {
    text.resize(size_t(size));
    hr = ReadExact(file, text.data(), DWORD(size));
  }
  CloseHandle(file);
  if (FAILED(hr)) error = "cannot read '" + path + "': " + Reason(hr);
  return SUCCEEDED(hr);
}

bool WriteNewHostFile(const std::string& path, const std::string& bytes, std::string& error) {
  std::u16string name = Utf8ToUtf16(path);
  HANDLE file = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = "cannot create '" + path + "': " + LastErrorText();
    return false;
  }
  HRESULT hr = WriteAll(file, bytes.data(), DWORD(bytes.size()));
  CloseHandle(file);
  if (FAILED(hr)) {
    DeleteFileW(name.c_str());
    error = "cannot write '" + path + "': " + Reason(hr);
  }
  return SUCCEEDED(hr);
}

}  // namespace stowkit::pack_tool
