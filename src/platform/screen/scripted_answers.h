// The device's scripted answers for message boxes that have no terminal to ask on:
// run/answers, one word per line, oldest first. It is only changed under an exclusive lock
// of run/answers.lock and replaced whole, so device programs asking at the same time each
// take a different answer and none sees a part-written queue. Host tools fill it through
// QueueAnswers (coredll/device.h); a restart empties it with the rest of run/.
#pragma once

#include <optional>
#include <string>

namespace coredll {

// The oldest queued answer word, removed from the queue; nullopt when none is queued.
std::optional<std::string> TakeScriptedAnswer();

}  // namespace coredll
