// stowkit-pack: build packages from manifests; dump, list, verify, unpack, lint and compare them.
#include <CLI/CLI.hpp>

#include "command_line.h"
#include "coredll/device.h"
#include "pack_tool.h"

using namespace stowkit::pack_tool;

namespace {

constexpr const char kManifestHelp[] = R"help(
Manifest (TOML; docs/manifest.md has the whole story):

  [package]
  flags = []                         # package flag names ("NoRemove", ...); integers for unnamed bits
  platform = 0                       # the header's platform byte
  version = "1.0.0.0"                # four numbers 0-255

  [package.properties]               # by name, or by id as "27" / "0x1b"
  AppName = "Notes"

  [[entry]]                          # one per catalog entry, in order
  type = "MacroDefs"                 # entry type name, or 0-255
  [entry.properties]                 # by name, or by id: macros use "0x30" and up
  "0x30" = "APPDIR=$(PROGRAMFILES)\\Notes"

  [[entry]]
  type = "Folder"                    # made by the install, taken away by the removal
  flags = ["ShouldInstall"]          # only entries with ShouldInstall are installed
  [entry.properties]
  Dst = "$(APPDIR)"

  [[entry]]
  type = "AppFile"
  flags = ["BlobCompressed", "ShouldInstall"]
  type_flags = ["ReadOnly"]          # names for AppFile entries, integers for any
  source = "files/notes.exe"         # host file, relative to the manifest's folder
  # final_size = 0, final_crc = 0    # only for entries without a source
  [entry.properties]
  Dst = "$(APPDIR)\\notes.exe"       # macros are $(NAME): PROGRAMFILES, WINDIR, PROGRAMS, ...

  [[entry]]
  type = "Shortcut"
  flags = ["ShouldInstall"]
  [entry.properties]
  LinkName = "$(PROGRAMS)\\Notes"
  LinkTarget = "$(APPDIR)\\notes.exe"

Unknown keys are errors. The same manifest and sources always give the same bytes.)help";

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Build Stowkit packages from manifests; dump, list, verify, unpack, lint and compare packages."};
  app.name("stowkit-pack");
  app.require_subcommand(1);
  app.set_version_flag("--version", stowkit::tool::VersionText("stowkit-pack"));
  std::string package, manifest, output, program;

  auto* build = app.add_subcommand("build", "Build a package from a TOML manifest");
  build->add_option("MANIFEST", manifest, "The manifest")->required();
  build->add_option("-o,--output", output, "The package to write (replaced when it exists)")->required();
  build->add_option("--self-contained", program,
                    "Put this installer program in front: started with /i or /is and no package "
                    "path, the result installs the package it carries");
  build->footer(kManifestHelp);

  bool json = false;
  auto* dump = app.add_subcommand("dump", "Print a package's header, properties and entries");
  dump->add_option("PKG", package, "The package")->required();
  dump->add_flag("--json", json, "Write JSON instead of the text");

  auto* list = app.add_subcommand(
      "list", "One line per entry: type, flags, size, CRC-32, destination, [features]");
  list->add_option("PKG", package, "The package")->required();
  list->add_flag("--json", json, "Write JSON instead of the lines");

  auto* verify = app.add_subcommand("verify", "Check every entry's content against its CRC and size without writing");
  verify->add_option("PKG", package, "The package")->required();

  auto* unpack = app.add_subcommand("unpack", "Write a package's contents and a manifest that rebuilds it");
  unpack->add_option("PKG", package, "The package")->required();
  unpack->add_option("-o,--output", output, "A new or empty folder")->required();

  std::vector<std::string> allowed;
  auto* lint = app.add_subcommand("lint", "Check a package for mistakes without a device");
  lint->add_option("PKG", package, "The package")->required();
  lint->add_option("--allow", allowed, "Codes not to report, e.g. --allow no-hooks long-path");
  lint->add_flag("--json", json, "Write JSON instead of the table");
  lint->footer(LintCodesHelp());

  std::string other;
  auto* diff = app.add_subcommand("diff", "Compare two packages: header, properties, entries, contents");
  diff->add_option("A", package, "The first package")->required();
  diff->add_option("B", other, "The second package")->required();
  diff->add_flag("--json", json, "Write JSON instead of the text");

  if (auto word = stowkit::tool::UnknownCommand(app, argc, argv)) {
    return Error("unknown command '" + *word + "' (see --help)");
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) return app.exit(e);
    return Error(std::string(e.what()) + " (see --help)");
  }

  // Paths are host paths as the user wrote them, so every message names them that way.
  coredll::SetHostMode(true);
  if (build->parsed()) return Build(manifest, output, program);
  if (dump->parsed()) return Dump(package, json);
  if (list->parsed()) return ListEntries(package, json);
  if (verify->parsed()) return Verify(package);
  if (lint->parsed()) return Lint(package, allowed, json);
  if (diff->parsed()) return Diff(package, other, json);
  return Unpack(package, output);
}
