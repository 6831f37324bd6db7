// Scripted answers for the message boxes of device programs that run without a terminal.
#pragma once

#include <string>
#include <vector>

namespace stowkit::device_tool {

// Queues the answers in `lists` (each "yes,retry,..."; yes, no, ok, cancel, retry, abort,
// ignore, any case) after those already waiting. Nothing is queued when one is unknown.
int QueueAnswerList(const std::vector<std::string>& lists);

// Empties the device's queue of answers.
int ClearAnswerList();

}  // namespace stowkit::device_tool
