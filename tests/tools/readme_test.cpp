// The README as users read it: its walk-through run command by command, and its command
// synopses held against what each tool's --help lists.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/tool_run.h"

namespace stowkit::testing {
namespace {

const std::string kBin = BinPath("");

std::vector<std::string> ReadmeLines() {
  std::vector<std::string> lines;
  std::istringstream in(ReadHostFile(STOWKIT_README));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The lines of the section headed `heading`, up to the next heading of any level above four.
std::vector<std::string> Section(const std::string& heading) {
  std::vector<std::string> lines = ReadmeLines(), section;
  bool inside = false;
  for (const std::string& line : lines) {
    if (inside && (line.rfind("## ", 0) == 0 || line.rfind("### ", 0) == 0)) break;
    if (inside) section.push_back(line);
    if (line == heading) inside = true;
  }
  return section;
}

// A fenced block of the walk-through and the prose just before it, which names the file a
// block without "$ " lines holds.
struct Block {
  std::string prose;
  std::vector<std::string> lines;
};

std::vector<Block> Blocks(const std::vector<std::string>& section) {
  std::vector<Block> blocks;
  std::string prose;
  for (size_t i = 0; i < section.size(); ++i) {
    if (section[i].rfind("```", 0) != 0) {
      prose += section[i] + "\n";
      continue;
    }
    Block block{prose, {}};
    for (++i; i < section.size() && section[i] != "```"; ++i) block.lines.push_back(section[i]);
    blocks.push_back(block);
    prose.clear();
  }
  return blocks;
}

std::string Joined(const std::vector<std::string>& lines, size_t from = 0) {
  std::string text;
  for (size_t i = from; i < lines.size(); ++i) text += lines[i] + "\n";
  return text;
}

// The last file of the package folder the prose names, e.g. `hello.toml`; empty if none.
std::string NamedFile(const std::string& prose) {
  std::string name;
  std::regex file("`(hello\\.[a-z]+)`");
  for (std::sregex_iterator it(prose.begin(), prose.end(), file), end; it != end; ++it) {
    name = (*it)[1];
  }
  return name;
}

void ReplaceAll(std::string* text, const std::string& from, const std::string& to) {
  for (size_t at = 0; (at = text->find(from, at)) != std::string::npos; at += to.size()) {
    text->replace(at, from.size(), to);
  }
}

// What differs between machines and runs, and nothing else: the size and CRC of the
// uninstaller (a copy of the build's installer program) and of the install log (it holds
// times), and the device folder, a temporary folder of the test's own.
std::string Normalised(std::string text, const std::string& device) {
  ReplaceAll(&text, device, "/tmp/dev");
  static const std::regex varying(
      R"((\\Stowkit_log_[^ ]+|\\Windows\\AppMgr\\[^\\]+ Remove\.exe)  \d+ bytes, (\S+), crc [0-9a-f]{8})");
  return std::regex_replace(text, varying, "$1  N bytes, $2, crc X");
}

// The dialog's last screen in an 80 x 24 terminal: a tmux pane of that size of its own.
std::string DialogScreen(const std::string& command, const std::string& folder) {
  const std::string tmux = "tmux -S " + ShellQuote(folder + "/.tmux") + " ";
  std::string pane = "cd " + ShellQuote(folder) + " && " + command + "; echo exit $?; sleep 60";
  std::system((tmux + "new-session -d -x 80 -y 24 " + ShellQuote(pane) + " >/dev/null 2>&1").c_str());
  std::string screen;
  for (int i = 0; i < 1500 && screen.find("\nexit ") == std::string::npos; ++i) {
    screen = RunShell(tmux + "capture-pane -p", folder).out;
    RunShell("sleep 0.02", folder);
  }
  std::system((tmux + "kill-server >/dev/null 2>&1").c_str());
  return screen;
}

std::string TrimRight(std::string text) {
  std::string trimmed;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    line.erase(line.find_last_not_of(' ') + 1);
    trimmed += line + "\n";
  }
  while (trimmed.size() > 1 && trimmed.substr(trimmed.size() - 2) == "\n\n") trimmed.pop_back();
  return trimmed;
}

TEST(ReadmeWalkThrough, EveryCommandPrintsWhatTheReadmeShows) {
  const std::vector<Block> blocks = Blocks(Section("### From manifest to CI, step by step"));
  ASSERT_GT(blocks.size(), 5u);
  char pattern[] = "/tmp/stowkit-readme-XXXXXX";
  const std::string folder = mkdtemp(pattern);
  const std::string device = folder + "/dev";
  std::filesystem::create_directory(folder + "/hello");
  int commands = 0;
  for (const Block& block : blocks) {
    const std::string text = Joined(block.lines);
    if (block.lines.empty() || block.lines[0].rfind("$ ", 0) != 0) {
      const std::string name = NamedFile(block.prose);
      if (!name.empty()) {
        WriteHostFile(folder + "/hello/" + name, text);
      } else if (block.prose.find("before the AppFile") != std::string::npos) {
        std::string manifest = ReadHostFile(folder + "/hello/hello.toml");
        size_t at = manifest.find("[[entry]]\ntype = \"AppFile\"");
        ASSERT_NE(at, std::string::npos);
        WriteHostFile(folder + "/hello/hello.toml", manifest.insert(at, text + "\n"));
      }
      continue;
    }
    for (size_t i = 0; i < block.lines.size(); ++i) {
      if (block.lines[i].rfind("$ ", 0) != 0) continue;
      size_t end = i + 1;
      while (end < block.lines.size() && block.lines[end].rfind("$ ", 0) != 0) ++end;
      std::string command = block.lines[i].substr(2);
      const std::vector<std::string> shown(block.lines.begin() + i + 1, block.lines.begin() + end);
      ReplaceAll(&command, "build/bin/", kBin);
      ReplaceAll(&command, "/tmp/dev", device);
      SCOPED_TRACE(block.lines[i]);
      ++commands;
      if (block.prose.find("with the dialog") != std::string::npos) {
        std::string screen = DialogScreen(command, folder);
        EXPECT_NE(screen.find("exit 0"), std::string::npos) << screen;
        screen = screen.substr(0, screen.find("\nexit ") + 1);
        EXPECT_EQ(TrimRight(screen), TrimRight(Joined(shown)));
      } else {
        ToolResult run = RunShell("{ " + command + " 2>&1; }", folder);
        EXPECT_EQ(Normalised(run.out, device), Normalised(Joined(shown), device));
      }
    }
  }
  EXPECT_GE(commands, 12);
  std::filesystem::remove_all(folder);
}

// The first word after the tool's name (and its --device option) on the README's synopsis
// lines: the commands the README documents.
std::set<std::string> ReadmeCommands(const std::string& tool) {
  std::set<std::string> commands;
  const std::regex synopsis("^build/bin/" + tool + "(?: --device \\S+)? ([a-z][a-z-]*)");
  for (const std::string& line : ReadmeLines()) {
    std::smatch match;
    if (std::regex_search(line, match, synopsis)) commands.insert(match[1]);
  }
  return commands;
}

// The commands the tool's --help lists under its subcommands heading.
std::set<std::string> HelpCommands(const std::string& tool) {
  std::set<std::string> commands;
  std::istringstream help(RunShell(ShellQuote(kBin + tool) + " --help", "/tmp").out);
  bool listing = false;
  static const std::regex command("^  ([a-z][a-z-]*)\\b");
  for (std::string line; std::getline(help, line);) {
    std::string lower = line;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower.find("subcommands:") != std::string::npos) {
      listing = true;
      continue;
    }
    std::smatch match;
    if (listing && line.empty()) break;
    if (listing && std::regex_search(line, match, command)) commands.insert(match[1]);
  }
  return commands;
}

TEST(ReadmeWalkThrough, ReadmeAndHelpListEveryCommand) {
  for (const std::string tool : {"stowkit-pack", "stowkit-device"}) {
    SCOPED_TRACE(tool);
    const std::set<std::string> readme = ReadmeCommands(tool), help = HelpCommands(tool);
    EXPECT_GT(help.size(), 5u);
    EXPECT_EQ(readme, help);
  }
}

}  // namespace
}  // namespace stowkit::testing
