// The progress dialog in a real terminal: the installer runs in a tmux pane through
// `stowkit-device run`, and the dialog is read back from the screen. And in pictures of the
// screen, read back with libpng.
#include <png.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "package/vocabulary.h"
#include "support/device_profile.h"
#include "support/installer_device.h"
#include "support/tmux.h"
#include "support/tool_run.h"

namespace stowkit {
namespace {

using Clock = std::chrono::steady_clock;

// Row and column of the first line of the screen that contains `text`; -1, -1 when none does.
std::pair<int, int> Where(const std::string& screen, const std::string& text) {
  int row = 0;
  for (size_t start = 0; start < screen.size(); ++row) {
    size_t end = screen.find('\n', start);
    if (end == std::string::npos) end = screen.size();
    size_t at = screen.substr(start, end - start).find(text);
    if (at != std::string::npos) return {row, int(at)};
    start = end + 1;
  }
  return {-1, -1};
}

// The progress dialog's template asks to be centred. Its 85 dialog units are 11 rows, 13
// with the frame, and the pane's 40 rows leave 39 to draw in (the last takes the cursor):
// its top edge is on row (39 - 13) / 2. Its 120 units are 30 columns, 32 with the frame,
// in the middle of the pane's 80.
constexpr int kCentredTopRow = 13;
constexpr int kCentredColumn = 24;

class DialogScreenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::system("tmux -V >/dev/null 2>&1") != 0) GTEST_SKIP() << "tmux cannot start here";
  }

  void Run(testing::Tmux& tmux, const std::string& mode, const std::string& package,
           const std::vector<std::string>& more = {}) {
    std::vector<std::string> arguments = {"--device", device_.folder(), "run",
                                          "\\Windows\\stowkit.exe", mode, package};
    arguments.insert(arguments.end(), more.begin(), more.end());
    std::string command = testing::CommandLine(testing::BinPath("stowkit-device"), arguments);
    // The pane's command is written in double quotes by Start.
    for (size_t at = 0; (at = command.find('\\', at)) != std::string::npos; at += 2) {
      command.insert(at, "\\");
    }
    if (!tmux.Start(command)) GTEST_SKIP() << "tmux cannot start here";
  }

  std::string Socket(const std::string& name) const {
    return device_.folder() + "/" + name + ".tmux";
  }

  testing::InstallerDevice device_;
};

TEST_F(DialogScreenTest, ASuccessfulInstallShowsItsStagesAndOutcomeAndClosesTwoSecondsLater) {
  // The package's library waits in its pre-install hook, so the stage stays on screen.
  testing::PackageLayout layout = testing::AppPackage(u"Demo");
  layout.entries.push_back(testing::CustomLibraryEntry("libhook_recorder.so"));
  layout.entries.push_back(testing::FileEntry("x", true, u"\\Apps\\x.txt"));
  device_.WritePackage(layout);
  testing::Tmux tmux(Socket("ok"));
  Run(tmux, "/i", "\\Temp\\app.pkg", {"/DHOOKWAIT", "1500"});

  // The stage's text comes first and its step of the bar after it: waiting for the text
  // alone could catch the bar a step behind.
  std::string screen = tmux.WaitFor("[####................]");
  EXPECT_NE(screen.find("| Performing pre-install"), std::string::npos) << screen;
  EXPECT_NE(screen.find("+- Installing Demo Display .. -+"), std::string::npos)
      << "the title, cut to the template's width\n" << screen;
  EXPECT_EQ(Where(screen, "+- Installing Demo Display"),
            std::make_pair(kCentredTopRow, kCentredColumn))
      << "the shell's full-screen sizing leaves the template's proportions on a terminal\n"
      << screen;
  std::pair<int, int> bar = Where(screen, "[####................]");
  EXPECT_NE(bar.first, -1) << "the bar at 2 of 10\n" << screen;
  EXPECT_EQ(Where(screen, "| \\V/ "), std::make_pair(bar.first, kCentredColumn))
      << "the normal icon's picture left of the bar\n" << screen;
  EXPECT_EQ(Where(screen, "|[___]"), std::make_pair(bar.first + 1, kCentredColumn)) << screen;
  EXPECT_EQ(screen.find("#103"), std::string::npos) << screen;

  // The title, the status line and the icon change one after another, each drawn at once:
  // the icon comes last, so the screen is whole once it shows.
  screen = tmux.WaitFor("|   / ");
  Clock::time_point shown = Clock::now();
  EXPECT_NE(screen.find("| completed "), std::string::npos) << screen;
  EXPECT_NE(screen.find("+- Installation of Demo Displ -+"), std::string::npos)
      << "the title\n" << screen;
  EXPECT_NE(screen.find("| Installation of Demo Display |"), std::string::npos)
      << "the status line, wrapped at its width inside the template's frame\n" << screen;
  EXPECT_NE(screen.find("|   / "), std::string::npos) << "the success icon\n" << screen;
  EXPECT_NE(screen.find("| \\/  "), std::string::npos) << screen;
  EXPECT_NE(screen.find("[####################]"), std::string::npos)
      << "a full bar\n" << screen;

  screen = tmux.WaitFor("exit 0", 10);
  double seconds = std::chrono::duration<double>(Clock::now() - shown).count();
  EXPECT_NE(screen.find("exit 0"), std::string::npos) << screen;
  EXPECT_GT(seconds, 1.5);
  EXPECT_LT(seconds, 4.0);
}

TEST_F(DialogScreenTest, AFailedRunShowsTheErrorBoxAndClosesAfterOk) {
  testing::WriteHostFile(device_.Host("Temp/broken.pkg"), "not a package");
  // A device without the shell library: the dialog keeps its template's size.
  ASSERT_TRUE(testing::SetProfileLine(device_, "aygshell = true", "aygshell = false"));
  testing::Tmux tmux(Socket("failed"));
  Run(tmux, "/i", "\\Temp\\broken.pkg");

  // A package that cannot be opened never names itself: the texts have an empty name.
  std::string screen = tmux.WaitFor("[O]K");
  EXPECT_NE(screen.find("+- Installation of  failed -"), std::string::npos) << screen;
  EXPECT_EQ(Where(screen, "+- Installation of  failed -"),
            std::make_pair(kCentredTopRow, kCentredColumn))
      << "its 32 columns with the frame in the middle of 80, the error box below it\n"
      << screen;
  EXPECT_EQ(screen.find(" / \\ "), std::string::npos) << "the failure icon is hidden\n" << screen;
  EXPECT_EQ(screen.find("[#"), std::string::npos) << "the bar is hidden\n" << screen;
  tmux.Keys("o");
  screen = tmux.WaitFor("exit 101");
  EXPECT_NE(screen.find("exit 101"), std::string::npos) << screen;
}

// Pictures of the device's screen, without a terminal: every change of the dialog saved as
// a PNG at the profile's resolution.
struct Png {
  int width = 0, height = 0;
  std::vector<unsigned char> rgb;

  bool Dark(int x, int y) const {
    const unsigned char* p = &rgb[(size_t(y) * size_t(width) + size_t(x)) * 3];
    return p[0] < 0x60 && p[1] < 0x60 && p[2] < 0x60;
  }
  bool Green(int x, int y) const {
    const unsigned char* p = &rgb[(size_t(y) * size_t(width) + size_t(x)) * 3];
    return p[1] > 0x80 && p[0] < 0x40 && p[2] < 0x40;
  }
  int Count(int x0, int y0, int x1, int y1, bool (Png::*test)(int, int) const) const {
    int n = 0;
    for (int y = y0; y < y1 && y < height; ++y) {
      for (int x = x0; x < x1 && x < width; ++x) n += (this->*test)(x, y);
    }
    return n;
  }
};

bool ReadPng(const std::string& path, Png& out) {
  png_image image = {};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
  image.format = PNG_FORMAT_RGB;
  out.width = int(image.width);
  out.height = int(image.height);
  out.rgb.resize(PNG_IMAGE_SIZE(image));
  bool read = png_image_finish_read(&image, nullptr, out.rgb.data(), 0, nullptr);
  png_image_free(&image);
  return read;
}

// The pictures of a folder, in the order they were taken.
std::vector<Png> Screenshots(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().string());
  }
  std::sort(names.begin(), names.end());
  std::vector<Png> pictures;
  for (const std::string& name : names) {
    Png png;
    EXPECT_TRUE(ReadPng(name, png)) << name;
    pictures.push_back(std::move(png));
  }
  return pictures;
}

TEST(DialogPicturesTest, RunWithScreenshotsSavesEachChangeAtTheProfilesResolution) {
  for (bool smartphone : {false, true}) {
    SCOPED_TRACE(smartphone ? "Smartphone" : "Pocket PC");
    testing::InstallerDevice device;
    if (smartphone) {
      ASSERT_TRUE(testing::SetProfileLine(device, "PocketPC", "Smartphone"));
    }
    testing::PackageLayout layout = testing::AppPackage(u"Demo");
    layout.entries.push_back(testing::FileEntry("x", true, u"\\Apps\\x.txt"));
    device.WritePackage(layout);
    std::string shots = device.folder() + "/shots";
    testing::ToolResult run = testing::RunShell(
        testing::CommandLine(testing::BinPath("stowkit-device"),
                             {"--device", device.folder(), "run", "--screenshots", shots,
                              "\\Windows\\stowkit.exe", "/i", "\\Temp\\app.pkg"}),
        device.folder());
    ASSERT_EQ(run.status, 0) << run.err;

    std::vector<Png> pictures = Screenshots(shots);
    ASSERT_GE(pictures.size(), 2u) << "the dialog shown, then its stages and outcome";
    for (size_t i = 0; i < pictures.size(); ++i) {
      EXPECT_EQ(pictures[i].width, smartphone ? 176 : 240) << i;
      EXPECT_EQ(pictures[i].height, smartphone ? 220 : 320) << i;
      if (i > 0) {
        EXPECT_NE(pictures[i].rgb, pictures[i - 1].rgb) << "picture " << i << " is no change";
      }
    }
    // The last shows the outcome: the status line's text in the top third of the dialog,
    // which the shell sized to the screen, and the success icon's tick at its lower left.
    const Png& last = pictures.back();
    int w = last.width, h = last.height;
    EXPECT_GT(last.Count(0, h / 12, w, h / 4, &Png::Dark), 40) << "dark text on the dialog's face";
    EXPECT_GT(last.Count(0, 0, w, h, &Png::Green), 0) << "the tick";
    EXPECT_EQ(last.Count(w / 3, 0, w, h, &Png::Green), 0) << "the tick stays at the left";
  }
}

}  // namespace
}  // namespace stowkit
