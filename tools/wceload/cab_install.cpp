#include "cab_install.h"

#include <set>
#include <string>
#include <vector>

#include "cab_reader.h"
#include "coredll/windows.h"
#include "registration.h"
#include "removal.h"
#include "services/file_services.h"
#include "setup_document.h"
#include "setup_library.h"
#include "stand_in.h"
#include "text/fold.h"
#include "text/format.h"
#include "text/utf.h"

namespace stowkit::cab {
namespace {

// Where the CAB's own members go before they are used; gone when the run ends.
class WorkFolder {
 public:
  WorkFolder() : path_(Format(u"\\Temp\\wceload_%lu", GetCurrentProcessId())) {
    CreateFolder(path_);
  }
  ~WorkFolder() { DeleteFolder(path_, true); }
  WorkFolder(const WorkFolder&) = delete;
  WorkFolder& operator=(const WorkFolder&) = delete;

  std::u16string File(std::u16string_view name) const { return JoinPath(path_, name); }

 private:
  std::u16string path_;
};

bool ReadDeviceFile(const std::u16string& path, std::string& bytes) {
  HANDLE file =
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bytes.resize(GetFileSize(file, nullptr));
  DWORD done = 0;
  bool ok =
      ReadFile(file, bytes.data(), DWORD(bytes.size()), &done, nullptr) && done == bytes.size();
  CloseHandle(file);
  return ok;
}

struct CopyResult {
  std::vector<std::u16string> copied;
  WORD failed_folders = 0;
  WORD failed_files = 0;
};

CopyResult CopyFiles(CabReader& cab, const SetupDocument& document,
                     const std::u16string& install_dir) {
  CopyResult result;
  std::set<std::u16string> failed_folders;
  for (const FileOperation& file : document.files) {
    std::u16string folder = ExpandFolder(file.folder, install_dir);
    if (!CreateFolder(folder)) failed_folders.insert(folder);
    std::u16string target = JoinPath(folder, file.name);
    if (cab.Extract(file.source, target)) {
      result.copied.push_back(target);
    } else {
      ++result.failed_files;
    }
  }
  result.failed_folders = WORD(failed_folders.size());
  return result;
}

class Installation {
 public:
  Installation(const WceloadOptions& options, CabReader& cab) : options_(options), cab_(cab) {}

  int Run() {
    if (int code = ReadSetup(); code != kExitDone) return code;
    std::u16string install_dir = ExpandFolder(document_.install_dir, u"");
    bool previously_installed = IsRegistered(document_.app_name);
    HostWindow window(u"wceload", (u"Installing " + document_.app_name).c_str());
    // The old copy is made ready for its removal before the setup library hears of the
    // re-install: one that cannot be removed then stops the run before the library has set
    // up an upgrade (a marker, a folder) that would never come.
    RegisteredApplication old_copy;
    Removal why = Removal::kRemoved;
    if (previously_installed && !old_copy.Open(document_.app_name, why)) {
      return Fail(window.get(), kExitOldCopyKept,
                  why == Removal::kNoSetupLibrary
                      ? u"the installed copy could not be removed: its setup library does not load"
                      : u"the installed copy could not be removed");
    }
    if (library_.install_init(window.get(), TRUE, previously_installed, install_dir.c_str()) !=
        codeINSTALL_INIT_CONTINUE) {
      return Fail(window.get(), kExitCancelled, u"the setup library cancelled the installation");
    }
    if (previously_installed && old_copy.Remove(window.get()) != Removal::kRemoved) {
      return Fail(window.get(), kExitOldCopyKept, u"the installed copy could not be removed");
    }
    CopyResult copy = CopyFiles(cab_, document_, install_dir);
    if (library_.install_exit(window.get(), install_dir.c_str(), copy.failed_folders,
                              copy.failed_files, 0, 0, 0) == codeINSTALL_EXIT_UNINSTALL) {
      RemoveFiles(library_, window.get(), install_dir, copy.copied);
      return Fail(window.get(), kExitRolledBack,
                  u"the setup library reported the installation as failed");
    }
    library_.Free();
    if (options_.uninstallable && !Record(install_dir, copy.copied)) {
      return Fail(window.get(), kExitNotRegistered, u"it could not be recorded for its removal");
    }
    return kExitDone;
  }

 private:
  // The document and the loaded setup library, both taken from the CAB.
  int ReadSetup() {
    std::string xml, reason;
    std::u16string xml_file = work_.File(kSetupDocumentMember);
    if (!cab_.Extract(kSetupDocumentMember, xml_file) || !ReadDeviceFile(xml_file, xml)) {
      return Fail(nullptr, kExitUnreadableCab, Missing(kSetupDocumentMember));
    }
    if (!ParseSetupDocument(xml, document_, reason)) {
      return Fail(nullptr, kExitUnreadableCab,
                  u"its _setup.xml is not valid: " + Utf8ToUtf16(reason));
    }
    if (!IsAppName(document_.app_name)) {
      return Fail(nullptr, kExitUnreadableCab, u"its AppName cannot name an application");
    }
    if (!cab_.Extract(kSetupLibraryMember, work_.File(kSetupLibraryMember))) {
      return Fail(nullptr, kExitUnreadableCab, Missing(kSetupLibraryMember));
    }
    if (!library_.Load(work_.File(kSetupLibraryMember))) {
      return Fail(nullptr, kExitNoSetupLibrary,
                  Format(u"its setup library cannot be used (error %lu)", GetLastError()));
    }
    return kExitDone;
  }

  // The registration and the kept setup library, for unload and for a later re-install.
  bool Record(const std::u16string& install_dir, const std::vector<std::u16string>& copied) {
    std::u16string kept = KeptSetupLibrary(document_.app_name);
    return CopyFileW(work_.File(kSetupLibraryMember).c_str(), kept.c_str(), FALSE) &&
           WriteRegistration(document_.app_name, {install_dir, options_.cab, copied});
  }

  // Why `member` could not be unpacked: a CAB that lists it is damaged, else it lacks it.
  std::u16string Missing(std::u16string_view member) const {
    for (const std::u16string& name : cab_.Members()) {
      if (EqualsNoCase(name, member)) {
        return u"the CAB is damaged: its " + std::u16string(member) + u" cannot be unpacked";
      }
    }
    return u"the CAB has no " + std::u16string(member);
  }

  int Fail(HWND owner, int code, const std::u16string& why) {
    ShowFailure(options_.silent, owner, Format(u"'%s' was not installed: %s.", options_.cab, why));
    return code;
  }

  const WceloadOptions& options_;
  CabReader& cab_;
  WorkFolder work_;  // declared before the library, so the library is freed first
  SetupLibrary library_;
  SetupDocument document_;
};

}  // namespace

int InstallCab(const WceloadOptions& options) {
  int code;
  {
    CabReader cab;
    if (!cab.Open(options.cab)) {
      ShowFailure(options.silent, nullptr,
                  Format(u"'%s' is not a CAB file that can be read.", options.cab));
      return kExitUnreadableCab;
    }
    code = Installation(options, cab).Run();
  }
  // Deleted whatever the outcome, as the platform's installer does; only once it is closed.
  if (options.delete_cab) DeleteFileW(options.cab.c_str());
  return code;
}

}  // namespace stowkit::cab
