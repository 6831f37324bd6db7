// What a host tool makes for no longer than it runs (a throwaway device, an output file
// still being written) taken away again when a signal stops the tool: SIGINT, SIGTERM,
// SIGHUP or SIGQUIT (one the tool was started with ignored stays ignored). The tool then
// ends by that signal, as it would have without this.
//
// The removal runs in the signal handler on the main thread, which stays where the signal
// found it meanwhile, so nothing the tool does goes on beside it; it uses only calls a signal
// handler may make. A device program the tool waits for is killed first, so that it writes
// nothing more into what is removed. SIGKILL leaves no chance: ThrowawayDevice clears what it
// leaves at its next run.
#pragma once

#include <sys/types.h>

#include <string>

namespace stowkit::tool {

// Removes `path`, a file or a folder with everything below it, when a stop signal arrives
// while the object lives. The first one puts the handlers in place. Main thread only.
class RemovedOnStop {
 public:
  explicit RemovedOnStop(const std::string& path);
  ~RemovedOnStop();
  RemovedOnStop(const RemovedOnStop&) = delete;
  RemovedOnStop& operator=(const RemovedOnStop&) = delete;

 private:
  int slot_ = -1;
};

// The program the tool now waits for (0: none), to be killed before anything is removed.
void SetWaitedProgram(pid_t pid);

}  // namespace stowkit::tool
