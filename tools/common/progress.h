// How far long work has come, as one line on the terminal redrawn in place and wiped when
// the work ends; nothing at all when standard error is no terminal, so that pipes, logs and
// scripts get the results alone.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace stowkit::tool {

class Progress {
 public:
  // `what` leads every line: "verify", "check".
  explicit Progress(std::string what);
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  // "what: text".
  void Show(const std::string& text);
  // "what: text done of total".
  void Count(const std::string& text, uint64_t done, uint64_t total);
  // Wipes the line, before anything else is written to the terminal.
  void Clear();

 private:
  std::string what_;
  bool terminal_ = false;
  bool drawn_ = false;
  std::chrono::steady_clock::time_point last_count_;
};

}  // namespace stowkit::tool
