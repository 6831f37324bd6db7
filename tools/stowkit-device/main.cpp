// stowkit-device: create and inspect simulated handhelds kept in a folder.
#include <CLI/CLI.hpp>
#include <cstdlib>
#include <iostream>

#include "answer_commands.h"
#include "cab_commands.h"
#include "command_line.h"
#include "coredll/device.h"
#include "device_commands.h"
#include "install_commands.h"
#include "log_command.h"
#include "process_commands.h"
#include "product_commands.h"
#include "qa_commands.h"
#include "registry_commands.h"
#include "verify_command.h"

using namespace stowkit::device_tool;

int main(int argc, char** argv) {
  CLI::App app{"Create and inspect simulated Pocket PC and Smartphone devices."};
  app.name("stowkit-device");
  app.require_subcommand(1);
  app.set_version_flag("--version", stowkit::tool::VersionText("stowkit-device"));
  std::string device;
  app.add_option("--device", device,
                 "Device folder (default: $STOWKIT_DEVICE, else the default device)");

  std::string platform = "pocketpc";
  auto* init = app.add_subcommand("init", "Lay out a new device (or complete an existing one)");
  init->add_option("--platform", platform, "pocketpc or smartphone")
      ->check(CLI::IsMember({"pocketpc", "smartphone"}));

  std::string path, host_file;
  bool long_format = false;
  auto* ls = app.add_subcommand("ls", "List a device folder, file or pattern");
  ls->add_flag("-l", long_format, "Show attributes, size, write and creation times");
  ls->add_option("PATH", path, "Device path, e.g. '\\Windows'")->required();

  auto* push = app.add_subcommand("push", "Copy a host file onto the device");
  push->add_option("HOSTFILE", host_file)->required();
  push->add_option("DEVICEPATH", path)->required();

  auto* pull = app.add_subcommand("pull", "Copy a device file to the host");
  pull->add_option("DEVICEPATH", path)->required();
  pull->add_option("HOSTFILE", host_file, "The host file, or - for standard output")->required();

  auto* reg = app.add_subcommand("reg", "Export or import the device registry as registry text");
  reg->require_subcommand(1);
  std::string key;
  auto* reg_export =
      reg->add_subcommand("export", "Write the registry, or one key, as REGEDIT4 text");
  reg_export->add_option("KEY", key, "Key to export, e.g. 'HKEY_LOCAL_MACHINE\\SOFTWARE\\App'");
  auto* reg_import = reg->add_subcommand("import", "Apply a REGEDIT4 or version 5 registry file");
  reg_import->add_option("FILE", host_file, "Registry file (UTF-8 or UTF-16)")->required();

  bool json = false;
  auto* products = app.add_subcommand(
      "products", "List the products the installer recorded; --forget APP drops a record whose uninstaller is gone");
  products->add_flag("--json", json, "Write a JSON array");
  std::string forgotten;
  bool yes = false;
  products->add_option("--forget", forgotten,
                       "Delete the record of APP, whose uninstaller is gone (nothing else is removed)")
      ->option_text("APP");
  products->add_flag("--yes", yes, "Forget without asking (needed without a terminal)");

  auto* run = app.add_subcommand("run", "Run a device program, e.g. run '\\Windows\\app.exe' /x");
  run->prefix_command();  // everything after PROGRAM is the program's own
  run->formatter(std::make_shared<stowkit::tool::WordsUsage>("PROGRAM [ARGS...]"));
  run->footer(
      "PROGRAM  the device program, e.g. '\\Windows\\stowkit.exe'; a name without a folder is\n"
      "         looked for in \\Windows\n"
      "ARGS     its arguments, given to it as one Windows command line after its path in quotes\n"
      "The exit code is printed as 'exit code: N' on standard error unless it is 0; the exit\n"
      "status is N modulo 256.");
  std::string screenshots;
  run->add_option("--screenshots", screenshots,
                  "Save the device's screen as DIR/NNNN.png each time it changes, at the "
                  "profile's resolution")
      ->option_text("DIR");
  auto* ps = app.add_subcommand("ps", "List the device's running processes and their modules");

  bool silent = false;
  std::string application;
  std::vector<std::string> installer_arguments;
  auto* install = app.add_subcommand(
      "install", "Push a package and install it: install app.pkg [--silent] [-- /v \\log.txt]");
  install->add_option("HOSTPKG", host_file, "Package file on the host")->required();
  install->add_flag("--silent", silent, "Run without the dialog and without questions");
  install->add_option("STOWKIT-ARGS", installer_arguments, "More arguments for the installer");
  std::string removal_package;
  auto* remove = app.add_subcommand(
      "remove", "Run the uninstaller an install recorded: remove App [--silent] [--package app.pkg] [-- ARGS]");
  remove->add_option("APPNAME", application, "The application's name, as 'products' lists it")
      ->required();
  remove->add_flag("--silent", silent, "Run without the dialog and without questions");
  remove->add_option("--package", removal_package,
                     "Remove with this host package, the one the application was installed from, "
                     "when no uninstaller is recorded");
  remove->add_option("STOWKIT-ARGS", installer_arguments, "More arguments for the installer, after --");
  remove->footer(
      "With --package, the package is pushed to \\Temp and \\Windows\\stowkit.exe /x (/xs) runs on it:\n"
      "the installer removes with the original package too. Give the same /D macros as the install.");

  std::vector<std::string> answers;
  bool clear_answers = false;
  auto* answer = app.add_subcommand(
      "answer", "Queue answers for message boxes of device programs without a terminal");
  auto* answer_words = answer->add_option(
      "ANSWERS", answers, "yes, no, ok, cancel, retry, abort or ignore, e.g. yes,retry");
  answer->add_flag("--clear", clear_answers, "Forget the answers still queued")->excludes(answer_words);

  std::string verified_package;
  auto* verify = app.add_subcommand(
      "verify", "Compare what an install left with the device now: verify APP [--package app.pkg] [--json]");
  verify->add_option("APPNAME", application, "The application's name, as 'products' lists it")->required();
  verify->add_option("--package", verified_package,
                     "The host package it was installed from: check the files' sizes and CRC-32 too");
  verify->add_flag("--json", json, "Write JSON instead of one line per difference");
  verify->footer("Exit status: 0 as installed, 1 when anything differs, 2 when it cannot be verified.");

  std::string log_name;
  bool removal_log = false;
  auto* log = app.add_subcommand("log", "Show an installer log as UTF-8 text: log [APP|DEVICEPATH] [--removal]");
  log->add_option("WHICH", log_name,
                  "An application (its install log \\Stowkit_log_<APP>.txt) or a device path "
                  "(default: the log in \\ written last)");
  log->add_flag("--removal", removal_log, "The application's removal log \\Unstowkit_log_<APP>.txt");
  auto* doctor = app.add_subcommand(
      "doctor", "Check the device: layout, links, registry integrity, stale process records; "
                "one line per finding, status 1 on any");

  CabCommand cab(app);
  QaCommands qa(app);

  if (auto word = stowkit::tool::UnknownCommand(app, argc, argv)) {
    return Error("unknown command '" + *word + "' (see --help)");
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) return app.exit(e);
    return Error(std::string(e.what()) + " (see --help)");
  }

  if (cab.on_host()) return cab.Run();
  if (!device.empty()) coredll::SelectDevice(device);
  std::string folder = coredll::DeviceFolder();
  if (init->parsed()) {
    int status = Init(folder, platform == "smartphone" ? coredll::Platform::kSmartphone
                                                       : coredll::Platform::kPocketPC);
    if (status != 0) return status;
    coredll::SelectDevice(folder);
    // Ready only once the device programs are in place too.
    status = PlacePrograms();
    if (status == 0) std::cout << "Device ready: " << folder << "\n";
    return status;
  }
  // Before the device check below: a damaged device is what this command is for.
  if (doctor->parsed()) return Doctor(folder);
  // A folder the user named, by either means, must be a device; only the default device is
  // made on first use.
  const char* chosen = std::getenv("STOWKIT_DEVICE");
  bool named = !device.empty() || (chosen && *chosen);
  if (named && !coredll::IsDevice(folder)) {
    return Error("'" + folder + "' is not a device folder (create it with 'stowkit-device --device " +
                 folder + " init')");
  }
  if (ls->parsed()) return List(path, long_format);
  if (push->parsed()) return Push(host_file, path);
  if (reg_export->parsed()) return ExportRegistry(key);
  if (reg_import->parsed()) return ImportRegistry(host_file);
  if (products->parsed()) return forgotten.empty() ? ListProducts(json) : ForgetProduct(forgotten, yes);
  if (ps->parsed()) return ListProcesses();
  if (log->parsed()) return ShowLog(log_name, removal_log);
  if (verify->parsed()) return VerifyProduct(application, verified_package, json);
  if (install->parsed()) return InstallPackage(host_file, silent, installer_arguments);
  if (remove->parsed()) return RemoveApplication(application, silent, removal_package, installer_arguments);
  if (answer->parsed()) return clear_answers ? ClearAnswerList() : QueueAnswerList(answers);
  if (cab.parsed()) return cab.Run();
  if (qa.parsed()) return qa.Run(folder);
  if (run->parsed()) {
    std::vector<std::string> words = run->remaining();
    if (words.empty()) return Error("run: a device program is required");
    if (!screenshots.empty() && !WantScreenshots(screenshots)) return 1;
    return Run(words.front(), std::vector<std::string>(words.begin() + 1, words.end()));
  }
  return Pull(path, host_file);
}
