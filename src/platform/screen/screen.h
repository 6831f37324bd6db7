// The device's screen: the terminal the program runs in, when standard input and output are
// both terminals. This process's visible dialogs and message boxes are drawn there, in the
// order they were made, each time something on them changed and the program lets the
// screen catch up (UpdateWindow, or waiting for messages). With nothing left to show, the
// screen keeps what it showed last. Drawing uses plain ANSI sequences: clear and home.
// Pictures of the screen (screen_picture.h) are taken at the same moments, terminal or not.
#pragma once

#include <termios.h>

#include <string>
#include <string_view>
#include <vector>

namespace coredll {

bool HasTerminal();

// Something shown changed: the next DrawIfChanged draws.
void MarkScreenChanged();
void DrawIfChanged();

// The terminal in raw mode (no echo, no line editing) while a message box waits for a key.
class KeyInput {
 public:
  KeyInput();
  ~KeyInput();
  KeyInput(const KeyInput&) = delete;
  KeyInput& operator=(const KeyInput&) = delete;

  int fd() const;
  // The keys typed since the last read, in order, each as its bytes (an escape sequence
  // stays whole); empty at the end of input.
  std::vector<std::string> Read();

 private:
  bool restore_ = false;
  struct termios saved_;
};

// `bytes` read from the terminal, cut into key presses: a lone escape, an escape sequence
// ("\x1b[A", "\x1bOP", an Alt chord), or one byte otherwise.
std::vector<std::string> SplitKeys(std::string_view bytes);

}  // namespace coredll
