#include "progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

namespace stowkit::tool {
namespace {

// A line longer than the terminal would wrap, and "\r" would then redraw only its end.
size_t TerminalWidth() {
  winsize size{};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1) return size.ws_col - 1;
  return 79;
}

}  // namespace

Progress::Progress(std::string what) : what_(std::move(what)), terminal_(isatty(STDERR_FILENO) == 1) {}

Progress::~Progress() { Clear(); }

void Progress::Show(const std::string& text) {
  if (!terminal_) return;
  std::string line = what_ + ": " + text;
  if (line.size() > TerminalWidth()) line.resize(TerminalWidth());
  std::fputs(("\r\033[K" + line).c_str(), stderr);
  std::fflush(stderr);
  drawn_ = true;
}

void Progress::Count(const std::string& text, uint64_t done, uint64_t total) {
  // Thousands of small entries go by faster than anyone reads: a few redraws a second do.
  auto now = std::chrono::steady_clock::now();
  if (drawn_ && done < total && now - last_count_ < std::chrono::milliseconds(100)) return;
  last_count_ = now;
  Show(text + " " + std::to_string(done) + " of " + std::to_string(total));
}

void Progress::Clear() {
  if (!drawn_) return;
  std::fputs("\r\033[K", stderr);
  std::fflush(stderr);
  drawn_ = false;
}

}  // namespace stowkit::tool
