// A fresh device with an engine on it, for the catalog steps: a package made of hand-laid
// entries is opened as the engine's package, every Detail line is kept, and message boxes
// answer from the device's scripted answers (else their safe answer, told on stderr).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "coredll/device.h"
#include "engine/engine.h"
#include "engine/report_capture.h"
#include "package/package_bytes.h"
#include "package/vocabulary.h"
#include "resources/ui_strings.h"
#include "services/platform_services.h"
#include "support/child_process.h"
#include "support/no_terminal.h"
#include "support/temp_device.h"
#include "text/format.h"

namespace stowkit::testing {

// The share-holder test program running as the device program kHolderProgram, so that its
// program file is a module of a device process, holding kHolderData open without sharing.
inline constexpr char16_t kHolderProgram[] = u"\\Program Files\\App\\holder.exe";
inline constexpr char16_t kHolderData[] = u"\\Program Files\\App\\data.txt";

inline std::string InstallHolder(const TempDevice& device) {
  std::filesystem::create_directories(device.Host("Program Files/App"));
  device.Install(BinPath("share-holder"), "Program Files/App/holder.exe");
  return device.Host("Program Files/App/holder.exe");
}

class HeldProgram {
 public:
  explicit HeldProgram(const TempDevice& device)
      : process_({InstallHolder(device), device.folder(), "\\Program Files\\App\\data.txt", "r",
                  "-"}) {}
  // True once the program holds both files.
  bool Started() { return process_.ReadLine() == "open"; }

 private:
  ChildProcess process_;
};

class CatalogStepTest : public ::testing::Test {
 protected:
  CatalogStepTest() {
    capture_.owner = nullptr;  // message boxes need a real window or none
    engine_.display_name = u"Demo App";
    engine_.program_path = u"\\Windows\\stowkit.exe";
    engine_.macros.SetMacro(u"APPDIR", u"\\Program Files\\Demo");
    engine_.macros.SetMacro(u"WINDIR", u"\\Windows");
  }

  // Opens a package of `entries` as the engine's package.
  void UsePackage(std::vector<EntryLayout> entries) {
    PackageLayout layout;
    layout.entries = std::move(entries);
    WriteHostFile(device_.Host("Temp/app.pkg"), BuildPackage(layout));
    std::u16string error;
    ASSERT_EQ(OpenPackage(error, u"\\Temp\\app.pkg", engine_.package), S_OK) << "open failed";
  }

  CatalogEntry& EntryAt(int index) { return *engine_.package->GetEntry(index); }
  std::u16string PropertyOf(int index, uint8_t id) {
    std::u16string value;
    EntryAt(index).GetProperty(id, value);
    return value;
  }

  // Device files, by their host path under fs/ ("Program Files/Demo/a.txt").
  std::string Content(const std::string& relative) { return ReadHostFile(device_.Host(relative)); }
  void Put(const std::string& relative, const std::string& content) {
    std::filesystem::create_directories(std::filesystem::path(device_.Host(relative)).parent_path());
    WriteHostFile(device_.Host(relative), content);
  }
  static DWORD Attributes(const std::u16string& path) { return GetFileAttributesW(path.c_str()); }
  static bool Exists(const std::u16string& path) { return Attributes(path) != INVALID_FILE_ATTRIBUTES; }

  void Answers(const std::vector<std::string>& words) {
    std::string error;
    ASSERT_TRUE(coredll::QueueAnswers(words, &error)) << error;
  }
  void Faults(const std::string& rules) {
    std::string error;
    ASSERT_TRUE(coredll::SetFaults(rules, &error)) << error;
  }

  // UI string `id` ("Error ... '%s': %s") as a step reports it.
  static std::u16string ItemError(UiStringId id, std::u16string_view subject, uint32_t error) {
    return Format(LoadUiString(id), subject, ErrorText(error));
  }
  int DetailCount(std::u16string_view line) const {
    return int(std::count(capture_.detail.begin(), capture_.detail.end(), line));
  }
  // The Detail lines that begin like UI string `id` does before its first "%s".
  Lines DetailsOf(UiStringId id) const {
    std::u16string text = LoadUiString(id);
    std::u16string head = text.substr(0, text.find(u"%s"));
    Lines found;
    for (const std::u16string& line : capture_.detail) {
      if (line.starts_with(head)) found.push_back(line);
    }
    return found;
  }

  TempDevice device_;
  NoTerminal no_terminal_;
  ReportCapture capture_;
  Engine engine_;
};

}  // namespace stowkit::testing
