// The stages both sequences share, and the two sequences the driver chooses between.
#pragma once

#include <cstdint>

#include "coredll/windows.h"
#include "resources/string_ids.h"

namespace stowkit {

class Engine;

// Every stage opens with one of the UI strings of these ids (Initializing .. Removing the
// previous version).
inline constexpr UiStringId kFirstStageText = UiStringId::kInitializing;
inline constexpr UiStringId kLastStageText = UiStringId::kRemovingPreviousVersion;

// What FlushRegistry logs after an empty line: the last lines of every sequence before the
// run's completion, whatever its outcome.
inline constexpr char16_t kFlushingRegistryText[] = u"Flushing registry changes...";
inline constexpr char16_t kRegistryFlushedText[] = u"Flushing registry changes completed";

// The stage opening: Status by UI string `status_id`, an empty Detail, Progress(step, 10).
void BeginStage(UiStringId status_id, int32_t step);

// First stage of both sequences: reads the run's state from the package (refusing an
// application name that holds a path separator), creates the work folder, fills the host
// services, reports Begin, then extracts the support files and loads the custom library.
HRESULT Initialize(Engine& engine);

// One of the five catalog steps of a stage: its status text and its work.
struct CatalogStep {
  UiStringId status_id;
  HRESULT (*work)(Engine&);
};

// Runs five catalog steps in order, each opened with BeginStage at Progress 4..8; the first
// failure ends them.
HRESULT RunCatalogSteps(Engine& engine, const CatalogStep (&steps)[5]);

// The five removal steps (Status kUnregisteringFiles .. kRemovingFolders) over the entries
// that ShouldRemoveEntry picks in the engine's mode.
HRESULT RunRemovalSteps(Engine& engine);

// Sets the default log path on the reporter when the command line named none.
void OpenDefaultLog(Engine& engine);

// Makes the run's registry changes durable and tells every top-level window.
void FlushRegistry();

// Modes 1 and 2; ends with the final product status and the registry flush.
HRESULT RunInstallSequence(Engine& engine);
// Modes 3 and 4; ends with the product record deleted (or marked failed) and the flush.
HRESULT RunRemovalSequence(Engine& engine);

}  // namespace stowkit
