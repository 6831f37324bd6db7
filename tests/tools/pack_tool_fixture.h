// stowkit-pack run as a user runs it: in a fresh work folder, with paths relative to it, its
// exit status, standard output and standard error kept apart.
#pragma once

#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/child_process.h"
#include "support/temp_device.h"
#include "support/tool_run.h"

namespace stowkit::testing {

// One entry of a dump, as the text shows it.
struct DumpedEntry {
  std::string type;
  unsigned flags = 0;
  uint32_t offset = 0;
  uint32_t length = 0;
};

inline std::vector<DumpedEntry> ParseDump(const std::string& dump) {
  std::vector<DumpedEntry> entries;
  std::istringstream lines(dump);
  std::string line;
  while (std::getline(lines, line)) {
    size_t colon = line.find(": ");
    if (colon == std::string::npos) continue;
    std::string label = line.substr(0, colon), value = line.substr(colon + 2);
    label.erase(0, label.find_first_not_of(' '));
    if (label.rfind("Entry ", 0) == 0 && label != "Entry Flags") {
      entries.push_back({value});
    } else if (entries.empty()) {
      continue;
    } else if (label == "Entry Flags") {
      entries.back().flags = std::stoul(value.substr(2, 2), nullptr, 16);
    } else if (label == "BlobOffset") {
      entries.back().offset = uint32_t(std::stoul(value));
    } else if (label == "BlobLength") {
      entries.back().length = uint32_t(std::stoul(value));
    }
  }
  return entries;
}

class PackToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/stowkit-pack-XXXXXX";
    work_ = mkdtemp(pattern);
  }
  void TearDown() override { std::filesystem::remove_all(work_); }

  // Runs a shell command in the work folder.
  ToolResult Shell(const std::string& command) { return RunShell(command, work_); }

  // `environment`: assignments put before the command, e.g. "STOWKIT_FAULTS='read=5'".
  ToolResult Pack(const std::vector<std::string>& args, const std::string& environment = "") {
    return Shell(environment + " " + CommandLine(BinPath("stowkit-pack"), args));
  }

  // Builds, and fails the test when the build does.
  void MustBuild(const std::string& manifest, const std::string& output) {
    ToolResult built = Pack({"build", manifest, "-o", output});
    ASSERT_EQ(built.status, 0) << built.err;
  }

  std::vector<DumpedEntry> Entries(const std::string& package) {
    ToolResult dump = Pack({"dump", package});
    EXPECT_EQ(dump.status, 0) << dump.err;
    return ParseDump(dump.out);
  }

  void Write(const std::string& relative, const std::string& content) {
    std::filesystem::path path = work_ + "/" + relative;
    std::filesystem::create_directories(path.parent_path());
    WriteHostFile(path.string(), content);
  }
  std::string Read(const std::string& relative) { return ReadHostFile(work_ + "/" + relative); }
  bool Exists(const std::string& relative) { return std::filesystem::exists(work_ + "/" + relative); }

  std::string work_;
};

// Reproducible content: text-like (compresses well) or noise (does not).
inline std::string TextContent(size_t size, unsigned seed) {
  static const char* words[] = {"alpha ", "bravo ", "charlie ", "delta ", "echo\n", "foxtrot ", "golf "};
  std::string out;
  for (unsigned x = seed; out.size() < size; x = x * 1103515245u + 12345u) out += words[(x >> 16) % 7];
  out.resize(size);
  return out;
}

inline std::string NoiseContent(size_t size, unsigned seed) {
  std::string out(size, '\0');
  for (unsigned x = seed, i = 0; i < size; ++i, x = x * 1103515245u + 12345u) out[i] = char(x >> 16);
  return out;
}

}  // namespace stowkit::testing
