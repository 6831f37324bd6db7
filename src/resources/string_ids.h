// The user-interface texts by name: their English resource ids, 1..44, in the order of the
// string table. Every language file of strings/ tags each of its texts with one of these
// names, and the table does not compile unless each file holds them all, in this order.
#pragma once

#include <cstdint>

namespace stowkit {

enum class UiStringId : uint32_t {
  // The progress dialog's title while the run goes, and after it ("%s" the display name).
  kInstalling = 1,
  kInstallCompleted = 2,
  kInstallFailed = 3,
  kUninstalling = 4,
  kUninstallCompleted = 5,
  kUninstallFailed = 6,

  // Stage headings, kInitializing .. kRemovingPreviousVersion (kFirstStageText ..).
  kInitializing = 7,
  kPreInstall = 8,
  kRemovingUnselected = 9,
  kCreatingFolders = 10,
  kExtractingFiles = 11,
  kRegisteringFiles = 12,
  kMergingRegistry = 13,
  kCreatingShortcuts = 14,
  kPostInstall = 15,
  kConfiguringUninstall = 16,
  kPreUninstall = 17,
  kUnregisteringFiles = 18,
  kRemovingFiles = 19,
  kRemovingValues = 20,
  kRemovingShortcuts = 21,
  kRemovingFolders = 22,
  kPostUninstall = 23,
  kRemovingPreviousVersion = 24,

  // "A newer version of this application is already installed. ..."
  kNewerInstalledQuestion = 25,

  // A file in use: the question ("%s" the file), then one hint appended to it, naming the
  // holding process ("%s") or the unknown one that loaded the file.
  kOverwriteInUse = 26,
  kOverwriteHintProcess = 27,
  kOverwriteHintLoader = 28,
  kDeleteInUse = 29,
  kDeleteHintProcess = 30,
  kDeleteHintLoader = 31,

  // "Error ... '%s': %s": the item, then the system's text of the failure.
  kFileInstallError = 32,
  kFileDeleteError = 33,
  kRegisterError = 34,
  kUnregisterError = 35,
  kFolderInstallError = 36,
  kFolderDeleteError = 37,
  kValueWriteError = 38,
  kValueDeleteError = 39,
  kShortcutCreateError = 40,
  kShortcutDeleteError = 41,
  kInternalError = 42,

  // The restart notice, English in every block.
  kRestartCaption = 43,
  kRestartText = 44,
};

// How many texts each language holds: the ids run 1..kUiStringCount without a gap.
inline constexpr uint32_t kUiStringCount = uint32_t(UiStringId::kRestartText);

}  // namespace stowkit
