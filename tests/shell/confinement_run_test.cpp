// Hostile packages against the device's boundary: destinations, link names, log paths,
// support file names and registry texts that try to reach outside the device folder through
// "..", host paths, links planted in the device, or very long and odd names. Nothing is ever
// written outside the device folder, and each attempt ends with the platform's own error.
#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>

#include "package/vocabulary.h"
#include "services/platform_services.h"
#include "support/installer_device.h"
#include "support/no_terminal.h"
#include "text/utf.h"

namespace stowkit {
namespace {

namespace fs = std::filesystem;
using testing::EntryLayout;
using ::testing::HasSubstr;
using testing::PackageLayout;

constexpr DWORD kFailedInstall = 101;

// The platform's text for an error that refuses a path, as the log shows it.
std::string Refusal(DWORD error) { return Utf16ToUtf8(ErrorText(error)); }

using testing::RegistryText;

EntryLayout Entry(uint8_t type, testing::Properties properties) {
  return testing::Entry(type, kShouldInstall, std::move(properties));
}

PackageLayout AppWith(std::vector<EntryLayout> entries) {
  PackageLayout layout = testing::AppPackage(u"Escape");
  layout.entries = std::move(entries);
  return layout;
}

// Every name and byte under `folder`.
std::map<std::string, std::string> Tree(const std::string& folder) {
  std::map<std::string, std::string> tree;
  for (const auto& item : fs::recursive_directory_iterator(folder)) {
    bool file = item.is_regular_file() && !item.is_symlink();
    tree[item.path().string()] = file ? testing::ReadHostFile(item.path().string()) : "";
  }
  return tree;
}

class ConfinementTest : public ::testing::Test {
 protected:
  ConfinementTest() {
    char pattern[] = "/tmp/stowkit-outside-XXXXXX";
    outside_ = mkdtemp(pattern);
    testing::WriteHostFile(outside_ + "/kept.txt", "outside");
    outside_before_ = Tree(outside_);
    device_top_ = TopNames();
  }
  ~ConfinementTest() override { fs::remove_all(outside_); }

  // Installs `layout` ("/is" and the package, then `more`) and returns the exit code.
  // Afterwards nothing outside fs/ has changed: the folder that planted links point to, the
  // device folder's own files, and the folders that ".." from fs/ would reach.
  DWORD Install(const PackageLayout& layout, const std::u16string& mode = u"/is",
                const std::u16string& more = u"") {
    device_.WritePackage(layout);
    DWORD code = device_.Run(mode + u" \\Temp\\app.pkg" + more);
    ExpectNothingOutside();
    return code;
  }

  void ExpectNothingOutside() {
    EXPECT_EQ(Tree(outside_), outside_before_);
    EXPECT_EQ(TopNames(), device_top_);
    std::string parent = fs::path(device_.folder()).parent_path().string();
    for (const char* name : {"escape", "escape.txt", "escape.log", "escape.dll", "escape.lnk"}) {
      EXPECT_FALSE(fs::exists(parent + "/" + name)) << name;
      EXPECT_FALSE(fs::exists(device_.folder() + "/" + name)) << name;
      EXPECT_FALSE(fs::exists("/" + std::string(name))) << name;
    }
  }

  // The device folder's own entries but the registry's files, which come and go.
  std::set<std::string> TopNames() const {
    std::set<std::string> names;
    for (const auto& item : fs::directory_iterator(device_.folder())) {
      std::string name = item.path().filename().string();
      if (name.rfind("registry.db", 0) != 0) names.insert(name);
    }
    return names;
  }

  std::string Log() const { return device_.Log("Stowkit_log_Escape.txt"); }

  testing::NoTerminal no_terminal_;
  testing::InstallerDevice device_;
  std::string outside_;
  std::map<std::string, std::string> outside_before_;
  std::set<std::string> device_top_;
};

// Files are retried before they fail, folders are not: folder entries make the quick cases.
EntryLayout FolderAt(const std::u16string& path) { return Entry(kFolder, {{kDst, path}}); }

TEST_F(ConfinementTest, DotDotInADestinationIsRefused) {
  EXPECT_EQ(
      Install(AppWith({testing::FileEntry("x", true, u"\\Program Files\\..\\..\\escape.txt")})),
      kFailedInstall);
  EXPECT_THAT(Log(), HasSubstr("Error installing file '\\Program Files\\..\\..\\escape.txt': " +
                               Refusal(ERROR_INVALID_NAME)));
  EXPECT_EQ(Install(AppWith({FolderAt(u"$(PROGRAMFILES)\\..\\..\\escape")})), kFailedInstall);
  EXPECT_THAT(Log(), HasSubstr("Error installing folder '\\Program Files\\..\\..\\escape': " +
                               Refusal(ERROR_INVALID_NAME)));
}

// A device path is never a host path: one that spells a host folder names a folder inside
// the device, and a drive letter or a share is no device name at all.
TEST_F(ConfinementTest, HostPathsNameFoldersInsideTheDevice) {
  std::u16string host_folder = Utf8ToUtf16(outside_);
  EXPECT_EQ(Install(AppWith({FolderAt(host_folder),
                             testing::FileEntry("inside", true, host_folder + u"/escape.txt")})),
            0u);
  EXPECT_EQ(testing::ReadHostFile(device_.Host(outside_.substr(1) + "/escape.txt")), "inside");

  EXPECT_EQ(Install(AppWith({FolderAt(u"C:\\escape")})), kFailedInstall);
  EXPECT_THAT(Log(), HasSubstr("'C:\\escape': " + Refusal(ERROR_INVALID_NAME)));
  EXPECT_EQ(Install(AppWith({FolderAt(u"\\\\server\\share\\escape")})), kFailedInstall);
  EXPECT_THAT(Log(), HasSubstr("'\\\\server\\share\\escape': " + Refusal(ERROR_PATH_NOT_FOUND)));
}

// Links have no place on the handheld: a folder or file link, or a second name (hard link)
// of a host file, planted in the device, is refused rather than written through.
TEST_F(ConfinementTest, PlantedLinksAreNeverWrittenThrough) {
  ASSERT_EQ(symlink(outside_.c_str(), device_.Host("Program Files/App").c_str()), 0);
  ASSERT_EQ(
      symlink((outside_ + "/kept.txt").c_str(), device_.Host("Program Files/soft.txt").c_str()), 0);
  ASSERT_EQ(link((outside_ + "/kept.txt").c_str(), device_.Host("Program Files/hard.txt").c_str()),
            0);

  EXPECT_EQ(Install(AppWith({FolderAt(u"\\Program Files\\App\\escape")})), kFailedInstall);
  EXPECT_THAT(Log(), HasSubstr("'\\Program Files\\App\\escape': " + Refusal(ERROR_ACCESS_DENIED)));
  for (const char16_t* planted : {u"\\Program Files\\soft.txt", u"\\Program Files\\hard.txt"}) {
    EXPECT_EQ(Install(AppWith({testing::FileEntry("x", true, planted)})), kFailedInstall);
    EXPECT_THAT(Log(), HasSubstr("Error installing file '" + Utf16ToUtf8(planted) +
                                 "': " + Refusal(ERROR_ACCESS_DENIED)));
  }
}

// A removal deletes its folder with everything in it, but never through a link planted there.
TEST_F(ConfinementTest, RemovalNeverDeletesThroughAPlantedLink) {
  PackageLayout app = AppWith({FolderAt(u"\\Program Files\\App"),
                               testing::FileEntry("app", true, u"\\Program Files\\App\\app.txt")});
  ASSERT_EQ(Install(app), 0u);
  ASSERT_EQ(symlink(outside_.c_str(), device_.Host("Program Files/App/escape").c_str()), 0);
  EXPECT_EQ(Install(app, u"/xs"), 0u);
  EXPECT_FALSE(fs::exists(device_.Host("Program Files/App/app.txt")));
  EXPECT_TRUE(fs::is_symlink(device_.Host("Program Files/App/escape")));
}

TEST_F(ConfinementTest, ShortcutNamesStayInside) {
  EXPECT_EQ(Install(AppWith({Entry(kShortcut, {{kLinkName, u"$(PROGRAMS)\\..\\..\\..\\escape"},
                                               {kLinkTarget, u"\\Windows\\stowkit.exe"}})})),
            kFailedInstall);
  EXPECT_THAT(Log(), HasSubstr("\\Windows\\Start Menu\\Programs\\..\\..\\..\\escape -> "
                               "\\Windows\\stowkit.exe': " +
                               Refusal(ERROR_INVALID_NAME)));
}

// A log that cannot be opened where it is asked for is not written at all; the run goes on.
TEST_F(ConfinementTest, LogPathsStayInside) {
  PackageLayout app = AppWith({testing::FileEntry("app", true, u"\\Temp\\app.txt")});
  EXPECT_EQ(Install(app, u"/is", u" /v \\..\\escape.log"), 0u);
  EXPECT_EQ(testing::ReadHostFile(device_.Host("Temp/app.txt")), "app");

  app.properties.push_back({kLogDst, u"\\Temp\\..\\.."});
  EXPECT_EQ(Install(app), 0u);
  EXPECT_FALSE(fs::exists(device_.Host("Stowkit_log_Escape.txt")));
}

// The application name becomes file names and a registry key: with a separator in it, it
// would be a path, so the run refuses it before it makes anything, and writes no product
// record under it.
TEST_F(ConfinementTest, AnApplicationNameThatIsAPathIsRefused) {
  PackageLayout app = AppWith({testing::FileEntry("app", true, u"\\Temp\\app.txt")});
  app.properties = {{kAppName, u"..\\..\\escape"}};
  EXPECT_EQ(Install(app), kFailedInstall);
  EXPECT_FALSE(fs::exists(device_.Host("Temp/app.txt")));
  EXPECT_TRUE(device_.Names("Windows/AppMgr", "").empty());
  EXPECT_TRUE(device_.Names("Temp", "PKG_").empty());
  HKEY key;
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\TalvenorKitwright\\..", 0, 0, &key),
            ERROR_FILE_NOT_FOUND);

  // Nor does the refused name name a log folder or file: an install logs nowhere (it ends
  // before it chose a log), a removal under the nameless default.
  app.properties = {{kAppName, u"sub\\name"}};
  EXPECT_EQ(Install(app), kFailedInstall);
  EXPECT_EQ(Install(app, u"/xs"), 103u);
  EXPECT_TRUE(device_.Names("", "Stowkit_log").empty());
  EXPECT_FALSE(fs::exists(device_.Host("Unstowkit_log_sub")));
  EXPECT_TRUE(fs::exists(device_.Host("Unstowkit_log_.txt")));
}

TEST_F(ConfinementTest, SupportFileNamesStayInTheWorkFolder) {
  EntryLayout support = testing::FileEntry("support", true, u"..\\..\\escape.dll");
  support.type = kSupportFile;
  EXPECT_EQ(Install(AppWith({support}), u"/is", u" /v \\escape.txt"), kFailedInstall);
  std::string log = device_.Log("escape.txt");
  EXPECT_THAT(log, HasSubstr("..\\..\\escape.dll"));
  EXPECT_THAT(log, HasSubstr("0x8007007b"));
}

// Registry texts reach only the registry: names past the platform's limits are refused
// with its error, and a key named ".." is just a name.
TEST_F(ConfinementTest, RegistryTextsStayInTheRegistry) {
  EXPECT_EQ(Install(AppWith({RegistryText("HKLM, Software\\..\\..\\escape, 0, v, x, ,\n")})), 0u);
  std::string deep = "Software";
  for (int i = 0; i < 20; ++i) deep += "\\k";
  EXPECT_EQ(Install(AppWith({RegistryText("HKLM, " + deep + ", 0, v, x, ,\n")})), kFailedInstall);
  EXPECT_THAT(Log(), HasSubstr("Error writing registry value"));
  EXPECT_EQ(Install(AppWith(
                {RegistryText("HKLM, Software\\" + std::string(300, 'k') + ", 0, v, x, ,\n")})),
            kFailedInstall);
  EXPECT_THAT(Log(), HasSubstr("Error writing registry value"));
}

TEST_F(ConfinementTest, VeryLongAndOddNamesAreRefused) {
  EXPECT_EQ(Install(AppWith({FolderAt(u"\\Temp\\" + std::u16string(300, u'a'))})), kFailedInstall);
  EXPECT_THAT(Log(), HasSubstr(Refusal(ERROR_FILENAME_EXCED_RANGE)));
  // Short enough for the device, too long a name for the host once in UTF-8.
  EXPECT_EQ(Install(AppWith({FolderAt(u"\\Temp\\" + std::u16string(200, u'\u00e9'))})),
            kFailedInstall);
  EXPECT_THAT(Log(), HasSubstr(Refusal(ERROR_FILENAME_EXCED_RANGE)));
  for (const char16_t* odd : {u"\\Temp\\a|b",
                              u"\\Temp\\a\x01"
                              u"b",
                              u"\\Temp\\a<b>", u"\\Temp\\*"}) {
    EXPECT_EQ(Install(AppWith({FolderAt(odd)})), kFailedInstall);
    EXPECT_THAT(Log(), HasSubstr(Refusal(ERROR_INVALID_NAME)));
  }
}

}  // namespace
}  // namespace stowkit
