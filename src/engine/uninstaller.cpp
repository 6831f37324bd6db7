// The uninstaller pair an install leaves behind: a copy of the installer program and the
// uninstall package derived from the package just installed.
#include <memory>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/status_reporter.h"
#include "engine/uninstall_steps.h"
#include "package/vocabulary.h"
#include "package/writer.h"
#include "services/file_services.h"
#include "services/hresult.h"
#include "services/product_state.h"
#include "text/format.h"

namespace stowkit {
namespace {

// Large enough that copying the program costs few calls; on the heap, not the stack.
constexpr uint32_t kCopyBlock = 1024 * 1024;
// Ids 0x80 and up are never written, so this many definitions fit.
constexpr int kMaxCarriedMacros = kFirstMemoryOnlyId - kFirstMacroId;

// The work folder belongs to one run: carried over, it would name this install's folder,
// long gone, over the removal's own.
constexpr std::u16string_view kRunOnlyDefinition = u"$(SUPPORTDIR)=";

// Every definition of the run, so that a removal rebuilds the same macros.
std::unique_ptr<CatalogEntry> MacroDefinitionsEntry(const MacroTable& macros) {
  auto entry = std::make_unique<CatalogEntry>();
  entry->SetEntryType(kMacroDefs);
  entry->SetEntryFlags(kIgnoreBlob);
  int id = kFirstMacroId;
  for (const std::u16string& definition : macros.DumpMacros()) {
    if (definition.starts_with(kRunOnlyDefinition)) continue;
    if (id - kFirstMacroId >= kMaxCarriedMacros) break;
    entry->SetProperty(uint8_t(id++), definition);
  }
  return entry;
}

// Contents stay behind; the macro definitions become the whole macro table of this run.
void MakeUninstallCatalog(Package& package, const MacroTable& macros) {
  bool replaced = false;
  for (int index = 0; index < package.NumEntries();) {
    CatalogEntry& entry = *package.GetEntry(index);
    uint8_t type = entry.EntryType();
    if (type == kAppFile || type == kInstallExe) entry.SetEntryFlags(kIgnoreBlob);
    if (type != kMacroDefs) {
      ++index;
      continue;
    }
    package.RemoveEntry(index);
    if (!replaced) {
      package.InsertEntry(MacroDefinitionsEntry(macros), index++);
      replaced = true;
    }
  }
}

// The executable part of the running program: all of it, or the bytes before the package
// of a self-contained installer.
HRESULT CopyProgram(std::u16string_view source, std::u16string_view target,
                    uint32_t limit) {
  std::u16string from(source), to(target);
  HANDLE in = CreateFileW(from.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          0, nullptr);
  if (in == INVALID_HANDLE_VALUE) return LastErrorResult();
  HANDLE out = CreateFileW(to.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (out == INVALID_HANDLE_VALUE) {
    HRESULT hr = LastErrorResult();
    CloseHandle(in);
    return hr;
  }
  HRESULT hr = S_OK;
  std::vector<char> buffer(kCopyBlock);
  for (uint32_t left = limit == 0 ? 0xFFFFFFFF : limit; left > 0;) {
    DWORD read = 0, written = 0;
    if (!ReadFile(in, buffer.data(), left < kCopyBlock ? left : kCopyBlock, &read, nullptr)) {
      hr = LastErrorResult();
      break;
    }
    if (read == 0) break;
    if (!WriteFile(out, buffer.data(), read, &written, nullptr) || written != read) {
      hr = LastErrorResult();
      break;
    }
    left -= read;
  }
  CloseHandle(out);
  CloseHandle(in);
  return hr;
}

HRESULT WriteUninstallPackage(Engine& engine, const std::u16string& path,
                              const std::u16string& shown_path) {
  report::Detail(shown_path);
  Package& package = *engine.package;
  package.SetFlags(kRemove);
  std::u16string error_text;
  HRESULT hr = WritePackage(error_text, path, package);
  package.ClearFlags(kRemove);
  if (FAILED(hr)) {
    engine.ReportError(Format(u"Error generating uninstall package: %s: hr = 0x%x", error_text,
                              uint32_t(hr)));
  }
  return hr;
}

// Puts a whole file in the place of the old one (the previous version's pair, or a pair
// that an earlier run of this version left).
HRESULT PutInPlace(const std::u16string& whole, const std::u16string& path) {
  ForceDeleteFile(path);
  return MoveFileW(whole.c_str(), path.c_str()) ? S_OK : LastErrorResult();
}

}  // namespace

// The pair is made in the work folder and moved into the application-manager folder only
// when both files are whole: a full disk or a killed run never leaves a cut-short
// uninstaller there, nor a record of one. The work folder goes with the run, and with it
// whatever part was made.
HRESULT GenerateUninstaller(Engine& engine) {
  if (engine.package->TestFlags(kPackageNoRemove)) return S_FALSE;
  MakeUninstallCatalog(*engine.package, engine.macros);
  std::u16string folder = u"$(WINDIR)\\AppMgr", ignored;
  ExpandMacros(engine.macros, folder, ignored);
  std::u16string program_name = Format(u"%s Remove.exe", engine.application_name);
  std::u16string package_name = Format(u"%s Remove.pkg", engine.application_name);
  std::u16string program = JoinPath(folder, program_name);
  std::u16string package = JoinPath(folder, package_name);
  std::u16string new_program = JoinPath(engine.work_folder, program_name);
  std::u16string new_package = JoinPath(engine.work_folder, package_name);
  EnsureParentFolder(program);
  ForceDeleteFile(new_program);
  ForceDeleteFile(new_package);

  HRESULT hr = CopyProgram(engine.program_path, new_program, engine.package->Header().BlobOffset);
  if (FAILED(hr)) {
    ForceDeleteFile(new_program);
    engine.ReportError(
        Format(u"Error generating uninstall exe: %s: hr = 0x%x", program, uint32_t(hr)));
    return hr;
  }
  hr = WriteUninstallPackage(engine, new_package, package);
  if (FAILED(hr)) {
    ForceDeleteFile(new_program);
    return hr;
  }
  SetFileAttributesW(new_program.c_str(), FILE_ATTRIBUTE_HIDDEN);
  SetFileAttributesW(new_package.c_str(), FILE_ATTRIBUTE_HIDDEN);
  hr = PutInPlace(new_program, program);
  if (FAILED(hr)) {
    engine.ReportError(
        Format(u"Error generating uninstall exe: %s: hr = 0x%x", program, uint32_t(hr)));
    return hr;
  }
  hr = PutInPlace(new_package, package);
  if (FAILED(hr)) {
    // Half a pair is no uninstaller: the program goes too.
    ForceDeleteFile(program);
    engine.ReportError(Format(u"Error generating uninstall package: %s: hr = 0x%x", package,
                              uint32_t(hr)));
    return hr;
  }
  SetStateString(engine.application_name, kStateUninstallExe, program);
  SetStateString(engine.application_name, kStateUninstallPkg, package);
  return S_OK;
}

}  // namespace stowkit
