// Standard input taken away from any terminal while a test runs, so that message boxes of
// the test and of the device programs it starts answer from the script even when the tests
// are run by hand in a terminal.
#pragma once

#include <fcntl.h>
#include <unistd.h>

namespace stowkit::testing {

class NoTerminal {
 public:
  NoTerminal() : saved_(dup(STDIN_FILENO)) {
    int null = open("/dev/null", O_RDONLY);
    dup2(null, STDIN_FILENO);
    close(null);
  }
  ~NoTerminal() {
    dup2(saved_, STDIN_FILENO);
    close(saved_);
  }
  NoTerminal(const NoTerminal&) = delete;
  NoTerminal& operator=(const NoTerminal&) = delete;

 private:
  int saved_;
};

}  // namespace stowkit::testing
