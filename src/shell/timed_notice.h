// A message box that closes itself: shown on a thread of its own so that the calling thread
// can time it out while it keeps serving its own window messages.
#pragma once

#include <cstdint>
#include <string>

#include "coredll/windows.h"

namespace stowkit {

struct TimedNotice {
  std::u16string caption;
  std::u16string text;
  // MB_OK | MB_ICONASTERISK | MB_SETFOREGROUND.
  uint32_t style = 0x10040;
  uint32_t timeout_ms = 10000;
  // The box's answer; 0 while none has arrived.
  int result = 0;
};

// Shows `notice`, owned by whatever window is in front at that moment, and waits for it up
// to its timeout. A box still open then is closed as if OK were pressed. Returns the stored
// answer (0 when the timeout closed the box first). `notice` must stay alive until the call
// returns; the box's thread has ended by then.
int ShowTimedNotice(TimedNotice& notice);

}  // namespace stowkit
