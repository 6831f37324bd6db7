// What the command lines of both host tools share: the version they print, the word that
// names no command, and the usage line of a command whose words are all its program's.
#pragma once

#include <CLI/CLI.hpp>

#include <optional>
#include <string>

namespace stowkit::tool {

inline std::string VersionText(const std::string& tool) { return tool + " " + STOWKIT_VERSION; }

// The first word that stands where a command must and names none, if any. CLI11 reports
// it as a missing command or as an unexpected argument; neither names the word.
inline std::optional<std::string> UnknownCommand(CLI::App& app, int argc, char** argv) {
  CLI::App* current = &app;
  for (int i = 1; i < argc; ++i) {
    std::string word = argv[i];
    if (word == "--") return std::nullopt;
    if (word.size() > 1 && word[0] == '-') {
      if (word.find('=') != std::string::npos) continue;
      const CLI::Option* option = current->get_option_no_throw(word);
      if (option && option->get_items_expected_min() > 0) ++i;  // its value
      continue;
    }
    if (current->get_prefix_command()) return std::nullopt;
    auto named = current->get_subcommands([&](CLI::App* sub) { return sub->check_name(word); });
    if (!named.empty()) {
      current = named.front();
      continue;
    }
    auto commands = current->get_subcommands([](CLI::App* sub) { return !sub->get_name().empty(); });
    auto positionals = current->get_options([](const CLI::Option* o) { return o->get_positional(); });
    if (commands.empty() || !positionals.empty()) return std::nullopt;
    return word;
  }
  return std::nullopt;
}

// For a command that takes no options of its own, only the words it hands on.
class WordsUsage : public CLI::Formatter {
 public:
  explicit WordsUsage(std::string words) : words_(std::move(words)) {}
  std::string make_usage(const CLI::App*, std::string name) const override {
    return "Usage: " + name + " " + words_ + "\n";
  }

 private:
  std::string words_;
};

}  // namespace stowkit::tool
