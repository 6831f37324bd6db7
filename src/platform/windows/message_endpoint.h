// Messages between processes of the device. A process that has windows owns a Unix datagram
// socket, run/msg/<pid>-<start time>.sock, and a receiver thread that hands each arriving
// message to the delivery function it was started with. The start time in the name keeps
// a message for an ended process from reaching a later one under the same pid. A restart
// empties run/, so endpoints of ended processes go with it.
//
// Paths are reached through an open descriptor of run/msg, so a deep device folder does
// not run into the 108-byte limit of socket addresses.
#pragma once

#include <cstdint>

#include "coredll/wintypes.h"

namespace coredll {

struct WireMessage {
  uint32_t hwnd;  // HWND_BROADCAST: every top-level window of the receiving process
  uint32_t message;
  uint64_t wparam;
  int64_t lparam;
};

using DeliverFunction = void (*)(const WireMessage& message);

// Makes this process's endpoint on its current device, once per device; later calls with
// the same device do nothing. False (errno set) when the device has no run folder or the
// socket cannot be made.
bool StartEndpoint(DeliverFunction deliver);

enum class SendResult {
  kSent,
  kNoEndpoint,  // the process has no windows, or has ended
  kNotTaken,    // its receiver took nothing for a second (the process is stopped)
};

SendResult SendToProcess(DWORD pid, const WireMessage& message);

}  // namespace coredll
