// Runs a host tool as a user would from a shell: its exit status, standard output and
// standard error kept apart.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/temp_device.h"

namespace stowkit::testing {

struct ToolResult {
  int status = -1;
  std::string out;
  std::string err;
};

inline std::string ShellQuote(const std::string& arg) {
  std::string quoted = "'";
  for (char c : arg) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// Runs `command` with /bin/sh in `folder`, which also receives the standard error.
inline ToolResult RunShell(const std::string& command, const std::string& folder) {
  std::string line = "cd " + ShellQuote(folder) + " && " + command + " 2>" + ShellQuote(folder + "/.stderr");
  ToolResult result;
  FILE* pipe = popen(line.c_str(), "r");
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) result.out.append(buffer, n);
  result.status = WEXITSTATUS(pclose(pipe));
  result.err = ReadHostFile(folder + "/.stderr");
  return result;
}

// `command` on a terminal of its own: the pseudo-terminal that `script` makes gets its
// standard output and error both, with a terminal's line ends ("\r\n"); `out` is what the
// terminal received.
inline ToolResult RunOnTerminal(const std::string& command, const std::string& folder) {
  return RunShell("script -qec " + ShellQuote(command) + " /dev/null </dev/null", folder);
}

// `program` with each argument quoted.
inline std::string CommandLine(const std::string& program, const std::vector<std::string>& args) {
  std::string command = ShellQuote(program);
  for (const std::string& a : args) command += " " + ShellQuote(a);
  return command;
}

}  // namespace stowkit::testing
