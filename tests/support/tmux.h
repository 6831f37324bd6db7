// A tmux server of its own for one test: a command runs in a pane whose screen the test
// reads back and types into.
#pragma once

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace stowkit::testing {

// One tmux server of its own, running one command in an 80 x 40 pane that stays open after
// the command, which ends by writing "exit N".
class Tmux {
 public:
  explicit Tmux(const std::string& socket) : socket_(socket) {}
  ~Tmux() { Run("kill-server"); }

  bool Start(const std::string& command) {
    return Run("new-session -d -x 80 -y 40 \"" + command + "; echo exit \\$?; sleep 60\"") == 0;
  }

  std::string Screen() const {
    std::string text;
    FILE* pane = popen(("tmux -S " + socket_ + " capture-pane -p 2>/dev/null").c_str(), "r");
    if (!pane) return text;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pane)) > 0;) text.append(buffer, n);
    pclose(pane);
    return text;
  }

  // The screen once it shows `wanted`, or as it is after `seconds`.
  std::string WaitFor(const std::string& wanted, int seconds = 5) const {
    std::string screen;
    for (int i = 0; i < seconds * 50 && (screen = Screen()).find(wanted) == std::string::npos; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return screen;
  }

  void Keys(const std::string& keys) { Run("send-keys " + keys); }

 private:
  int Run(const std::string& arguments) const {
    return std::system(("tmux -S " + socket_ + " " + arguments + " >/dev/null 2>&1").c_str());
  }

  std::string socket_;
};

}  // namespace stowkit::testing
