#include "platform/device/profile.h"

#include <sstream>

#include <toml++/toml.h>

#include "text/utf.h"

namespace coredll {
namespace {

using stowkit::Utf16ToUtf8;
using stowkit::Utf8ToUtf16;

struct FolderName {
  int id;
  const char* key;
};

constexpr FolderName kFolderNames[] = {
    {kCsidlPrograms, "programs"},       {kCsidlPersonal, "personal"},
    {kCsidlFavorites, "favorites"},     {kCsidlStartup, "startup"},
    {kCsidlStartMenu, "start_menu"},    {kCsidlFonts, "fonts"},
    {kCsidlAppData, "app_data"},        {kCsidlWindows, "windows"},
    {kCsidlProgramFiles, "program_files"},
};

}  // namespace

DeviceProfile DefaultProfile(Platform platform) {
  DeviceProfile p;
  p.temp_path = u"\\Temp\\";
  if (platform == Platform::kPocketPC) {
    p.platform_type = "PocketPC";
    p.special_folders = {
        {kCsidlPrograms, u"\\Windows\\Start Menu\\Programs"},
        {kCsidlPersonal, u"\\My Documents"},
        {kCsidlFavorites, u"\\Windows\\Favorites"},
        {kCsidlStartup, u"\\Windows\\StartUp"},
        {kCsidlStartMenu, u"\\Windows\\Start Menu"},
        {kCsidlFonts, u"\\Windows\\Fonts"},
        {kCsidlAppData, u"\\Application Data"},
        {kCsidlWindows, u"\\Windows"},
        {kCsidlProgramFiles, u"\\Program Files"},
    };
  } else {
    // Smartphone 2003 keeps the user's data in the persistent store under \Storage, and its
    // start menu has no Programs subfolder.
    p.platform_type = "Smartphone";
    p.special_folders = {
        {kCsidlPrograms, u"\\Storage\\Windows\\Start Menu"},
        {kCsidlPersonal, u"\\Storage\\My Documents"},
        {kCsidlFavorites, u"\\Storage\\Windows\\Favorites"},
        {kCsidlStartup, u"\\Storage\\Windows\\StartUp"},
        {kCsidlStartMenu, u"\\Storage\\Windows\\Start Menu"},
        {kCsidlFonts, u"\\Windows\\Fonts"},
        {kCsidlAppData, u"\\Storage\\Application Data"},
        {kCsidlWindows, u"\\Windows"},
        {kCsidlProgramFiles, u"\\Storage\\Program Files"},
    };
  }
  return p;
}

std::string ProfileToToml(const DeviceProfile& p) {
  toml::table folders;
  for (const FolderName& f : kFolderNames) {
    auto it = p.special_folders.find(f.id);
    if (it != p.special_folders.end()) folders.insert(f.key, Utf16ToUtf8(it->second));
  }
  toml::table root{
      {"platform_type", p.platform_type},
      {"os", toml::table{{"major", int64_t{p.os_major}},
                         {"minor", int64_t{p.os_minor}},
                         {"build", int64_t{p.os_build}}}},
      {"locale_id", int64_t{p.locale}},
      {"timezone_bias", int64_t{p.timezone_bias}},
      {"temp_path", Utf16ToUtf8(p.temp_path)},
      {"folders", folders},
      {"libraries", toml::table{{"toolhelp", p.has_toolhelp},
                                {"aygshell", p.has_aygshell},
                                {"message_table", p.has_message_table}}},
      {"power", toml::table{{"set_system_power_state", p.has_power_manager},
                            {"exit_windows_ex", p.has_exit_windows}}},
  };
  std::ostringstream out;
  out << "# Stowkit device profile: the handheld this device folder imitates.\n" << root << "\n";
  return out.str();
}

bool ParseProfile(std::string_view text, DeviceProfile& p, std::string& error) {
  toml::table root;
  try {
    root = toml::parse(text);
  } catch (const toml::parse_error& e) {
    std::ostringstream why;
    why << e.description() << " (line " << e.source().begin.line << ")";
    error = why.str();
    return false;
  }
  auto type = root["platform_type"].value<std::string>();
  auto temp = root["temp_path"].value<std::string>();
  if (!type || !temp) {
    error = "platform_type and temp_path are required";
    return false;
  }
  p = DeviceProfile{};
  p.platform_type = *type;
  p.temp_path = Utf8ToUtf16(*temp);
  p.os_major = DWORD(root["os"]["major"].value_or(int64_t{4}));
  p.os_minor = DWORD(root["os"]["minor"].value_or(int64_t{20}));
  p.os_build = DWORD(root["os"]["build"].value_or(int64_t{0}));
  p.locale = LCID(root["locale_id"].value_or(int64_t{0x0409}));
  p.timezone_bias = LONG(root["timezone_bias"].value_or(int64_t{0}));
  for (const FolderName& f : kFolderNames) {
    if (auto path = root["folders"][f.key].value<std::string>()) {
      p.special_folders[f.id] = Utf8ToUtf16(*path);
    }
  }
  p.has_toolhelp = root["libraries"]["toolhelp"].value_or(true);
  p.has_aygshell = root["libraries"]["aygshell"].value_or(true);
  p.has_message_table = root["libraries"]["message_table"].value_or(true);
  p.has_power_manager = root["power"]["set_system_power_state"].value_or(true);
  p.has_exit_windows = root["power"]["exit_windows_ex"].value_or(false);
  return true;
}

}  // namespace coredll
