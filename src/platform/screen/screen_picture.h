// Pictures of the device's screen. When STOWKIT_SCREENSHOTS names a folder, each time the
// screen catches up and what it shows differs from this process's last picture, the windows
// shown are drawn at the profile's resolution (240 x 320 on a Pocket PC, 176 x 220 on a
// Smartphone) and saved there as the next free NNNN.png; the numbers are shared by every
// process of the run, as each takes its file with an exclusive create. A dialog the shell
// sized for the screen spans it; another keeps its template's size, at the units a
// handheld's system font gives, centred when its template asks. Texts are drawn in DejaVu
// Sans from the Debian font package; without that file the pictures have no text.
#pragma once

#include <vector>

#include "platform/windows/window_table.h"

namespace coredll {

bool PicturesWanted();

// `shown`: the visible top-level windows, bottom first.
void TakePicture(const std::vector<Window>& shown);

}  // namespace coredll
