#include "qa_commands.h"

#include "check_commands.h"
#include "install_commands.h"
#include "plan_commands.h"
#include "device_commands.h"
#include "snapshot_commands.h"
#include "snapshot_store.h"

namespace stowkit::device_tool {

QaCommands::QaCommands(CLI::App& app) {
  constexpr const char* kJsonHelp = "Write JSON instead of the table";
  snapshot_ = app.add_subcommand(
      "snapshot", "Keep every file and registry value of the device as NAME; snapshot list|delete|restore");
  snapshot_->add_option("NAME", name_, "The snapshot's name (list, delete and restore are commands)");
  snapshot_list_ = snapshot_->add_subcommand("list", "List the device's snapshots");
  snapshot_delete_ = snapshot_->add_subcommand("delete", "Delete snapshot NAME");
  snapshot_delete_->add_option("NAME", name_, "The snapshot's name")->required();
  snapshot_restore_ = snapshot_->add_subcommand(
      "restore", "Put the device back as snapshot NAME recorded it: files, folders, registry");
  snapshot_restore_->add_option("NAME", name_, "The snapshot's name")->required();
  snapshot_->footer("A snapshot keeps the contents of the device's files too, for 'snapshot restore'.");

  diff_ = app.add_subcommand("diff", "Show what was added, removed and changed since snapshot NAME");
  diff_->add_option("NAME", name_, "The snapshot's name")->required();
  diff_->add_flag("--json", json_, kJsonHelp);

  plan_ = app.add_subcommand(
      "plan", "Show what installing a package would change, tried on a copy of the device");
  plan_->add_option("HOSTPKG", package_, "Package file on the host")->required();
  plan_->add_option("STOWKIT-ARGS", installer_arguments_, "More arguments for the installer, after --");
  plan_->add_flag("--json", json_, kJsonHelp);
  plan_->footer("The install runs silently (/is) on a throwaway copy; the device is not touched.");

  check_ = app.add_subcommand(
      "check", "Install, check the record, install again and remove a package on a fresh device");
  check_->add_option("HOSTPKG", package_, "Package file on the host")->required();
  check_->add_option("--upgrade-from", check_options_.old_package, "Install this older package first");
  check_->add_option("--platform", platform_, "pocketpc (the default) or smartphone")
      ->check(CLI::IsMember({"pocketpc", "smartphone"}));
  check_->add_option("--keep", check_options_.keep, "Keep a copy of the device in this new folder");
  check_->add_option("--timeout", check_options_.timeout_seconds,
                     "Seconds each installer run may take before it is ended (0: no limit)")
      ->capture_default_str();
  check_->add_option("--junit", check_options_.junit, "Also write the steps as JUnit XML to FILE");
  check_->add_option("STOWKIT-ARGS", check_options_.installer_arguments,
                     "More arguments for every install, after --");
  check_->add_flag("--faults", check_options_.faults,
                   "Then again under injected faults (a full disk, a kill), each rerun after");
  check_->add_option("--samples", check_options_.samples,
                     "With --faults: moments of each phase tried for each kind of fault")
      ->capture_default_str()
      ->check(CLI::PositiveNumber);
  check_->add_option("--kind", check_options_.fault_kind, "With --faults: only 'disk' (full) or 'kill'")
      ->check(CLI::IsMember({"disk", "kill"}));
  check_->add_option("--seed", check_options_.seed, "With --faults: repeat the moments of an earlier check");
  check_->add_option("--screenshots", check_options_.screenshots,
                     "Run the installs and the removal with the dialog; its pictures into DIR")
      ->type_name("DIR");
  check_->add_flag("--json", check_options_.json, kJsonHelp);
  check_->footer(
      "Fails, naming each item, on anything left behind that the package did not mark\n"
      "\"NoRemove\", and on any run that does not end with 0 or 1000. The installer's own\n"
      "remains are expected: the uninstaller pair in \\Windows\\AppMgr, the run logs, the\n"
      "packages pushed to \\Temp and the key HKLM\\SOFTWARE\\TalvenorKitwright.\n"
      "With --faults, the install, the upgrade (or the install again) and the removal run\n"
      "again on copies of the device: with the disk full from a sampled write on, and killed\n"
      "at a sampled call. Each fails, naming the fault, when a run reports success but did\n"
      "not do what a clean run does, the registry fails its integrity check, a failed run\n"
      "cannot be rerun to 0, or the product cannot then be removed.\n"
      "With --screenshots DIR, each run's pictures go to a folder of DIR named after it in\n"
      "order: 01-install, 02-install-again, 03-remove (upgrading: 01-install-old, 02-upgrade,\n"
      "...). Without a terminal, message boxes take the scripted answers of 'answer', else\n"
      "their safe ones, and the dialog closes itself; --timeout still ends a run.");
}

bool QaCommands::parsed() const {
  return snapshot_->parsed() || diff_->parsed() || plan_->parsed() || check_->parsed();
}

int QaCommands::Run(const std::string& device_folder) const {
  if (snapshot_list_->parsed()) return ListSnapshots(device_folder);
  if (snapshot_delete_->parsed()) return DeleteSnapshot(device_folder, name_);
  if (snapshot_restore_->parsed()) return RestoreSnapshot(device_folder, name_);
  if (snapshot_->parsed() && name_.empty()) return Error("snapshot: NAME is required (see --help)");
  if (snapshot_->parsed()) return SnapshotDevice(device_folder, name_);
  if (diff_->parsed()) return DiffDevice(device_folder, name_, json_);
  if (plan_->parsed() || check_->parsed()) {
    const char* command = plan_->parsed() ? "plan" : "check";
    if (!IsHostPackage(command, package_)) return 1;
    const std::string& old_package = check_options_.old_package;
    if (!old_package.empty() && !IsHostPackage(command, old_package)) return 1;
  }
  if (plan_->parsed()) return PlanInstall(device_folder, package_, installer_arguments_, json_);
  CheckOptions options = check_options_;
  if (platform_ == "smartphone") options.platform = coredll::Platform::kSmartphone;
  return CheckPackage(package_, options);
}

}  // namespace stowkit::device_tool
