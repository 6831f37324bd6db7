// The progress dialog's template (resource 101) and the resource ids the dialog uses.
#pragma once

#include "coredll/windows.h"

namespace stowkit {

inline constexpr int kProgressDialogId = 101;
inline constexpr int kProgressBarId = 1000;
inline constexpr int kStatusLineId = 1002;
inline constexpr int kIconControlId = 1003;
inline constexpr int kDetailAreaId = 1005;

// Icon resources: shown while the run goes, after success, after failure.
inline constexpr WORD kNormalIcon = 103;
inline constexpr WORD kSuccessIcon = 104;
inline constexpr WORD kFailureIcon = 105;

// In dialog units, 120 x 85: the status line and the detail area above the progress bar,
// the icon at the bottom left. Popup with caption, modal frame, set-foreground, centred,
// "MS Sans Serif" 8 pt, empty title; not visible until the program shows it.
const DLGTEMPLATE* ProgressDialogTemplate();

}  // namespace stowkit
