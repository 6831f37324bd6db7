#include "cab_commands.h"

#include <filesystem>
#include <iostream>
#include <vector>

#include "cab_reader.h"
#include "cab_writer.h"
#include "coredll/device.h"
#include "device_commands.h"
#include "package/package.h"
#include "package/vocabulary.h"
#include "process_commands.h"
#include "registration.h"
#include "setup_document.h"
#include "text/fold.h"
#include "text/utf.h"

namespace stowkit::device_tool {
namespace {

namespace fs = std::filesystem;

struct CabBuildOptions {
  std::string key;          // product key; default: the name of the one .pkg in the folder
  std::string app_name;     // the name the platform registers; default: the key
  std::string install_dir;  // default: %CE1%\\<key>$<app name>
};

// The package's key: --key, else the stem of the folder's one package.
bool FindKey(const fs::path& folder, std::string& key) {
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
    if (entry.path().extension() != ".pkg") continue;
    if (!key.empty()) return false;
    key = entry.path().stem().string();
  }
  return !key.empty();
}

fs::path FolderFileOr(const fs::path& folder, const std::string& name, const fs::path& fallback) {
  return fs::exists(folder / name) ? folder / name : fallback;
}

// The installer and the package, which `document` places into the install folder where the
// setup library looks for them, then the setup library and the document itself.
std::vector<CabMember> Members(const fs::path& folder, const std::string& key,
                               cab::SetupDocument& document) {
  fs::path tools = ToolFolder();
  std::vector<CabMember> members = {
      {key + ".exe", FolderFileOr(folder, key + ".exe", tools / "stowkit"), {}}};
  if (fs::exists(folder / (key + ".pkg"))) {
    members.push_back({key + ".pkg", folder / (key + ".pkg"), {}});
  }
  for (const CabMember& member : members) {
    std::u16string name = Utf8ToUtf16(member.name);
    document.files.push_back({u"%InstallDir%", name, name});
  }
  members.push_back(
      {"_setup.dll", FolderFileOr(folder, "_setup.dll", tools / "../lib/libtrellant.so"), {}});
  members.push_back({"_setup.xml", {}, cab::WriteSetupDocument(document)});
  return members;
}

int BuildCab(const std::string& folder_text, const std::string& output,
             const CabBuildOptions& options) {
  fs::path folder(folder_text);
  if (!fs::is_directory(folder)) return Error("cab build: '" + folder_text + "' is not a folder");
  std::string key = options.key;
  if (key.empty() && !FindKey(folder, key)) {
    return Error("cab build: '" + folder_text +
                 "' must hold exactly one .pkg, or name the key with --key");
  }
  std::string app_name = options.app_name.empty() ? key : options.app_name;
  if (key.find_first_of("$\\/") != key.npos || !cab::IsAppName(Utf8ToUtf16(app_name))) {
    return Error("cab build: '" + key + "' and '" + app_name + "' cannot name a product");
  }
  // The setup library finds the product record by the key, and the installer records it by
  // the package's AppName: a CAB whose two differ could never remove what it installed. A
  // file that is no package is left to the installer to report.
  fs::path package_file = folder / (key + ".pkg");
  if (fs::exists(package_file)) {
    coredll::SetHostMode(true);
    std::unique_ptr<Package> package;
    std::u16string error_text, recorded;
    bool opened = SUCCEEDED(OpenPackage(error_text, Utf8ToUtf16(package_file.string()), package));
    if (opened) package->GetProperty(kAppName, recorded);
    package.reset();
    coredll::SetHostMode(false);
    if (opened && !EqualsNoCase(recorded, Utf8ToUtf16(key))) {
      return Error("cab build: the key '" + key + "' differs from the package's AppName '" +
                   Utf16ToUtf8(recorded) + "', by which the CAB's removal finds the product");
    }
  }
  // The installer joins the folder and each file name with a "\" of its own.
  const std::string& dir = options.install_dir;
  if (!dir.empty() && (dir.back() == '\\' || dir.back() == '/')) {
    return Error("cab build: --install-dir '" + dir + "' ends in '" + dir.back() +
                 "': name the folder without it");
  }
  cab::SetupDocument document;
  document.app_name = Utf8ToUtf16(app_name);
  document.install_dir = Utf8ToUtf16(options.install_dir.empty() ? "%CE1%\\" + key + "$" + app_name
                                                                 : options.install_dir);
  std::vector<CabMember> members = Members(folder, key, document);
  std::string why;
  if (!WriteCab(output, members, why)) {
    return Error("cab build: cannot write '" + output + "': " + why);
  }
  return 0;
}

int InstallCab(const std::string& host_cab, bool silent) {
  std::string name = fs::path(host_cab).filename().string();
  if (name.empty()) return Error("cab install: '" + host_cab + "' names no file");
  std::string device_path = "\\Temp\\" + name;
  if (int status = Push(host_cab, device_path); status != 0) return status;
  std::vector<std::string> arguments;
  if (silent) arguments.push_back("/noui");
  arguments.push_back(device_path);
  return Run("\\Windows\\wceload.exe", arguments);
}

// A CAB as its reader sees it; on the host, since these commands read host files.
bool OpenHostCab(const std::string& host_cab, const char* command, cab::CabReader& reader, int& status) {
  coredll::SetHostMode(true);
  if (!fs::is_regular_file(host_cab)) {
    status = Error(std::string("cab ") + command + ": cannot read '" + host_cab + "': " +
                   (fs::exists(host_cab) ? "it is not a file" : "no such file"));
    return false;
  }
  if (!reader.Open(Utf8ToUtf16(host_cab))) {
    status = Error(std::string("cab ") + command + ": '" + host_cab + "' is not a CAB, or it is damaged");
    return false;
  }
  return true;
}

int ListCab(const std::string& host_cab) {
  cab::CabReader reader;
  int status = 1;
  if (!OpenHostCab(host_cab, "list", reader, status)) return status;
  for (const std::u16string& name : reader.Members()) std::cout << Utf16ToUtf8(name) << "\n";
  std::cout << std::flush;
  return std::cout ? 0 : Error("cab list: cannot write to standard output");
}

// A member name as a path below the output folder; false for one that would reach out of it.
bool MemberPath(const std::u16string& name, fs::path& relative) {
  relative.clear();
  std::string part;
  for (char c : Utf16ToUtf8(name) + '\\') {
    if (c != '\\' && c != '/') {
      part += c;
      continue;
    }
    if (part == "..") return false;
    if (!part.empty() && part != ".") relative /= part;
    part.clear();
  }
  return !relative.empty();
}

int ExtractCab(const std::string& host_cab, const std::string& folder) {
  cab::CabReader reader;
  int status = 1;
  if (!OpenHostCab(host_cab, "extract", reader, status)) return status;
  std::error_code error;
  fs::create_directories(folder, error);
  if (error || !fs::is_directory(folder)) {
    return Error("cab extract: cannot make the folder '" + folder + "': " +
                 (error ? error.message() : "a file has that name"));
  }
  for (const std::u16string& name : reader.Members()) {
    fs::path relative;
    if (!MemberPath(name, relative)) {
      return Error("cab extract: the member '" + Utf16ToUtf8(name) + "' names a place outside '" + folder + "'");
    }
    fs::path target = fs::path(folder) / relative;
    fs::create_directories(target.parent_path(), error);
    if (error || !reader.Extract(name, Utf8ToUtf16(target.string()))) {
      return Error("cab extract: cannot extract '" + Utf16ToUtf8(name) + "' to '" + target.string() + "'");
    }
    std::cout << target.string() << "\n";
  }
  std::cout << std::flush;
  return 0;
}

int RemoveCabApplication(const std::string& app_name) {
  return Run("\\Windows\\unload.exe", {app_name});
}

}  // namespace

CabCommand::CabCommand(CLI::App& app) {
  command_ =
      app.add_subcommand("cab", "Build CABs that carry a package, install, remove, list and extract them");
  command_->require_subcommand(1);
  build_ = command_->add_subcommand(
      "build", "Build a CAB for the device's CAB installer: build DIR -o OUT.cab");
  build_
      ->add_option("DIR", path_,
                   "Folder with the package <key>.pkg (and, optionally, <key>.exe and _setup.dll)")
      ->required();
  build_->add_option("-o", output_, "The CAB to write")->required();
  build_->add_option("--key", key_, "Product key (default: the package's file name)");
  build_->add_option("--app-name", app_name_, "Name the device registers (default: the key)");
  build_->add_option("--install-dir", install_dir_,
                     "Install folder (default: %CE1%\\<key>$<app name>)");
  install_ =
      command_->add_subcommand("install", "Push a CAB and install it with \\Windows\\wceload.exe");
  install_->add_option("HOSTCAB", path_, "CAB file on the host")->required();
  install_->add_flag("--silent", silent_, "Run without user interface (/noui)");
  CLI::App* remove =
      command_->add_subcommand("remove", "Remove a CAB's application with \\Windows\\unload.exe");
  remove->add_option("APPNAME", app_name_, "The name the CAB registered")->required();
  list_ = command_->add_subcommand("list", "List the members of a CAB on the host");
  list_->add_option("CAB", path_, "CAB file on the host")->required();
  extract_ = command_->add_subcommand("extract", "Write the members of a CAB on the host into a folder");
  extract_->add_option("CAB", path_, "CAB file on the host")->required();
  extract_->add_option("-o", output_, "The folder to write into (made when missing)")->required();
}

bool CabCommand::on_host() const { return list_->parsed() || extract_->parsed(); }

int CabCommand::Run() const {
  if (build_->parsed()) return BuildCab(path_, output_, {key_, app_name_, install_dir_});
  if (install_->parsed()) return InstallCab(path_, silent_);
  if (list_->parsed()) return ListCab(path_);
  if (extract_->parsed()) return ExtractCab(path_, output_);
  return RemoveCabApplication(app_name_);
}

}  // namespace stowkit::device_tool
